#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace store {

class Connection;
class Statement;

// The rows of one table in the order of their keys, each value exactly as the database holds it: nothing
// (a null QVariant), an integer (qint64), a real number (double) or a text, whatever the column is meant to
// hold. For moving a database whole, where a record set would turn each value into the type of its field
// (an Admin of 2 into true, a text where a number belongs into 0).
//
// While it is being read it holds its statement: the reader reads to the end or lets it go. Several of
// them may stand side by side, so that a reader can make sure of every table before it reads one.
class StoredRows
{
public:
    // A table that is not there raises its German StoreError here, before anything is read.
    StoredRows(Connection &connection, const QString &table, const QStringList &columns);
    ~StoredRows();
    StoredRows(const StoredRows &) = delete;
    StoredRows &operator=(const StoredRows &) = delete;

    // To the next row, the first at the first call; false after the last, and from then on.
    bool next();
    // The row next() stands on, its values in the order of the columns.
    const std::vector<QVariant> &values() const { return m_values; }

    // How many rows the table holds.
    static qint64 count(Connection &connection, const QString &table);

private:
    std::unique_ptr<Statement> m_select;
    std::vector<QVariant> m_values;
    bool m_done = false;
};

} // namespace store
