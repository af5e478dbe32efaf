#include "ToolCases.h"

#include "StoreError.h"

#include <QDir>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace bench {

namespace {

constexpr double kExportGrowthGoalMb = 100;
constexpr double kImportGoalSeconds = 10;

// The highest resident memory of any tool run so far, in MB: the kernel keeps the peak of every child
// this process has waited for, so the runs go from small to large.
double childrenPeakMb()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// sicherheit-db with the arguments; the seconds it took.
double runTool(const QStringList &args)
{
    return bench::timedRun(QStringLiteral(SICHERHEIT_DB_PATH), args);
}

// The three tables read the bare way, every value of every row.
double bareRead(const QString &file)
{
    const RawDb bare(file);
    return timed([&] {
        for (const char *table : {"Benutzer", "Funktionen", "Funktionen_Benutzer"}) {
            const store::StmtPtr s =
                bare.prepare(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)));
            while (sqlite3_step(s.get()) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(s.get()); ++c)
                    textValue(s.get(), c);
            }
        }
    });
}

} // namespace

bool ToolCases::passed() const
{
    return exportGrowthMb <= kExportGrowthGoalMb &&
           std::all_of(results.begin(), results.end(), [](const Result &r) { return r.passed(); });
}

ToolCases runToolCases(const QString &file, const QString &scratch)
{
    const QDir dir(scratch);
    const QString small = dir.filePath(QStringLiteral("klein.mdb"));
    const QString data = dir.filePath(QStringLiteral("daten.json"));
    const QString fresh = dir.filePath(QStringLiteral("neu.mdb"));
    for (const QString &f : {small, data, fresh})
        QFile::remove(f);
    runTool({QStringLiteral("demo"), small});
    runTool({QStringLiteral("export"), small});
    const double smallPeak = childrenPeakMb();
    ToolCases cases;
    const double exported = runTool({QStringLiteral("export"), file, QStringLiteral("--out"), data});
    cases.exportGrowthMb = childrenPeakMb() - smallPeak;
    runTool({QStringLiteral("demo"), fresh});
    const double imported = runTool({QStringLiteral("import"), fresh, data});
    cases.importPeakMb = childrenPeakMb();
    cases.results.push_back({QStringLiteral("sicherheit-db export (JSON, to a file)"), QStringLiteral("ours"),
                             exported, QStringLiteral("bare read"), bareRead(file), 0,
                             QStringLiteral("bare: the three tables read, every value")});
    cases.results.push_back(
        {QStringLiteral("sicherheit-db import of that export"), QStringLiteral("ours"), imported,
         QStringLiteral("goal"), kImportGoalSeconds, 1.0,
         QStringLiteral("one transaction into a fresh demo file, every value checked first")});
    return cases;
}

void printToolMemory(const ToolCases &cases)
{
    std::printf("export memory: growth %.0f MB beyond exporting the small demo (goal <= %.0f: %s); import "
                "peak %.0f MB\n",
                cases.exportGrowthMb, kExportGrowthGoalMb,
                cases.exportGrowthMb <= kExportGrowthGoalMb ? "PASS" : "FAIL", cases.importPeakMb);
}

} // namespace bench
