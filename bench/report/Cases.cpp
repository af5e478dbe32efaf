#include "Cases.h"

#include "Connection.h"
#include "ReportContent.h"
#include "ReportPdf.h"
#include "SDaten.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <cstdio>
#include <ctime>

namespace reportbench {

using bench::expect;
using bench::timed;

namespace {

constexpr double kBudget = 1.0;           // seconds for a report of one section
constexpr double kTextTimes = 3.0;        // the report of every user against its text in a plain file
constexpr double kGrowthBudgetMb = 200.0; // while the report of every user is written

// The processor time of this process, all its threads, in seconds: on a machine shared with other work
// the time a case waits for a processor counts in its wall time, not in this.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// sicherheit-db with the arguments; the seconds it took.
double runTool(const QStringList &args)
{
    return bench::timedRun(QStringLiteral(SICHERHEIT_DB_PATH), args);
}

// The tool's report of these options, the best of `reps` runs; the PDF removed before each, since the
// command never writes over a file.
double report(const QString &file, const QStringList &options, int reps)
{
    const QString out = file + QStringLiteral(".bench.pdf");
    double best = 0;
    for (int i = 0; i < reps; ++i) {
        QFile::remove(out);
        const double seconds =
            runTool(QStringList{QStringLiteral("report"), file, QStringLiteral("--out"), out} << options);
        best = i == 0 ? seconds : std::min(best, seconds);
    }
    QFile::remove(out);
    return best;
}

// Figures of this process from /proc/self/status, in MB: "VmRSS" now, "VmHWM" the highest since start or
// since resetPeak().
double statusMb(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    expect(refs.open(QIODevice::WriteOnly) && refs.write("5") == 1,
           QStringLiteral("the peak memory reset through /proc/self/clear_refs"));
}

// Every line of text the report's pages hold but their heads and feet, in the same order.
void writeText(const report::ReportContent &content, QTextStream &out)
{
    const report::TitlePage &t = content.titlePage();
    out << "Zugriffsprüfung\nDatenbank\t" << t.source << "\nErstellt am\t" << t.made << "\nErstellt von\t"
        << t.madeBy << "\nUmfang\t" << t.scope << '\n';
    for (const auto &[label, value] : t.counts)
        out << label << '\t' << value << '\n';
    for (std::size_t i = 0; i < content.userCount(); ++i) {
        const report::UserSection s = content.user(i);
        out << "Benutzer " << s.user << "\nVollständiger Name\t" << s.realName << "\nInitialien\t"
            << s.initials << "\nAdministrator\t" << s.admin << "\nFunktionen (" << s.held.size()
            << ")\nid\tFunktion\n";
        for (const rights::Held &h : s.held)
            out << h.function << '\t' << h.path << '\n';
        for (const report::Change &c : s.changes)
            out << c.when << '\t' << c.by << '\t' << c.action << '\t' << c.what << '\n';
        out << "☐ Rechte bestätigt     ☐ Änderungen nötig: ______________________________\n"
               "Name, Datum, Unterschrift: ________________________________________________\n";
    }
    out << "Befunde der Prüfung\n";
    for (const rights::Problem &p : content.findings())
        out << p.text << '\n';
}

} // namespace

std::vector<bench::Result> oneSection(const QString &file, int reps)
{
    const auto budget = [&](const QString &name, const QStringList &options, double goal) {
        bench::note(QStringLiteral("%1...").arg(name));
        return bench::Result{name,
                             QStringLiteral("ours"),
                             report(file, options, reps),
                             QStringLiteral("budget"),
                             kBudget,
                             goal,
                             QString()};
    };
    return {
        budget(QStringLiteral("report of one user"), {QStringLiteral("--user"), QStringLiteral("user00042")},
               1),
        budget(QStringLiteral("report of one function"),
               {QStringLiteral("--function"), QStringLiteral("1234")}, 1),
        budget(QStringLiteral("a group and the 110 below it"),
               {QStringLiteral("--function"), QStringLiteral("123"), QStringLiteral("--below")}, 0),
        budget(QStringLiteral("one user, changes of the whole journal"),
               {QStringLiteral("--user"), QStringLiteral("user00042"), QStringLiteral("--changes-since"),
                QStringLiteral("2000-01-01")},
               0),
    };
}

int allUsersChild(const QString &file, const QString &scratch)
{
    store::Connection db;
    db.setConnectionString(connectionStringFor(file));
    db.connect();
    const store::Connection::ReadTransaction oneMoment(db);
    const report::ReportFile read = report::ReportFile::read(db, report::Scope{});
    const report::ReportContent content(db, read, report::Scope{}, file, QString(), QStringLiteral("bench"),
                                        QDateTime::currentDateTime());
    // Every path made once before either side, so that neither pays for the other's.
    for (const rights::Function &f : read.snapshot.functions())
        read.snapshot.path(f.id);

    const double textCpu = cpuSeconds();
    const double text = timed([&] {
        QFile plain(scratch + QStringLiteral("/alle.txt"));
        expect(plain.open(QIODevice::WriteOnly | QIODevice::Truncate), plain.fileName());
        QTextStream out(&plain);
        writeText(content, out);
        out.flush();
        expect(out.status() == QTextStream::Ok, plain.fileName());
    });
    const double pdfCpu = cpuSeconds();
    resetPeak();
    const double before = statusMb("VmRSS");
    std::optional<int> pages;
    const double pdf = timed([&] {
        pages = report::savePdf(content, scratch + QStringLiteral("/alle.pdf"),
                                store::PrivateFile::Existing::Replace);
    });
    const double end = cpuSeconds();
    expect(pages.has_value(), QStringLiteral("the report of every user"));
    std::printf("text %f pdf %f pages %d before %f peak %f textcpu %f pdfcpu %f\n", text, pdf, *pages, before,
                statusMb("VmHWM"), pdfCpu - textCpu, end - pdfCpu);
    return 0;
}

std::vector<bench::Result> allUsers(const QString &file, bool *memoryMet)
{
    bench::note(QStringLiteral("the report of every user, in a process of its own..."));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), file});
    child.waitForFinished(-1);
    const QStringList figures = QString::fromUtf8(child.readAllStandardOutput()).simplified().split(u' ');
    expect(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && figures.size() == 14,
           QStringLiteral("the child's report of every user"));
    const double text = figures[1].toDouble(), pdf = figures[3].toDouble();
    const double before = figures[7].toDouble(), peak = figures[9].toDouble();
    *memoryMet = peak - before <= kGrowthBudgetMb;
    std::printf(
        "  report of every user: %s pages; resident memory %.0f MB before the PDF, at most %.0f MB while "
        "it is written: growth %.0f MB (goal <= %.0f: %s)\n",
        qPrintable(bench::count(figures[5].toLongLong())), before, peak, peak - before, kGrowthBudgetMb,
        *memoryMet ? "PASS" : "FAIL");
    const double textCpu = figures[11].toDouble(), pdfCpu = figures[13].toDouble();
    std::printf("  report of every user, processor time: PDF %.2f s, text file %.2f s, ratio %.2f\n", pdfCpu,
                textCpu, textCpu > 0 ? pdfCpu / textCpu : 0.0);
    return {{QStringLiteral("report of every user"), QStringLiteral("PDF"), pdf, QStringLiteral("text file"),
             text, kTextTimes, QString()}};
}

} // namespace reportbench
