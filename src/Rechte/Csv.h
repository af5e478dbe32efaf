#pragma once

#include <QString>

namespace rechte {

class TextGrid;

// What a list shows, as text that German spreadsheet programs open directly (see CsvText.h, formulas made
// harmless): the headers, then the rows on show in their order.
QString toCsv(const TextGrid &grid);

// Writes the text as UTF-8 to the file, replacing it, never open to other users of the machine (see
// store::PrivateFile). Throws StoreError with a German message naming the file when it cannot be written;
// a file that existed is then left as it was.
void writeCsv(const QString &path, const QString &text);

} // namespace rechte
