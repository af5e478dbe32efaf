#pragma once

// The commands that answer who may do what, check a file and back it up. Each takes the arguments after
// its name and returns the exit code.

#include <QStringList>

namespace commands {

int rights(const QStringList &args); // rights FILE USER
int who(const QStringList &args);    // who FILE FUNCTION-ID [--below]
int check(const QStringList &args);  // check FILE [--clean]
int backup(const QStringList &args); // backup FILE TARGET

} // namespace commands
