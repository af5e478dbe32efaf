#pragma once

// Text that German spreadsheet programs open directly: UTF-8 with a byte order mark, cells separated by
// ";", quoted when they hold a ";", a quote or a line break (a quote inside doubled), lines ended by CR LF.
// The window's lists and the command line's export write their CSV through these, so both keep one rule.

#include <QString>
#include <QStringList>

namespace csv {

// Whether a cell that a spreadsheet would take for a formula is made harmless (Neutral), or written as it
// is for an exact copy (Raw).
enum class Cells
{
    Neutral,
    Raw
};

// Starts a CSV text: the byte order mark that tells the programs it is UTF-8.
QString start();

// One cell. A cell that starts with "=", "+", "-", "@", a tab or CR would run as a formula when the
// spreadsheet opens the file ("=HYPERLINK(…)" in a name); with Cells::Neutral it gets an apostrophe before
// it, so the program shows it as the text it is.
QString cell(const QString &text, Cells cells);

// The cells as one line with its CR LF, appended to `out`.
void appendLine(QString &out, const QStringList &line, Cells cells);

} // namespace csv
