#include "Statement.h"

#include "Connection.h"
#include "Pg.h"
#include "StoreError.h"

namespace store {

Statement::Statement(Connection &connection, const QString &sql, QString context)
    : m_connection(connection), m_context(std::move(context)),
      m_stmt(connection.isServer() ? nullptr : connection.prepare(sql)), m_reset(m_stmt),
      m_run(connection.isServer() ? std::make_unique<pg::Run>(sql) : nullptr),
      m_writing(m_run ? !m_run->isQuery() : !sqlite3_stmt_readonly(m_stmt))
{}

Statement::~Statement() = default;

void Statement::bind(int index, const QVariant &value)
{
    if (m_run)
        return m_run->bind(index, value);
    const int rc = bindValue(m_stmt, index, value);
    if (rc != SQLITE_OK)
        raise(rc);
}

void Statement::bind(int index, qint64 value)
{
    if (m_run)
        return m_run->bind(index, QVariant(value));
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        raise(rc);
}

void Statement::bindAll(const std::vector<QVariant> &values)
{
    for (size_t i = 0; i < values.size(); ++i)
        bind(static_cast<int>(i + 1), values[i]);
}

bool Statement::step()
{
    if (m_run) {
        try {
            // A change outside a transaction waits for the write lock as on a file, so that it never comes
            // between another program's check and its write.
            if (m_writing && !m_run->hasRun() &&
                PQtransactionStatus(m_connection.server().handle()) == PQTRANS_IDLE) {
                Connection::Transaction alone(m_connection, QString());
                const bool row = m_run->step(m_connection.server(), m_writing);
                alone.commit();
                return row;
            }
            return m_run->step(m_connection.server(), m_writing);
        } catch (const StoreError &e) {
            throw StoreError(m_context.isEmpty() ? e.message() : e.message() + u' ' + m_context);
        }
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(rc);
    return rc == SQLITE_ROW;
}

bool Statement::tryStep() noexcept
{
    if (m_run) {
        try {
            return m_run->step(m_connection.server(), m_writing);
        } catch (...) {
            return false;
        }
    }
    return sqlite3_step(m_stmt) == SQLITE_ROW;
}

int Statement::run()
{
    while (step()) {
    }
    if (m_run)
        return m_run->changed();
    // sqlite3_changes() keeps the count of the last statement that changed rows; a query changed none.
    return sqlite3_stmt_readonly(m_stmt) ? 0 : sqlite3_changes(m_connection.handle());
}

qint64 Statement::insertedRowid() const
{
    // On a server the insert returned its key (RETURNING) as its one row.
    if (m_run)
        return m_run->returnedKey();
    return sqlite3_last_insert_rowid(m_connection.handle());
}

int Statement::columnType(int column) const
{
    checkRowColumn(column);
    return m_run ? m_run->columnType(column) : sqlite3_column_type(m_stmt, column);
}

qint64 Statement::int64(int column) const
{
    checkRowColumn(column);
    return m_run ? m_run->int64(column) : sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    checkRowColumn(column);
    return m_run ? m_run->real(column) : sqlite3_column_double(m_stmt, column);
}

QString Statement::text(int column) const
{
    checkRowColumn(column);
    if (m_run)
        return QString::fromUtf8(m_run->utf8(column));
    // The text first: asking for it can change the number of bytes, asking for the bytes cannot.
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(utf8, sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView Statement::utf8(int column) const
{
    checkRowColumn(column);
    if (m_run)
        return m_run->utf8(column);
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(utf8, sqlite3_column_bytes(m_stmt, column));
}

int Statement::columnCount() const
{
    return m_run ? m_run->columnCount() : sqlite3_column_count(m_stmt);
}

const char *Statement::columnName(int column) const
{
    checkResultColumn(column);
    return m_run ? m_run->columnName(column) : sqlite3_column_name(m_stmt, column);
}

QString Statement::declaredType(int column) const
{
    checkResultColumn(column);
    if (m_run)
        return m_run->declaredType(column);
    const char *declared = sqlite3_column_decltype(m_stmt, column);
    return declared ? QString::fromUtf8(declared) : QString();
}

// SQLite leaves a column read without a row, or past the last column, undefined: it is refused here, in
// the words SQLite has for it.
void Statement::checkRowColumn(int column) const
{
    const int columns = m_run ? (m_run->onRow() ? m_run->columnCount() : 0) : sqlite3_data_count(m_stmt);
    if (column < 0 || column >= columns)
        raise(SQLITE_RANGE, sqlite3_errstr(SQLITE_RANGE));
}

void Statement::checkResultColumn(int column) const
{
    if (column < 0 || column >= columnCount())
        raise(SQLITE_RANGE, sqlite3_errstr(SQLITE_RANGE));
}

void Statement::raise(int rc, const char *message) const
{
    m_connection.raise(rc, m_context, m_writing, message);
}

} // namespace store
