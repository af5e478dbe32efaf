// The dialect's small helpers that need no reading of a statement: its refusal, the end SQLite's prepare
// leaves, a statement given as lines, and a value made safe for a literal.

#include "JetSql.h"

#include "StoreError.h"

namespace store {

void refuseStatement(const QString &why, const QString &statement)
{
    // Control characters would not show, and the character 0 would end the message early.
    QString shown = statement.simplified();
    for (QChar &c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    }
    throw StoreError(QStringLiteral("SQL-Anweisung wird nicht unterstützt (%1): %2").arg(why, shown));
}

bool isStatementEnd(QByteArrayView rest)
{
    bool semicolon = false;
    for (char c : rest) {
        if (c == ';' && !semicolon)
            semicolon = true;
        else if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

QString statementText(const QStringList &lines)
{
    // A statement of one line, as most are, is that line itself: the group tree runs thousands of them.
    return lines.size() == 1 ? lines.front() : lines.join(QStringLiteral("\r\n"));
}

QString jetQuoted(const QString &value)
{
    QString v = value;
    v.replace(u'"', QStringLiteral("\"\""));
    return v;
}

} // namespace store
