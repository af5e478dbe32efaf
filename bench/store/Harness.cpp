#include "Harness.h"

#include "Collation.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#include <QFile>

#include <cstdio>

namespace bench {

RawDb::RawDb(const QString &file)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK)
        raise("open");
    sqlite3_busy_timeout(raw, 5000);
    const QByteArray key = databasePassword().toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    exec("SELECT count(*) FROM sqlite_master");
    exec("PRAGMA journal_mode=DELETE");
    exec("PRAGMA synchronous=FULL");
    if (store::Collation::registerOn(raw) != SQLITE_OK)
        raise("collation");
}

store::StmtPtr RawDb::prepare(const QString &sql) const
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), utf8.constData(), static_cast<int>(utf8.size()), &s, nullptr) !=
        SQLITE_OK)
        raise(utf8.constData());
    return store::StmtPtr(s);
}

void RawDb::exec(const char *sql) const
{
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        raise(sql);
}

void RawDb::raise(const char *what) const
{
    const char *msg = m_db ? sqlite3_errmsg(m_db.get()) : "out of memory";
    throw store::StoreError(
        QStringLiteral("bare SQLite: %1: %2").arg(QString::fromUtf8(what), QString::fromUtf8(msg)));
}

int columnIndex(sqlite3_stmt *s, const QString &name)
{
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
        if (name.compare(QString::fromUtf8(sqlite3_column_name(s, c)), Qt::CaseInsensitive) == 0)
            return c;
    }
    throw store::StoreError(QStringLiteral("bare SQLite: no column %1").arg(name));
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void expect(bool ok, const QString &what)
{
    if (!ok)
        throw store::StoreError(QStringLiteral("check failed: %1").arg(what));
}

QString formatTime(double seconds)
{
    if (seconds >= 1.0)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    if (seconds >= 1e-3)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 2);
    return QStringLiteral("%1 us").arg(seconds * 1e6, 0, 'f', 2);
}

QString count(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

namespace {

QString verdict(const Result &r)
{
    if (!r.hasGoal())
        return QStringLiteral("info");
    return r.passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

QString goalText(const Result &r)
{
    return r.hasGoal() ? QStringLiteral("<= %1").arg(r.goal, 0, 'f', 2) : QStringLiteral("-");
}

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

void printResult(const Result &r)
{
    printLine(QStringLiteral("  %1: %2 %3 | %4 %5 | ratio %6 (goal %7) %8")
                  .arg(r.name, r.labelA, formatTime(r.a), r.labelB, formatTime(r.b))
                  .arg(r.ratio(), 0, 'f', 2)
                  .arg(goalText(r), verdict(r)));
    if (!r.note.isEmpty())
        printLine(QStringLiteral("    %1").arg(r.note));
}

void printTable(const std::vector<Result> &results)
{
    printLine(QString());
    printLine(QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(QStringLiteral("case"), -44)
                  .arg(QStringLiteral("A"), -20)
                  .arg(QStringLiteral("B"), -20)
                  .arg(QStringLiteral("A/B"), 6)
                  .arg(QStringLiteral("goal"), 8)
                  .arg(QStringLiteral("result"), 7));
    for (const Result &r : results) {
        printLine(QStringLiteral("%1 %2 %3 %4 %5 %6")
                      .arg(r.name, -44)
                      .arg(r.labelA + u' ' + formatTime(r.a), -20)
                      .arg(r.labelB + u' ' + formatTime(r.b), -20)
                      .arg(QString::number(r.ratio(), 'f', 2), 6)
                      .arg(goalText(r), 8)
                      .arg(verdict(r), 7));
    }
}

void Report::add(const std::vector<Result> &results)
{
    for (const Result &r : results) {
        printResult(r);
        m_results.push_back(r);
    }
}

bool Report::missed() const
{
    return std::any_of(m_results.begin(), m_results.end(), [](const Result &r) { return !r.passed(); });
}

void Report::finish() const
{
    printTable(m_results);
    std::printf("\n%s\n", missed() ? "Some goals missed." : "All goals met.");
}

void note(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::optional<LargeRun> parseLargeRun(const char *program, const LargeRun &defaults)
{
    return parseLargeRun(program, defaults, QCoreApplication::arguments().mid(1));
}

std::optional<LargeRun> parseLargeRun(const char *program, const LargeRun &defaults, const QStringList &args)
{
    LargeRun run = defaults;
    for (qsizetype i = 0; i < args.size(); ++i) {
        auto next = [&] { return i + 1 < args.size() ? args[++i].toInt() : 0; };
        if (args[i] == u"--users")
            run.size.users = next();
        else if (args[i] == u"--functions")
            run.size.functions = next();
        else if (args[i] == u"--assignments")
            run.size.assignments = next();
        else if (args[i] == u"--reps")
            run.reps = std::max(1, next());
        else if (args[i] == u"--check")
            run.check = true;
        else {
            std::fprintf(stderr, "usage: %s [--users N --functions N --assignments N] [--reps N] [--check]\n",
                         program);
            return std::nullopt;
        }
    }
    return run;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

double timedRun(const QString &program, const QStringList &args)
{
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double seconds = timed([&] {
        tool.start(program, args);
        tool.waitForFinished(-1);
    });
    expect(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
           QStringLiteral("%1 %2").arg(QFileInfo(program).fileName(), args.join(u' ')));
    return seconds;
}

} // namespace bench
