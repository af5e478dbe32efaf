#pragma once

// The commands around the change journal. Each takes the arguments after its name and returns the exit code.

#include <QStringList>

namespace commands {

int upgrade(const QStringList &args);     // upgrade FILE
int journalRows(const QStringList &args); // journal FILE [--since DATE] [--until DATE] ...

} // namespace commands
