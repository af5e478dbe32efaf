#pragma once

// The command line's export and import of the large file, run as the tool itself in a process of its own:
// the time each takes and how far the export's memory grows beyond the same export of the small demo.

#include "Harness.h"

#include <QString>

#include <vector>

namespace bench {

struct ToolCases
{
    std::vector<Result> results; // export time (beside a bare read of the tables), import time (goal)
    double exportGrowthMb = 0;   // the large export's peak resident memory beyond the small one's
    double importPeakMb = 0;
    bool passed() const;
};

// Exports `file` (JSON) into `scratch` and imports it into a fresh demo file there.
ToolCases runToolCases(const QString &file, const QString &scratch);

// One line for the memory: the growth and its goal.
void printToolMemory(const ToolCases &cases);

} // namespace bench
