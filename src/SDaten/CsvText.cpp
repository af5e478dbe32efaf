#include "CsvText.h"

namespace csv {

QString start()
{
    return QString(QChar(0xFEFF));
}

QString cell(const QString &text, Cells cells)
{
    QString out = text;
    if (cells == Cells::Neutral && !out.isEmpty() && QStringLiteral("=+-@\t\r").contains(out.front()))
        out.prepend(u'\'');
    if (!out.contains(u';') && !out.contains(u'"') && !out.contains(u'\n') && !out.contains(u'\r'))
        return out;
    return u'"' + out.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

void appendLine(QString &out, const QStringList &line, Cells cells)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (i > 0)
            out += u';';
        out += cell(line[i], cells);
    }
    out += QStringLiteral("\r\n");
}

} // namespace csv
