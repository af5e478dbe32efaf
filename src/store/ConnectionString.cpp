#include "ConnectionString.h"

#include "Quoted.h"
#include "StoreError.h"

namespace store {

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString cs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0) {
            if (!text.mid(i).trimmed().isEmpty())
                throw StoreError(QStringLiteral("Ungültige Verbindungszeichenfolge: %1 ohne \u201E=\u201C")
                                     .arg(quoted(text.mid(i).trimmed())));
            break;
        }
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < n && text[i] == u' ')
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            if (!readQuoted(text, &i, &value))
                throw StoreError(
                    QStringLiteral("Ungültige Verbindungszeichenfolge: Anführungszeichen ohne Ende"));
            while (i < n && text[i] != u';') {
                if (!text[i].isSpace())
                    throw StoreError(QStringLiteral("Ungültige Verbindungszeichenfolge nach dem Wert von %1")
                                         .arg(quoted(key)));
                ++i;
            }
        } else {
            const qsizetype semi = text.indexOf(u';', i);
            const qsizetype end = semi < 0 ? n : semi;
            value = text.mid(i, end - i).trimmed();
            i = end;
        }
        if (i < n && text[i] == u';')
            ++i;
        if (key == u"provider")
            cs.provider = value;
        else if (key == u"data source")
            cs.dataSource = value;
        else if (key == u"jet oledb:database password")
            cs.password = value;
        // Any other key ("Persist Security Info", "Mode" ...) is accepted and ignored: nothing here needs it.
    }
    return cs;
}

QString ConnectionString::quoteValue(const QString &value)
{
    const bool needs = value.contains(u';') || value.contains(u'"') || value.contains(u'\'') ||
                       (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needs)
        return value;
    QString v = value;
    v.replace(u'"', QStringLiteral("\"\""));
    return u'"' + v + u'"';
}

} // namespace store
