#pragma once

// Writes the observer is told of (see WriteObserver.h): each knows the rows it changes under its write
// lock, before and after, and tells the observer inside its transaction. A row is read, unless the values
// the write bound provably are what the table now holds (insertedRow, updatedRow).

#include "JetSql.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace store {

class Connection;
class Statement;

// A value as the database holds it, whatever its column is meant to hold.
QVariant storedValue(const Statement &statement, int column);

// The current row of a statement from a column on: its columns' names and values.
struct RowImage
{
    QStringList fields;
    std::vector<QVariant> values;
};
RowImage imageOf(const Statement &statement, int firstColumn);

// The row with this key as stored now, read under the write lock; nothing when there is none.
std::optional<RowImage> storedRow(Connection &connection, const QString &table, qint64 key,
                                  const QString &context);

// The row an insert stored, for the observer: made from the values it bound (to the columns `names`) and the
// key it was given, where every column provably holds what was bound, else read under the write lock.
std::optional<RowImage> insertedRow(Connection &connection, const QString &table, qint64 key,
                                    const QStringList &names, const std::vector<QVariant> &values,
                                    const QString &context);

// The row after an update of the columns `names` to the values, for the observer: made from the row as it
// was read before the update under the same lock, where every column provably holds what was bound, else
// read again.
std::optional<RowImage> updatedRow(Connection &connection, const QString &table, qint64 key,
                                   const RowImage &before, const QStringList &names,
                                   const std::vector<QVariant> &values, const QString &context);

// Stores the rows, a value for each of `columns` (an invalid or null one leaves the column to the
// database), into the table in their order: on a server in few statements, all inside the transaction open
// or one of its own, and tells the observer of them as they are stored. `each` is called for every row in
// order with its key and the row as stored (the key, then the table's columns), or null where it could not
// be read back. A failure raises the back end's StoreError, and the transaction takes back every row.
using StoredRowSeen = std::function<void(std::size_t index, qint64 key, const Statement *stored)>;
void insertRows(Connection &connection, const QString &table, const QStringList &columns,
                const std::vector<std::vector<QVariant>> &rows, const QString &context,
                const StoredRowSeen &each);

// Runs a write of the program's dialect inside a transaction (its own or the one open), telling the
// observer of every row it inserted, changed or deleted. Returns the rows changed.
int runObserved(Connection &connection, const TranslatedSql &write);

} // namespace store
