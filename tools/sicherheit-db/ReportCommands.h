#pragma once

// The access review from the command line: the report a reviewer signs, and the review put on record.

#include <QStringList>

namespace commands {

int reportPdf(const QStringList &args);  // report FILE --out REPORT.pdf [scope] [--changes-since DATE]
int reviewDone(const QStringList &args); // review FILE --user USER --by NAME

} // namespace commands
