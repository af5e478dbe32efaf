#pragma once

// The three tables of a file out to JSON or CSV, and from JSON into a file again. Each command takes the
// arguments after its name and returns the exit code.

#include <QStringList>

namespace commands {

int exportTables(const QStringList &args); // export FILE [--format json|csv] [--out PATH]
int importTables(const QStringList &args); // import FILE DATA.json
int copyTables(const QStringList &args);   // copy FROM TO: a file to a server or back

} // namespace commands
