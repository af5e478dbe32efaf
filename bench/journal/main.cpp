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
#include "DemoOptions.h"
#include "Harness.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

namespace {

bench::DemoOptions defaults()
{
    bench::DemoOptions opt;
    opt.size = {10000, 100000, 1000000, 1000000};
    return opt;
}

bool parse(const QStringList &args, bench::DemoOptions &opt)
{
    return bench::parseDemoOptions(args, opt, {10000, 10000, 100000, 100000}, 4);
}

int run(const bench::DemoOptions &opt, const QString &scratch)
{
    const QString file = bench::demoFile(opt, scratch, QStringLiteral("journal.mdb"));
    bench::Report report;
    if (opt.wanted(1))
        report.add(journalbench::sinceOneDay(file, opt.reps));
    if (opt.wanted(2))
        report.add(journalbench::chainCheck(file, opt.reps));
    if (opt.wanted(3))
        report.add(journalbench::saveUser(file, 10 * opt.reps));
    if (opt.wanted(4))
        report.add(journalbench::addAllUsers(file, opt.reps));
    report.finish();
    return opt.check && report.missed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::DemoOptions opt = defaults();
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
