#pragma once

#include "Sqlite.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <vector>

#include <memory>

namespace store {

class Connection;
namespace pg {
class Run;
}

// One use of a statement of the connection's cache: binding its values, stepping through its rows and
// reading their columns. Any of these that fails raises the connection's German StoreError, with the
// context after the message; a failure to prepare raises it without. When the object ends, the statement
// is reset and unbound, also after an error, so that it never holds a read lock after use. On a server
// database the statement runs at its first step and its rows are read from the answer.
class Statement
{
public:
    Statement(Connection &connection, const QString &sql, QString context = QString());
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // A read inside a write transaction: its failure, too, means that nothing was stored.
    void setPartOfWrite() { m_writing = true; }

    void bind(int index, const QVariant &value);
    void bind(int index, qint64 value);
    // Binds the values to the parameters from the first on.
    void bindAll(const std::vector<QVariant> &values);

    // True when the statement stands on a row, false when it is done.
    bool step();
    // Does not raise: false also when the step failed.
    bool tryStep() noexcept;
    // Steps to the end, dropping the rows; returns the number of rows the statement changed, 0 for a query.
    int run();
    qint64 insertedRowid() const;

    // Of the current row; raises when there is none or the column is not one of it.
    int columnType(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The text as SQLite holds it, in UTF-8; valid until the next step or read of another form.
    QByteArrayView utf8(int column) const;

    // Of the result's shape, known with a row or without.
    int columnCount() const;
    const char *columnName(int column) const;
    QString declaredType(int column) const;

private:
    void checkRowColumn(int column) const;
    void checkResultColumn(int column) const;
    [[noreturn]] void raise(int rc, const char *message = nullptr) const;

    Connection &m_connection;
    QString m_context;
    // On a file: SQLite's prepared statement from the connection's cache. On a server: the run.
    sqlite3_stmt *m_stmt;
    StmtReset m_reset;
    std::unique_ptr<pg::Run> m_run;
    bool m_writing;
};

} // namespace store
