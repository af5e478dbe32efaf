#include "Csv.h"

#include "CsvText.h"
#include "PrivateFile.h"
#include "TextGrid.h"

namespace rechte {

QString toCsv(const TextGrid &grid)
{
    QString out = csv::start();
    csv::appendLine(out, grid.headers(), csv::Cells::Neutral);
    QStringList cells;
    for (int row : grid.shown()) {
        cells.clear();
        for (int c = 0; c < grid.columnCount(); ++c)
            cells << grid.text(row, c);
        csv::appendLine(out, cells, csv::Cells::Neutral);
    }
    return out;
}

void writeCsv(const QString &path, const QString &text)
{
    store::PrivateFile file(path, store::PrivateFile::Existing::Replace);
    file.write(text.toUtf8());
    file.commit();
}

} // namespace rechte
