#include "Csv.h"

#include "StoreError.h"
#include "TextGrid.h"

#include <QSaveFile>

namespace rechte {

namespace {

QString cell(const QString &text)
{
    QString out = text;
    // A name from the file such as "=HYPERLINK(…)" would run as a formula when the spreadsheet opens the
    // file; with an apostrophe before it the program shows it as the text it is.
    if (!out.isEmpty() && QStringLiteral("=+-@\t\r").contains(out.front()))
        out.prepend(u'\'');
    if (!out.contains(u';') && !out.contains(u'"') && !out.contains(u'\n') && !out.contains(u'\r'))
        return out;
    return u'"' + out.replace(u'"', QStringLiteral("\"\"")) + u'"';
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
