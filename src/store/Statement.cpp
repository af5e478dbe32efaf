#include "Statement.h"

#include "Connection.h"
#include "Plumbing.h"

namespace store {

Statement::Statement(Connection &connection, const QString &sql, const QString &context)
    : m_connection(connection), m_cursor(connection.plumbing().backend().prepare(sql, context))
{}

Statement::~Statement() = default;

void Statement::bindAll(const std::vector<QVariant> &values)
{
    for (size_t i = 0; i < values.size(); ++i)
        m_cursor->bind(static_cast<int>(i + 1), values[i]);
}

bool Statement::step()
{
    if (m_stepped)
        return m_cursor->step();
    m_stepped = true;
    Backend &backend = m_connection.plumbing().backend();
    // A change outside a transaction waits for the write lock as every change does, so that it never comes
    // between another program's check and its write.
    if (m_cursor->writes() && !backend.writeTakesLock() && !backend.inTransaction()) {
        Connection::Transaction alone(m_connection, QString());
        const bool row = m_cursor->step();
        alone.commit();
        return row;
    }
    return m_cursor->step();
}

int Statement::run()
{
    while (step()) {
    }
    return m_cursor->changed();
}

CellType Statement::columnType(int column) const
{
    checkRowColumn(column);
    return m_cursor->type(column);
}

qint64 Statement::int64(int column) const
{
    checkRowColumn(column);
    return m_cursor->int64(column);
}

double Statement::real(int column) const
{
    checkRowColumn(column);
    return m_cursor->real(column);
}

QString Statement::text(int column) const
{
    checkRowColumn(column);
    const QByteArrayView utf8 = m_cursor->utf8(column);
    return QString::fromUtf8(utf8.data(), utf8.size());
}

QByteArrayView Statement::utf8(int column) const
{
    checkRowColumn(column);
    return m_cursor->utf8(column);
}

const char *Statement::columnName(int column) const
{
    checkResultColumn(column);
    return m_cursor->columnName(column);
}

QString Statement::declaredType(int column) const
{
    checkResultColumn(column);
    return m_cursor->declaredType(column);
}

} // namespace store
