// bench-pages: the users page and the functions page of the real main window, started through the logon and
// the file dialog, against bare SQLCipher doing the same work in the same run.
//
//   QT_QPA_PLATFORM=offscreen bench-pages [--quick] [--check] [--case N] [--moves N]
//
// --quick   smaller sizes, for a smoke run
// --check   exit code 1 when a goal is missed (otherwise 0 unless something fails)
// --case    run only case N (1 to 4), e.g. under a profiler
// --moves   key Down N times in case 2, in ten stretches spread over the users (default 10000, quick 2000;
//           as many as there are users walks from the first to the last)

#include "Cases.h"
#include "DemoData.h"
#include "ErrorHandler.h"
#include "Harness.h"
#include "StoreError.h"
#include "Window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

struct Options
{
    bool quick = false;
    bool check = false;
    int only = 0;  // 0: every case
    int moves = 0; // 0: the size's own
};

struct Sizes
{
    int users;        // cases 1 and 2
    int saves;        // case 1, saves per side
    int moves;        // case 2
    int addUsers;     // case 3
    int assignments;  // case 3
    int addReps;      // case 3
    int smallTree;    // case 4
    int largeTree;    // case 4
    int groupChanges; // case 4, per kind of change
};

constexpr Sizes kFull{100000, 40, 10000, 10000, 1000000, 3, 1000, 1000000, 2000};
constexpr Sizes kQuick{10000, 10, 2000, 2000, 100000, 3, 1000, 100000, 500};

// Options as QCommandLineParser reads them; false on anything it cannot take.
bool parse(const QStringList &args, Options &opt)
{
    QCommandLineParser parser;
    const QCommandLineOption quick(QStringLiteral("quick"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption only(QStringLiteral("case"), QString(), QStringLiteral("N"));
    const QCommandLineOption moves(QStringLiteral("moves"), QString(), QStringLiteral("N"));
    parser.addOptions({quick, check, only, moves});
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty())
        return false;
    opt.quick = parser.isSet(quick);
    opt.check = parser.isSet(check);
    bool ok = true;
    if (parser.isSet(only)) {
        opt.only = parser.value(only).toInt(&ok);
        ok = ok && opt.only >= 1 && opt.only <= 4;
    }
    if (ok && parser.isSet(moves)) {
        opt.moves = parser.value(moves).toInt(&ok);
        ok = ok && opt.moves >= 1;
    }
    return ok;
}

// A generated file in the data folder; the bare side of a write case works on a copy of it, so that its
// writes neither collide with ours nor warm our caches.
struct DataFile
{
    QString path;
    QString bareCopy() const
    {
        const QString copy = path + QStringLiteral(".bare");
        if (!QFile::copy(path, copy))
            throw store::StoreError(QStringLiteral("cannot copy %1").arg(path));
        return copy;
    }
};

DataFile generate(const QString &dir, const QString &name, const demo::Size &size)
{
    DataFile file{dir + u'/' + name};
    const double seconds = bench::timed([&] { demo::createLarge(file.path, size); });
    bench::note(QStringLiteral("%1: %2 users, %3 functions, %4 assignments, made in %5")
                    .arg(name)
                    .arg(size.users)
                    .arg(size.functions)
                    .arg(size.assignments)
                    .arg(bench::formatTime(seconds)));
    return file;
}

int run(const Options &opt, const QString &data)
{
    const Sizes z = opt.quick ? kQuick : kFull;
    bench::note(
        QStringLiteral("data in %1%2").arg(data, opt.quick ? QStringLiteral(" (quick sizes)") : QString()));
    pages::prepareProgramFolder(data);
    pages::Dialogs dialogs;
    bench::Report report;
    const auto wanted = [&](int c) { return opt.only == 0 || opt.only == c; };

    if (wanted(1) || wanted(2)) {
        const DataFile users = generate(data, QStringLiteral("users.mdb"), {z.users, 1000, z.users});
        if (wanted(1))
            report.add(pages::saveUser(dialogs, users.path, users.bareCopy(), z.saves));
        if (wanted(2))
            report.add(
                pages::moveThroughUsers(dialogs, users.path, z.users, opt.moves > 0 ? opt.moves : z.moves));
    }
    if (wanted(3)) {
        const DataFile assigned =
            generate(data, QStringLiteral("assigned.mdb"), {z.addUsers, 1000, z.assignments});
        report.add(pages::addAllUsers(dialogs, assigned.path, assigned.bareCopy(), z.addReps));
    }
    if (wanted(4)) {
        const DataFile small = generate(data, QStringLiteral("small.mdb"), {100, z.smallTree, z.smallTree});
        const DataFile large = generate(data, QStringLiteral("large.mdb"), {100, z.largeTree, z.largeTree});
        report.add(
            pages::groupChanges(dialogs, small.path, z.smallTree, large.path, z.largeTree, z.groupChanges));
    }
    report.finish();
    return opt.check && report.missed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!parse(args, opt)) {
        std::fputs("usage: bench-pages [--quick] [--check] [--case N] [--moves N]\n", stderr);
        return 2;
    }
    // The window is shown, but nobody needs to see it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installErrorHandler();
    const QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench-pages: no temporary folder: %s\n", qPrintable(dir.errorString()));
        return 2;
    }
    try {
        return run(opt, dir.path());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-pages: %s\n", e.what());
        return 2;
    }
}
