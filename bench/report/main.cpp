// bench-report: the access review report on the demo generator's large file with a journal.
//
// Each case prints its figure beside the one it is measured against in the same run, and the ratio: the
// command's report of one user and of one function against the budget of one second; the report of every
// user against writing the same sections' text to a plain file, and the memory it takes (see Cases.h).
//
//   bench-report [--quick] [--users N --functions N --assignments N --journal N] [--reps N] [--case N]
//                [--file PATH] [--check]
//
// --quick   10,000 users, 10,000 functions, 100,000 assignments, 10,000 journal rows, for a smoke run
// --case    run only case N (1: the reports of one section, 2: the report of every user)
// --file    a file made before by "sicherheit-db demo PATH ... --journal N" instead of a new one
// --check   exit code 1 when a goal is missed

#include "Cases.h"
#include "DemoData.h"
#include "Harness.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

struct Options
{
    demo::Size size{10000, 100000, 1000000, 100000};
    int reps = 3;
    int only = 0; // 0: every case
    QString file;
    bool check = false;
};

bool parse(const QStringList &args, Options &opt)
{
    QCommandLineParser parser;
    const QCommandLineOption quick(QStringLiteral("quick"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption users(QStringLiteral("users"), QString(), QStringLiteral("N"));
    const QCommandLineOption functions(QStringLiteral("functions"), QString(), QStringLiteral("N"));
    const QCommandLineOption assignments(QStringLiteral("assignments"), QString(), QStringLiteral("N"));
    const QCommandLineOption journal(QStringLiteral("journal"), QString(), QStringLiteral("N"));
    const QCommandLineOption reps(QStringLiteral("reps"), QString(), QStringLiteral("N"));
    const QCommandLineOption only(QStringLiteral("case"), QString(), QStringLiteral("N"));
    const QCommandLineOption file(QStringLiteral("file"), QString(), QStringLiteral("PATH"));
    parser.addOptions({quick, check, users, functions, assignments, journal, reps, only, file});
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty())
        return false;
    if (parser.isSet(quick))
        opt.size = {10000, 10000, 100000, 10000};
    opt.check = parser.isSet(check);
    opt.file = parser.value(file);
    bool ok = true;
    const auto number = [&](const QCommandLineOption &option, int &into, int least) {
        if (ok && parser.isSet(option)) {
            into = parser.value(option).toInt(&ok);
            ok = ok && into >= least;
        }
    };
    number(users, opt.size.users, 1);
    number(functions, opt.size.functions, 1);
    number(assignments, opt.size.assignments, 0);
    number(journal, opt.size.journal, 1);
    number(reps, opt.reps, 1);
    number(only, opt.only, 1);
    return ok && opt.only <= 2;
}

int run(const Options &opt, const QString &scratch)
{
    QString file = opt.file;
    if (file.isEmpty()) {
        file = scratch + QStringLiteral("/bericht.mdb");
        const double made = bench::timed([&] { demo::createLarge(file, opt.size); });
        bench::note(QStringLiteral("%1 users, %2 functions, %3 assignments, %4 journal rows made in %5")
                        .arg(bench::count(opt.size.users), bench::count(opt.size.functions),
                             bench::count(opt.size.assignments), bench::count(opt.size.journal),
                             bench::formatTime(made)));
    }
    bench::Report report;
    bool memoryMet = true;
    if (opt.only == 0 || opt.only == 1)
        report.add(reportbench::oneSection(file, opt.reps));
    if (opt.only == 0 || opt.only == 2)
        report.add(reportbench::allUsers(file, &memoryMet));
    report.finish();
    if (!memoryMet)
        std::printf("The memory goal was missed.\n");
    return opt.check && (report.missed() || !memoryMet) ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The child that makes the report of every user paints, so it needs a platform; the parent does not.
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        QGuiApplication app(argc, argv);
        const QTemporaryDir scratch;
        try {
            return reportbench::allUsersChild(QString::fromLocal8Bit(argv[2]), scratch.path());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "bench-report: %s\n", e.what());
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    Options opt;
    if (!parse(QCoreApplication::arguments(), opt)) {
        std::fputs("usage: bench-report [--quick] [--users N --functions N --assignments N --journal N] "
                   "[--reps N] [--case N] [--file PATH] [--check]\n",
                   stderr);
        return 2;
    }
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "bench-report: no temporary folder: %s\n", qPrintable(scratch.errorString()));
        return 2;
    }
    try {
        return run(opt, scratch.path());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-report: %s\n", e.what());
        return 2;
    }
}
