// bench-store: how the record store compares with bare SQLCipher doing the same work, on data it generates
// itself. Prints each case as it finishes and a table at the end.
//
//   bench-store [--quick] [--check] [--inserts N] [--case N]
//
// --quick   smaller sizes, for a smoke run
// --check   exit code 1 when a goal is missed (otherwise 0 unless something fails)
// --inserts durable inserts per side for case 4 (default: as many as fit into about 40 s on this disk)
// --case    run only case N (1 to 4), e.g. under a profiler

#include "Cases.h"
#include "DemoData.h"
#include "Harness.h"
#include "StoreError.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Options
{
    bool quick = false;
    bool check = false;
    int inserts = 0; // 0: fit the disk
    int only = 0;    // 0: every case
};

struct Sizes
{
    int users;     // case 1
    int smallRows; // case 2, small file
    int largeRows; // case 2, large file
    int ops;       // case 2, operations per repetition
    int treeNodes; // case 3
    int reps;      // repetitions; the best counts
    double insertBudget;
};

constexpr Sizes kFull{100000, 1000, 1000000, 20000, 10000, 5, 40.0};
constexpr Sizes kQuick{10000, 1000, 100000, 2000, 1000, 3, 4.0};

bool parse(const QStringList &args, Options &opt)
{
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--quick") {
            opt.quick = true;
        } else if (a == u"--check") {
            opt.check = true;
        } else if (a == u"--inserts" && i + 1 < args.size()) {
            bool ok = false;
            opt.inserts = args[++i].toInt(&ok);
            if (!ok || opt.inserts <= 0)
                return false;
        } else if (a == u"--case" && i + 1 < args.size()) {
            bool ok = false;
            opt.only = args[++i].toInt(&ok);
            if (!ok || opt.only < 1 || opt.only > 4)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

QString made(const QString &dir, const QString &name, const demo::Size &size)
{
    const QString file = dir + u'/' + name;
    const double s = bench::timed([&] { demo::createLarge(file, size); });
    bench::note(QStringLiteral("made %1 (%2 users, %3 functions, %4 assignments) in %5")
                    .arg(name)
                    .arg(size.users)
                    .arg(size.functions)
                    .arg(size.assignments)
                    .arg(bench::formatTime(s)));
    return file;
}

int run(const Options &opt)
{
    const Sizes z = opt.quick ? kQuick : kFull;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        bench::note(QStringLiteral("cannot make a temporary folder: %1").arg(dir.errorString()));
        return 2;
    }
    const QString d = dir.path();
    bench::note(
        QStringLiteral("data in %1%2").arg(d, opt.quick ? QStringLiteral(" (quick sizes)") : QString()));

    auto wanted = [&](int c) { return opt.only == 0 || opt.only == c; };
    // The large file serves both the users' snapshot and the large side of the narrowing case.
    const bool needLarge = wanted(1) || wanted(2);
    const QString large =
        needLarge
            ? made(d, QStringLiteral("large.mdb"),
                   {wanted(1) ? z.users : 100, wanted(2) ? z.largeRows : 0, wanted(2) ? z.largeRows : 0})
            : QString();

    std::vector<bench::Result> results;
    auto add = [&](const bench::Result &r) {
        bench::printResult(r);
        results.push_back(r);
    };

    if (wanted(1))
        add(bench::openSnapshot(large, z.users, z.reps));
    if (wanted(2)) {
        const QString small = made(d, QStringLiteral("small.mdb"), {100, z.smallRows, z.smallRows});
        for (const bench::Result &r : bench::narrowing(small, z.smallRows, large, z.largeRows, z.ops, z.reps))
            add(r);
    }
    if (wanted(3)) {
        const QString tree = made(d, QStringLiteral("tree.mdb"), {100, z.treeNodes, 0});
        add(bench::treeLevels(tree, z.treeNodes, z.reps));
    }
    if (wanted(4)) {
        int count = opt.inserts;
        QString how = QStringLiteral("as asked");
        if (count == 0) {
            count = bench::affordableInserts(d, z.insertBudget);
            how = count < 10000
                      ? QStringLiteral("fewer than 10000: that many fit into about %1 s on this disk; "
                                       "--inserts N sets the count")
                            .arg(z.insertBudget)
                      : QStringLiteral("default");
        }
        bench::note(QStringLiteral("case 4: %1 durable inserts per side (%2)").arg(count).arg(how));
        bench::Result ins = bench::inserts(d, count, 5);
        ins.note = QStringLiteral("%1 inserts per side, %2").arg(count).arg(how);
        add(ins);
    }

    bench::printTable(results);
    bool missed = false;
    for (const bench::Result &r : results)
        missed = missed || !r.passed();
    std::printf("\n%s\n", missed ? "Some goals missed." : "All goals met.");
    return opt.check && missed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    if (!parse(QCoreApplication::arguments(), opt)) {
        std::fputs("usage: bench-store [--quick] [--check] [--inserts N] [--case N]\n", stderr);
        return 2;
    }
    try {
        return run(opt);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-store: %s\n", e.what());
        return 2;
    }
}
