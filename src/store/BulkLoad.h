#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace store {

class Connection;

// Many rows into a database's tables at once, with the ids they bring along: for filling a database whole
// (an import, a copy, generated data). The program's own path, one durable post per row, is far too slow
// for a million rows.
//
// It works inside a Connection::Transaction that the caller opened before and commits after finish(); a
// failure anywhere leaves the database as it was, the tables' indexes included. On a file the load has a
// large page cache (a million rows and their indexes would otherwise push pages out of the small default
// one and read them again, each decrypted and encrypted anew), and the tables' indexes are dropped at the
// start and made again by finish(): a million rows go in twice as fast without them, and an index made at
// once from all rows takes a third of the time its rows take one by one. On a server every statement
// crosses the network: many rows go in one statement.
class BulkLoad
{
public:
    // The tables that the rows go to: their indexes, and their ids at the end.
    enum class Indexes
    {
        Rebuild, // dropped at the start, made again from all rows by finish()
        Grow     // kept, and grown row by row as a file in use grows them
    };
    BulkLoad(Connection &connection, const QStringList &tables, Indexes indexes = Indexes::Rebuild);
    // Gives the database what the load changed of its session (a file's page cache) back.
    ~BulkLoad();
    BulkLoad(const BulkLoad &) = delete;
    BulkLoad &operator=(const BulkLoad &) = delete;

    // The rows added next go into the table, each with values for those columns in that order.
    void into(const QString &table, const QStringList &columns);
    // One row; the values are bound as they are, typed as the QVariant is.
    void add(const std::vector<QVariant> &values);
    // Stores the rows still waiting, lets each table's next id follow the highest one stored, and makes the
    // indexes again. The caller commits after it.
    void finish();

private:
    void store();
    QString insertSql(std::size_t rows) const;

    Connection &m_connection;
    QStringList m_tables;
    std::size_t m_batch = 1; // rows in one statement
    QStringList m_indexes;   // the statements that make the dropped indexes again
    QString m_table;
    QStringList m_columns;
    QString m_fullBatch;             // the statement for m_batch rows
    std::vector<QVariant> m_waiting; // the values of the rows not yet stored
};

} // namespace store
