// bench-soak: several administrators' sessions at once on one database, each a process of its own clicking
// the main window's buttons at random, then the database audited against what each was told.
//
//   bench-soak [--server] [--processes N] [--seconds S] [--sizes demo,10000] [--strict] [--keep]
//
// Exits 1 when anything acknowledged is lost, anything refused or never acknowledged is there, or the
// check finds what no action may make (with --strict also repeats and orphans); 77 when --server is asked and
// no server can be started here.

#include "Audit.h"
#include "Worker.h"

#include "Window.h"

#include "Connection.h"
#include "DemoData.h"
#include "PgServer.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Run
{
    bool server = false;
    int processes = 4;
    int seconds = 30;
    bool strict = false;
    bool keep = false;
};

void copyToServer(const QString &file, const QString &uri)
{
    QProcess copy;
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(QCoreApplication::applicationDirPath() + QStringLiteral("/sicherheit-db"),
               {QStringLiteral("copy"), file, uri});
    if (!copy.waitForFinished(-1) || copy.exitStatus() != QProcess::NormalExit || copy.exitCode() != 0)
        throw store::StoreError(QStringLiteral("sicherheit-db copy failed: %1%2")
                                    .arg(copy.errorString(), QString::fromLocal8Bit(copy.readAll())));
}

void writeLink(const QString &path, const QString &uri)
{
    QFile link(path);
    if (!link.open(QIODevice::WriteOnly) || link.write(uri.toUtf8() + '\n') < 0)
        throw store::StoreError(QStringLiteral("cannot write the link file %1").arg(path));
}

// Ends the workers still running at the deadline, each by its own process.
bool waitAll(std::vector<std::unique_ptr<QProcess>> &workers, int ms)
{
    QElapsedTimer clock;
    clock.start();
    bool clean = true;
    for (auto &w : workers) {
        const qint64 left = std::max<qint64>(1000, ms - clock.elapsed());
        if (!w->waitForFinished(int(left))) {
            std::fprintf(stderr, "worker %lld hangs: ended\n", qlonglong(w->processId()));
            w->kill();
            w->waitForFinished(5000);
            clean = false;
        } else if (w->exitStatus() != QProcess::NormalExit || w->exitCode() != 0) {
            std::fprintf(stderr, "worker failed (%d): %s\n", w->exitCode(),
                         w->readAllStandardError().constData());
            clean = false;
        }
    }
    return clean;
}

int soakOne(const Run &run, const QString &size)
{
    QTemporaryDir dir;
    dir.setAutoRemove(!run.keep);
    if (run.keep)
        std::printf("folder %s\n", qPrintable(dir.path()));
    const QString folder = dir.filePath(QStringLiteral("programm"));
    pages::prepareProgramFolder(folder);
    QDir().mkpath(dir.filePath(QStringLiteral("daten")));
    const QString data = dir.filePath(QStringLiteral("daten/User.mdb"));
    if (size == u"demo") {
        demo::createDemo(data);
    } else {
        const int users = size.toInt();
        demo::createLarge(data, {users, std::max(10, users / 10), users * 2, 0});
    }

    std::unique_ptr<testsupport::PgServer> pg;
    QString file = data;
    QString target = data;
    if (run.server) {
        pg = std::make_unique<testsupport::PgServer>();
        if (!pg->start()) {
            std::printf("no server: %s%s\n", qPrintable(pg->skipReason()), qPrintable(pg->failure()));
            return 77;
        }
        target = pg->uri();
        copyToServer(data, target);
        file = dir.filePath(QStringLiteral("daten/Server.mdb"));
        writeLink(file, target);
    }

    store::Connection db;
    db.setConnectionString(connectionStringFor(target));
    db.connect();
    const soak::Before before = soak::readBefore(db);

    std::vector<std::unique_ptr<QProcess>> workers;
    QStringList logs;
    for (int i = 1; i <= run.processes; ++i) {
        auto w = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        w->setProcessEnvironment(env);
        const QString log = dir.filePath(QStringLiteral("worker%1.jsonl").arg(i));
        logs << log;
        w->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), QString::number(i), QStringLiteral("--folder"), folder,
                  QStringLiteral("--file"), file, QStringLiteral("--log"), log, QStringLiteral("--seconds"),
                  QString::number(run.seconds), QStringLiteral("--seed"), QString::number(1000 + i)});
        workers.push_back(std::move(w));
    }
    QElapsedTimer clock;
    clock.start();
    const bool clean = waitAll(workers, run.seconds * 1000 + 120000);
    const double seconds = double(clock.elapsed()) / 1000.0;

    const soak::Outcome out = soak::audit(db, before, logs, run.strict);
    std::printf("%s on %s, %d processes, %.0f s\n", qPrintable(size), run.server ? "a server" : "a file",
                run.processes, seconds);
    std::printf("  actions %d (%.1f/s), stored %d, refused %d; journal rows %d, follow-ups %d\n", out.actions,
                out.actions / seconds, out.stored, out.actions - out.stored, out.journalRows, out.followUps);
    QStringList actions;
    for (auto it = out.byAction.begin(); it != out.byAction.end(); ++it)
        actions << QStringLiteral("%1 %2/%3").arg(it.key()).arg(it.value().first).arg(it.value().second);
    std::printf("  by action (stored/refused): %s\n", qPrintable(actions.join(QStringLiteral(", "))));
    for (auto it = out.refusals.begin(); it != out.refusals.end(); ++it)
        std::printf("  refused %5d x %s\n", it.value(), qPrintable(QString(it.key()).replace(u'\n', u' ')));
    std::printf("  deletes of rows already deleted by another session: %d\n", out.alreadyGone);
    for (auto it = out.findings.begin(); it != out.findings.end(); ++it)
        std::printf("  check: %s %d -> %d\n", qPrintable(it.key()), it.value().first, it.value().second);
    std::printf("  journal chain %s\n", out.chainWhole ? "whole" : "BROKEN");
    std::printf("  lost %lld, phantom %lld, unexpected findings %lld\n", qlonglong(out.lost.size()),
                qlonglong(out.phantom.size()), qlonglong(out.unexpected.size()));
    for (const QStringList *list : {&out.lost, &out.phantom, &out.unexpected}) {
        for (qsizetype i = 0; i < std::min<qsizetype>(list->size(), 20); ++i)
            std::printf("    %s\n", qPrintable(list->at(i)));
    }
    std::fflush(stdout);
    const bool sound = clean && out.chainWhole && out.lost.isEmpty() && out.phantom.isEmpty() &&
                       out.unexpected.isEmpty() && out.stored > 0;
    return sound ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("on a PostgreSQL server of its own"));
    const QCommandLineOption processes(QStringLiteral("processes"), QStringLiteral("sessions at once"),
                                       QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("how long each session acts"),
                                     QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption sizes(QStringLiteral("sizes"), QStringLiteral("demo, or numbers of users"),
                                   QStringLiteral("LIST"), QStringLiteral("demo"));
    const QCommandLineOption strict(QStringLiteral("strict"),
                                    QStringLiteral("repeated assignments and orphaned functions fail too"));
    const QCommandLineOption keep(QStringLiteral("keep"), QStringLiteral("keep the folder with the logs"));
    const QCommandLineOption worker(QStringLiteral("worker"), QStringLiteral("(a session)"),
                                    QStringLiteral("I"));
    const QCommandLineOption folder(QStringLiteral("folder"), QStringLiteral("(a session)"),
                                    QStringLiteral("DIR"));
    const QCommandLineOption file(QStringLiteral("file"), QStringLiteral("(a session)"),
                                  QStringLiteral("FILE"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("(a session)"),
                                 QStringLiteral("FILE"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("(a session)"), QStringLiteral("N"));
    p.addOptions({server, processes, seconds, sizes, strict, keep, worker, folder, file, log, seed});
    p.process(app);

    if (p.isSet(worker)) {
        soak::WorkerOptions o;
        o.index = p.value(worker).toInt();
        o.folder = p.value(folder);
        o.file = p.value(file);
        o.log = p.value(log);
        o.seconds = p.value(seconds).toInt();
        o.seed = p.value(seed).toUInt();
        return soak::runWorker(o);
    }

    Run run;
    run.server = p.isSet(server);
    run.strict = p.isSet(strict);
    run.keep = p.isSet(keep);
    run.processes = std::max(1, p.value(processes).toInt());
    run.seconds = std::max(1, p.value(seconds).toInt());
    int rc = 0;
    try {
        for (const QString &size : p.value(sizes).split(u',', Qt::SkipEmptyParts)) {
            const int one = soakOne(run, size);
            if (one == 77)
                return 77;
            rc = std::max(rc, one);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-soak: %s\n", e.what());
        return 2;
    }
    return rc;
}
