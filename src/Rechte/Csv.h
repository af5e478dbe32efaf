#pragma once

#include <QString>

namespace rechte {

class TextGrid;

// What a list shows, as text that German spreadsheet programs open directly: a byte order mark, the
// headers, then the rows on show in their order; cells separated by ";", quoted when they hold a ";", a
// quote or a line break (a quote inside doubled), lines ended by CR LF. A cell that a spreadsheet would
// take for a formula (it starts with "=", "+", "-", "@", a tab or CR) gets an apostrophe before it.
QString toCsv(const TextGrid &grid);

// Writes the text as UTF-8 to the file, replacing it. Throws StoreError with a German message naming the
// file when it cannot be written; a file that existed is then left as it was.
void writeCsv(const QString &path, const QString &text);

} // namespace rechte
