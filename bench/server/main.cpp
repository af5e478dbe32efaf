// bench-server: the server driver against bare libpq doing the same reads and writes, with the file
// driver's figures beside for information. It starts a throw-away PostgreSQL server of its own, generates
// the large demo file and copies it there with the companion tool, then measures
//
//   1 the program's start-up on a link file to the server database (tables, group tree, whole),
//   2 saving one changed field of a user through the store's record set,
//   3 "alle Benutzer in Gruppe hinzufügen" through the store, for every user.
//
//   bench-server [--users N --functions N --assignments N] [--reps N] [--check]
//   bench-server --latency [--delays 0,1,5] [--users N --functions N --assignments N] [--reps N] [--check]
//
// --latency measures instead start-up, a save, "alle Benutzer" and the rights overview's reading through a
// delaying proxy of its own (a TCP forwarder to the server's socket that holds all data the given
// milliseconds each way), with the round trips of each; its default size is the full large demo.
//
// The default size (10,000 users, 10,000 functions, 100,000 assignments) runs in a few minutes;
// "--functions 100000 --assignments 1000000" is the full large demo. Without the server's programs it
// says why and measures nothing (exit code 0).

#include "Cases.h"
#include "DemoData.h"
#include "ErrorHandler.h"
#include "Harness.h"
#include "PgServer.h"
#include "StoreError.h"
#include "Window.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

namespace {

// Saves per side in case 2: each is a few round trips, so many are cheap and steady the median.
constexpr int kSaves = 100;

// The file onto the server as an administrator moves one there: "sicherheit-db copy FILE URI".
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

// Writes a link file naming `uri`.
void writeLink(const QString &path, const QString &uri)
{
    QFile link(path);
    if (!link.open(QIODevice::WriteOnly) || link.write(uri.toUtf8() + '\n') < 0)
        throw store::StoreError(QStringLiteral("cannot write the link file %1").arg(path));
}

int measure(const bench::LargeRun &run, const QString &dir, const QString &uri,
            const std::vector<int> &delays)
{
    pages::prepareProgramFolder(dir);
    const demo::Size &size = run.size;
    server::Data data;
    data.file = dir + QStringLiteral("/User.mdb");
    data.size =
        QStringLiteral("%1 users, %2 functions, %3 assignments")
            .arg(bench::count(size.users), bench::count(size.functions), bench::count(size.assignments));
    bench::note(QStringLiteral("making %1 ...").arg(data.size));
    double s = bench::timed([&] { demo::createLarge(data.file, size); });
    bench::note(QStringLiteral("made in %1; copying to the server ...").arg(bench::formatTime(s)));
    s = bench::timed([&] { copyToServer(data.file, uri); });
    bench::note(QStringLiteral("copied in %1").arg(bench::formatTime(s)));
    data.uri = uri;
    data.link = dir + QStringLiteral("/Server.mdb");
    writeLink(data.link, uri);

    bench::Report report;
    if (!delays.empty()) {
        server::DelayProxy proxy(server::unixSocketOf(uri));
        // The proxy's connection is the server's Unix socket, where the test server lets its user in.
        data.proxyLink = dir + QStringLiteral("/Fern.mdb");
        writeLink(data.proxyLink,
                  QStringLiteral("postgresql://127.0.0.1:%1/sicherheit?user=postgres&sslmode=disable")
                      .arg(proxy.port()));
        report.add(server::latency(data, proxy, delays, run.reps));
        report.finish();
        return run.check && report.missed() ? 1 : 0;
    }
    report.add(server::startUp(data, run.reps));
    report.add(server::saveUser(data, kSaves));
    report.add(server::addAllUsers(data, run.reps));
    report.finish();
    return run.check && report.missed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The window is shown, but nobody needs to see it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    std::vector<int> delays;
    if (args.removeAll(QStringLiteral("--latency")) > 0) {
        delays = {0, 1, 5};
        if (const qsizetype at = args.indexOf(QStringLiteral("--delays")); at >= 0 && at + 1 < args.size()) {
            delays.clear();
            for (const QString &ms : args[at + 1].split(u','))
                delays.push_back(ms.toInt());
            args.remove(at, 2);
        }
    }
    bench::LargeRun defaults;
    if (delays.empty())
        defaults.size = {10000, 10000, 100000};
    const std::optional<bench::LargeRun> run = bench::parseLargeRun("bench-server", defaults, args);
    if (!run)
        return 2;
    ui::installErrorHandler();
    testsupport::PgServer pg;
    if (!pg.start()) {
        if (!pg.skipReason().isEmpty()) {
            std::printf("bench-server: nothing measured: %s\n", qPrintable(pg.skipReason()));
            return 0;
        }
        std::fprintf(stderr, "bench-server: the server did not start: %s\n", qPrintable(pg.failure()));
        return 2;
    }
    const QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench-server: no temporary folder: %s\n", qPrintable(dir.errorString()));
        return 2;
    }
    try {
        return measure(*run, dir.path(), pg.uri(), delays);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-server: %s\n", e.what());
        return 2;
    }
}
