// bench-journal: the change journal on the demo generator's large file with a large journal.
//
// Each case prints its figure beside the one it is measured against in the same run, and the ratio: saving
// a user and "alle Benutzer" with the journal's writer against without it, the journal command's period of
// one day against its budget, the chain check against bare SQLite and SHA-256 over the same bytes (see
// Cases.h). The read cases run first, on the file as generated.
//
//   bench-journal [--quick] [--users N --functions N --assignments N --journal N] [--reps N] [--case N]
//                 [--file PATH] [--check]
//
// --quick   10,000 users, 10,000 functions, 100,000 assignments and journal rows, for a smoke run
// --case    run only case N (1: journal --since, 2: chain check, 3: save a user, 4: alle Benutzer)
// --file    a file made before by "sicherheit-db demo PATH ... --journal N" instead of a new one; the write
//           cases add to it
// --check   exit code 1 when a goal is missed

#include "Cases.h"
#include "DemoData.h"
#include "Harness.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

namespace {

struct Options
{
    demo::Size size{10000, 100000, 1000000, 1000000};
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
        opt.size = {10000, 10000, 100000, 100000};
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
    return ok && opt.only <= 4;
}

int run(const Options &opt, const QString &scratch)
{
    QString file = opt.file;
    if (file.isEmpty()) {
        file = scratch + QStringLiteral("/journal.mdb");
        const double made = bench::timed([&] { demo::createLarge(file, opt.size); });
        bench::note(QStringLiteral("%1 users, %2 functions, %3 assignments, %4 journal rows made in %5")
                        .arg(bench::count(opt.size.users), bench::count(opt.size.functions),
                             bench::count(opt.size.assignments), bench::count(opt.size.journal),
                             bench::formatTime(made)));
    }
    const auto wanted = [&](int c) { return opt.only == 0 || opt.only == c; };
    bench::Report report;
    if (wanted(1))
        report.add(journalbench::sinceOneDay(file, opt.reps));
    if (wanted(2))
        report.add(journalbench::chainCheck(file, opt.reps));
    if (wanted(3))
        report.add(journalbench::saveUser(file, 10 * opt.reps));
    if (wanted(4))
        report.add(journalbench::addAllUsers(file, opt.reps));
    report.finish();
    return opt.check && report.missed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    if (!parse(QCoreApplication::arguments(), opt)) {
        std::fputs("usage: bench-journal [--quick] [--users N --functions N --assignments N --journal N] "
                   "[--reps N] [--case N] [--file PATH] [--check]\n",
                   stderr);
        return 2;
    }
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "bench-journal: no temporary folder: %s\n", qPrintable(scratch.errorString()));
        return 2;
    }
    try {
        return run(opt, scratch.path());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-journal: %s\n", e.what());
        return 2;
    }
}
