#pragma once

// Who is told of every row the program writes: the change journal. The store tells it from the one place
// each kind of write passes (a record set's post and delete, a statement run on the connection), so that no
// write can go by unrecorded, and inside the write's own transaction, under its write lock: what the
// observer writes in turn is stored together with the change or not at all.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace store {

class Connection;

// One row as a write changed it. Values are as the database holds them (nothing, qint64, double or text,
// as StoredRows reads them), in the order of `fields`, the table's columns as the database names them.
struct RowWrite
{
    enum class Kind
    {
        Inserted, // `after` holds the new row
        Updated,  // `before` and `after` hold the row around the change
        Deleted,  // `before` holds the row that is gone
    };
    Kind kind = Kind::Inserted;
    QString table; // as the database names it
    qint64 key = 0;
    QStringList fields;
    std::vector<QVariant> before;
    std::vector<QVariant> after;
};

class WriteObserver
{
public:
    virtual ~WriteObserver() = default;
    // Called after the row was written and before the write's transaction commits. What it throws fails
    // the write: the transaction rolls back and neither the row nor what the observer wrote stays. Writes it
    // makes itself on the connection are not told to it again.
    virtual void written(Connection &connection, const RowWrite &row) = 0;
    // The rows one write stored together (an insert of many rows), in the order stored; the same as being
    // told of each in turn, which is what it does unless the observer can do better with them at once.
    virtual void writtenAll(Connection &connection, const std::vector<RowWrite> &rows)
    {
        for (const RowWrite &row : rows)
            written(connection, row);
    }
    // What the observer learnt under the write lock may no longer hold: a transaction or savepoint rolled
    // back, or the outermost transaction ended and other programs may write again.
    virtual void lockEnded() noexcept {}
};

} // namespace store
