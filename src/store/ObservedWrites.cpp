// Writes made through a statement of the program's dialect, told to the observer row by row: the rows an
// UPDATE or DELETE will change are read first, with its own WHERE, under the write lock it then changes
// them under.

#include "Connection.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Statement.h"

#include <optional>

namespace store {

namespace {

struct KeyedRow
{
    qint64 key = 0;
    std::vector<QVariant> values;
};

bool sameValues(const std::vector<QVariant> &a, const std::vector<QVariant> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].isNull() != b[i].isNull() || (!a[i].isNull() && a[i] != b[i]))
            return false;
    }
    return true;
}

QString rowSelect(const QString &tableSql, const QString &key)
{
    return QStringLiteral("SELECT %1, * FROM %2").arg(key, tableSql);
}

} // namespace

QVariant storedValue(const Statement &statement, int column)
{
    switch (statement.columnType(column)) {
    case CellType::Null:
        return {};
    case CellType::Integer:
        return QVariant(statement.int64(column));
    case CellType::Real:
        return QVariant(statement.real(column));
    case CellType::Text:
        break;
    }
    return QVariant(statement.text(column));
}

RowImage imageOf(const Statement &statement, int firstColumn)
{
    RowImage image;
    for (int c = firstColumn; c < statement.columnCount(); ++c) {
        image.fields << QString::fromUtf8(statement.columnName(c));
        image.values.push_back(storedValue(statement, c));
    }
    return image;
}

std::optional<RowImage> storedRow(Connection &connection, const QString &table, qint64 key,
                                  const QString &context)
{
    Plumbing &p = connection.plumbing();
    const QString keyColumn = p.keyColumn(table);
    Statement read(connection,
                   rowSelect(p.tableName(table), keyColumn) +
                       QStringLiteral(" WHERE %1=?%2").arg(keyColumn, p.backend().lockingRead()),
                   context);
    read.setPartOfWrite();
    read.bind(1, key);
    if (!read.step())
        return std::nullopt;
    return imageOf(read, 1);
}

int runObserved(Connection &connection, const TranslatedSql &write)
{
    Plumbing &p = connection.plumbing();
    const QString key = write.target.isEmpty() ? QString() : p.keyColumn(write.target);
    // Only rows with a key can be named; the program's tables all have one.
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(connection, QString());
    int changed = 0;
    if (key.isEmpty()) {
        Statement run(connection, write.sql);
        run.bindAll(write.params);
        changed = run.run();
    } else if (write.kind == TranslatedSql::Kind::Insert) {
        Statement insert(connection, write.sql + p.backend().returningKey(key));
        insert.bindAll(write.params);
        changed = insert.run();
        const qint64 inserted = insert.insertedRowid();
        if (const std::optional<RowImage> row = storedRow(connection, write.target, inserted, QString()))
            p.tell({RowWrite::Kind::Inserted,
                    p.storedName(write.target),
                    inserted,
                    row->fields,
                    {},
                    row->values});
    } else {
        // The rows as they are before the change, by the change's own condition.
        QStringList fields;
        std::vector<KeyedRow> before;
        {
            Statement read(connection,
                           rowSelect(write.targetSql, key) +
                               (write.whereAt >= 0 ? u' ' + write.sql.mid(write.whereAt) : QString()) +
                               p.backend().lockingRead());
            read.setPartOfWrite();
            read.bindAll(std::vector<QVariant>(
                write.params.begin() + static_cast<std::ptrdiff_t>(write.whereParam), write.params.end()));
            while (read.step()) {
                RowImage image = imageOf(read, 1);
                fields = std::move(image.fields);
                before.push_back({read.int64(0), std::move(image.values)});
            }
        }
        Statement run(connection, write.sql);
        run.bindAll(write.params);
        changed = run.run();
        const QString table = p.storedName(write.target);
        for (KeyedRow &row : before) {
            if (write.kind == TranslatedSql::Kind::Delete) {
                p.tell({RowWrite::Kind::Deleted, table, row.key, fields, std::move(row.values), {}});
                continue;
            }
            const std::optional<RowImage> after = storedRow(connection, write.target, row.key, QString());
            if (after && !sameValues(row.values, after->values))
                p.tell(
                    {RowWrite::Kind::Updated, table, row.key, fields, std::move(row.values), after->values});
        }
    }
    if (own)
        own->commit();
    return changed;
}

} // namespace store
