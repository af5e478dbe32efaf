#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

namespace store {

// A statement of the program's SQL dialect, rewritten for SQLite.
//
// The dialect writes string literals in double quotes ("" inside one is a quote), matches names without
// regard to case, qualifies columns in UPDATE ... SET, names columns in DELETE, nests INNER JOINs in
// parentheses and may end with ";". Every literal of the statement leaves it as a bound parameter, so no
// value can change what a statement does, and any value (quotes, control characters, the character 0)
// reaches the file as it was written. Comparisons and sorting on text columns use the store's collation.
struct TranslatedSql
{
    enum class Kind
    {
        Select,
        Update,
        Delete,
        Insert
    };

    Kind kind = Kind::Select;
    QString sql;                  // SQLite text with "?" for each literal
    std::vector<QVariant> params; // the literals, in order: QString, qint64 or double

    // Of an INSERT, UPDATE or DELETE: the table it writes, by the name the statement gives it and as `sql`
    // writes it; and where the WHERE of an UPDATE or DELETE begins in `sql` (-1 when it has none) with the
    // index of its first parameter, so that the rows it will change can be read first.
    QString target;
    QString targetSql;
    qsizetype whereAt = -1;
    std::size_t whereParam = 0;
};

// Tells whether a column name (unqualified) holds text in any table of the database; decides where the
// collation is applied.
using TextColumnPredicate = std::function<bool(const QString &column)>;

// For a PostgreSQL server: the name each table and column has there (the dialect matches names without
// regard to case, the server's quoted names are exact). A text compared or sorted then goes through the
// server functions of the store's collation instead of SQLite's COLLATE.
// Tables and the collation's functions are named with their schema, and the functions take text
// (::text), so that nothing another role made in a schema on the search path can stand in for them.
struct ServerDialect
{
    std::function<QString(const QString &name)> nameOf;
    std::function<bool(const QString &name)> isTable;
    QString schema;
};

// A table's key column as a statement names it; empty for a table without one. A sort by text ends with
// the keys of the statement's tables, so that rows equal in every sorted text come in the order of their
// keys, on a file and on a server alike.
using KeyColumnOf = std::function<QString(const QString &table)>;

// Throws StoreError with a German message for a statement outside what the store understands.
TranslatedSql translateJetSql(const QString &statement, const TextColumnPredicate &isTextColumn,
                              const ServerDialect *server = nullptr, const KeyColumnOf &keyOf = {});

// The statement with its literals cut out, and the literals in order: two statements with the same shape
// translate to the same SQLite text, so a translation can be reused with new values. Empty when the
// statement cannot be read this way (the full translation then reports what is wrong).
QString statementShape(const QString &statement, std::vector<QVariant> *literals);

// A statement given as lines, as one text: the lines with CR LF between them.
QString statementText(const QStringList &lines);

// Raises the German error for a statement the store does not take, naming why.
[[noreturn]] void refuseStatement(const QString &why, const QString &statement);

// Whether the text SQLite's prepare left after the first statement ends the statement: blanks, line ends
// and at most one ";". Anything else would be a second statement, or text cut off by the character 0.
bool isStatementEnd(QByteArrayView rest);

// A value made safe for a double-quoted literal of the dialect: every " doubled.
QString jetQuoted(const QString &value);

} // namespace store
