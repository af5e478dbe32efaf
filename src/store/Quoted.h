#pragma once

#include <QString>

namespace store {

// Reads a literal in quotes that starts at s[*i] (the quote character itself, " or '); inside it the quote
// doubled stands for one. On success the literal's text is in *value, *i stands after the closing quote,
// and the result is true; a literal without its closing quote gives false.
inline bool readQuoted(const QString &s, qsizetype *i, QString *value)
{
    const QChar quote = s[*i];
    const qsizetype n = s.size();
    qsizetype j = *i + 1;
    value->clear();
    while (j < n) {
        if (s[j] == quote) {
            if (j + 1 < n && s[j + 1] == quote) {
                *value += quote;
                j += 2;
                continue;
            }
            *i = j + 1;
            return true;
        }
        *value += s[j++];
    }
    return false;
}

// A table or field name as it stands in SQLite text. Names go in backticks: SQLite takes a double-quoted
// name it cannot resolve for a string literal, which would turn a misspelt field into a silent wrong
// answer.
inline QString quotedName(QStringView name)
{
    QString n = name.toString();
    n.replace(u'`', QStringLiteral("``"));
    return u'`' + n + u'`';
}

// A name as it stands in a PostgreSQL server's text: in double quotes, which keep its letter case.
inline QString quotedServerName(QStringView name)
{
    QString n = name.toString();
    n.replace(u'"', QStringLiteral("\"\""));
    return u'"' + n + u'"';
}

} // namespace store
