#pragma once

// The suites run twice: on files, and (CTest's "_server" runs) on a PostgreSQL server that the run starts
// for itself. The fixtures ask here which it is.

#include <QString>

namespace testsupport {

bool onServer();
// First thing in a suite's main: on a server run, starts the shared server. Returns 0 to go on, 77 (a
// skip for CTest) with the reason printed where no server can be had here, 1 when starting it failed.
int prepareServerRun();
// A new database on the shared server, with the three tables or without any, named by its URI.
QString freshServerDatabase(bool withTables = true);
// Makes `path` a link file to the server database `uri`.
void linkTo(const QString &path, const QString &uri);

} // namespace testsupport

// The main of a suite of one test class, on files and on a server: `App` is QCoreApplication or
// QApplication.
#define SUITE_MAIN(App, TestClass)                                                                           \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        App app(argc, argv);                                                                                 \
        if (const int rc = testsupport::prepareServerRun(); rc != 0)                                         \
            return rc;                                                                                       \
        TestClass t;                                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }

// A test of what only a file does (its bytes, its modes, its journal, SQLite's own interface).
#define FILE_ONLY()                                                                                          \
    do {                                                                                                     \
        if (testsupport::onServer())                                                                         \
            QSKIP("a database file's own behaviour");                                                        \
    } while (false)
