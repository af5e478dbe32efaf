#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace store {

class Connection;

// Adds rows of one shape to one table, the values bound by position: for a writer of many rows of its
// own, such as the change journal, which adds one for nearly every row the program writes. The statement
// is made in the back end's own text and prepared once on each connection (a server keeps it prepared for
// the session), then only bound and run again: nothing is read as the program's dialect.
//
// What it adds is not told to the connection's write observer: it is how the observer adds its own rows.
// It runs in the transaction open on the connection, under its write lock, and fails with it: a row the
// database refuses raises the back end's StoreError, and the caller's transaction rolls back as for any
// failed write. Without an open transaction it takes one of its own.
class BoundInsert
{
public:
    // The table and its columns, in any letter case.
    BoundInsert(const QString &table, const QStringList &columns);

    // Adds one row, a value for each column in their order: an invalid or null QVariant stores nothing
    // (NULL), a truth value 1 or 0, whole numbers and texts as they are.
    void insert(Connection &connection, const std::vector<QVariant> &values) const;
    // Adds the rows in their order, all or none, as many in one statement as the back end takes.
    void insertAll(Connection &connection, const std::vector<std::vector<QVariant>> &rows) const;

    const QString &table() const { return m_table; }
    const QStringList &columns() const { return m_columns; }

private:
    QString m_table;
    QStringList m_columns;
    QString m_key; // names the prepared statement on each connection
};

} // namespace store
