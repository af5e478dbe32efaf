#include "StoredRows.h"

#include "Connection.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Statement.h"

namespace store {

StoredRows::StoredRows(Connection &connection, const QString &table, const QStringList &columns)
    : m_values(static_cast<std::size_t>(columns.size()))
{
    connection.ensureConnected();
    QStringList names;
    for (const QString &column : columns)
        names << quotedName(column);
    // A server names the missing table when its key is looked up, a file when the statement is prepared:
    // both before the first row.
    const QString key = connection.plumbing().keyColumn(table);
    m_select = std::make_unique<Statement>(
        connection, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                        .arg(names.join(u','), connection.plumbing().tableName(table), key));
}

StoredRows::~StoredRows() = default;

bool StoredRows::next()
{
    // A finished statement stepped again would start over.
    if (m_done)
        return false;
    if (!m_select->step()) {
        m_done = true;
        m_select.reset();
        return false;
    }
    for (std::size_t c = 0; c < m_values.size(); ++c)
        m_values[c] = storedValue(*m_select, static_cast<int>(c));
    return true;
}

qint64 StoredRows::count(Connection &connection, const QString &table)
{
    connection.ensureConnected();
    Statement count(connection,
                    QStringLiteral("SELECT count(*) FROM %1").arg(connection.plumbing().tableName(table)));
    return count.step() ? count.int64(0) : 0;
}

} // namespace store
