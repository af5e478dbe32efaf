#pragma once

#include "Harness.h"

#include <QString>

#include <vector>

namespace bench {

// Opening a snapshot of the whole users table, against a bare SELECT of the same columns into the same
// kind of values.
Result openSnapshot(const QString &file, int users, int reps);

// Per-operation cost of a filter change and of a master move, on a small and a large file: the store
// serves both from an in-memory index, so the large file must not cost much more per operation.
std::vector<Result> narrowing(const QString &smallFile, int smallRows, const QString &largeFile,
                              int largeRows, int ops, int reps);

// One tree-level statement per node, the way the group tree reads its levels, against one reused bare
// prepared statement doing the same reads.
Result treeLevels(const QString &file, int nodes, int reps);

// Durable single-row inserts through insertRecord against bare autocommit inserts with the same journal
// settings, each side on a fresh file in dir.
Result inserts(const QString &dir, int count, int batches);

// How many durable inserts per side fit into about budgetSeconds on this machine's disk.
int affordableInserts(const QString &dir, double budgetSeconds);

} // namespace bench
