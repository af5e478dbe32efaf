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
#include "DemoOptions.h"
#include "Harness.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

bench::DemoOptions defaults()
{
    bench::DemoOptions opt;
    opt.size = {10000, 100000, 1000000, 100000};
    return opt;
}

bool parse(const QStringList &args, bench::DemoOptions &opt)
{
    return bench::parseDemoOptions(args, opt, {10000, 10000, 100000, 10000}, 2);
}

int run(const bench::DemoOptions &opt, const QString &scratch)
{
    const QString file = bench::demoFile(opt, scratch, QStringLiteral("bericht.mdb"));
    bench::Report report;
    bool memoryMet = true;
    if (opt.wanted(1))
        report.add(reportbench::oneSection(file, opt.reps));
    if (opt.wanted(2))
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
    bench::DemoOptions opt = defaults();
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
