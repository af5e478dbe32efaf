#include "Csv.h"

#include "StoreError.h"
#include "TextGrid.h"

#include <QSaveFile>

namespace rechte {

namespace {

QString cell(const QString &text)
{
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    return u'"' + quoted.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

void appendLine(QString &out, const QStringList &cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += u';';
        out += cell(cells[i]);
    }
    out += QStringLiteral("\r\n");
}

} // namespace

QString toCsv(const TextGrid &grid)
{
    QString out(QChar(0xFEFF));
    appendLine(out, grid.headers());
    QStringList cells;
    for (int row : grid.shown()) {
        cells.clear();
        for (int c = 0; c < grid.columnCount(); ++c)
            cells << grid.text(row, c);
        appendLine(out, cells);
    }
    return out;
}

void writeCsv(const QString &path, const QString &text)
{
    // Written beside the target and put in its place at the end, so that a full disk never leaves half a
    // file where a whole one stood.
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw store::StoreError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2")
                                    .arg(store::quoted(path), file.errorString()));
}

} // namespace rechte
