#pragma once

#include "Backend.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace store {

class Connection;

// One use of a statement of the back end's dialect: binding its values, stepping through its rows and
// reading their columns. Any of these that fails raises the back end's German StoreError, with the context
// after the message. When the object ends, the statement lets go of what it held (a file's statement is
// reset and unbound, also after an error, so that it never holds a read lock after use).
//
// Invariant: a column is read only while the statement stands on a row, and only one the row has; asking
// for another one is refused with the back end's words, never read.
class Statement
{
public:
    Statement(Connection &connection, const QString &sql, const QString &context = QString());
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // A read inside a write transaction: its failure, too, means that nothing was stored.
    void setPartOfWrite() { m_cursor->setPartOfWrite(); }

    void bind(int index, const QVariant &value) { m_cursor->bind(index, value); }
    void bind(int index, qint64 value) { m_cursor->bind(index, QVariant(value)); }
    // Binds the values to the parameters from the first on.
    void bindAll(const std::vector<QVariant> &values);

    // True when the statement stands on a row, false when it is done.
    bool step();
    // Does not raise: false also when the step failed.
    bool tryStep() noexcept { return m_cursor->tryStep(); }
    // Steps to the end, dropping the rows; returns the number of rows the statement changed, 0 for a query.
    int run();
    qint64 insertedRowid() const { return m_cursor->insertedKey(); }

    // Of the current row; raises when there is none or the column is not one of it.
    CellType columnType(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The text in UTF-8; valid until the next step or read of another form.
    QByteArrayView utf8(int column) const;

    // Of the result's shape, known with a row or without.
    int columnCount() const { return m_cursor->columnCount(); }
    const char *columnName(int column) const;
    QString declaredType(int column) const;

private:
    void checkRowColumn(int column) const
    {
        if (column < 0 || column >= m_cursor->rowColumns())
            m_cursor->refuseColumn(column);
    }
    void checkResultColumn(int column) const
    {
        if (column < 0 || column >= m_cursor->columnCount())
            m_cursor->refuseColumn(column);
    }

    Connection &m_connection;
    std::unique_ptr<Cursor> m_cursor;
    bool m_stepped = false;
};

} // namespace store
