#pragma once

// A file layer for tests that fails like a sick disk: SQLite's own layer, except that the Nth write, sync or
// truncate of a database file or its journal fails, and, on a disk that keeps failing, every such call
// after it until the disk is healed.
// It is registered over the default layer, so every connection the program opens afterwards uses it.

namespace faultydisk {

enum class Fault
{
    IoError,  // EIO
    DiskFull, // ENOSPC
};

// Registers the layer as the default; idempotent.
void install();
// Counts writes, syncs and truncates from 0 again, and fails none.
void startCounting();
int calls();
// The nth call from now on (1 = the next) fails with the fault; with `persisting` every one after it too.
void failAt(int n, Fault fault, bool persisting);
// The disk works again; the count goes on.
void heal();

} // namespace faultydisk
