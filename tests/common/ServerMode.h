#pragma once

// The suites run twice: on files, and (CTest's "_server" runs) on a PostgreSQL server that the run starts
// for itself. The fixtures ask here which it is.

#include <QString>

namespace testsupport {

bool onServer();
// First thing in a suite's main: on a server run, starts the shared server. Returns 0 to go on, 77 (a
// skip for CTest) with the reason printed where no server can be had here, 1 when starting it failed.
int prepareServerRun();
// A new database on the shared server with the three tables, named by its URI.
QString freshServerDatabase();

} // namespace testsupport

// A test of what only a file does (its bytes, its modes, its journal, SQLite's own interface).
#define FILE_ONLY()                                                                                          \
    do {                                                                                                     \
        if (testsupport::onServer())                                                                         \
            QSKIP("a database file's own behaviour");                                                        \
    } while (false)
