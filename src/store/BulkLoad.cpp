#include "BulkLoad.h"

#include "Backend.h"
#include "Connection.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Statement.h"

namespace store {

BulkLoad::BulkLoad(Connection &connection, const QStringList &tables, Indexes indexes)
    : m_connection(connection), m_tables(tables)
{
    m_connection.ensureConnected();
    Backend &backend = m_connection.plumbing().backend();
    m_batch = static_cast<std::size_t>(backend.rowsPerInsert());
    backend.setBulkLoading(true);
    if (indexes == Indexes::Rebuild)
        m_indexes = backend.dropIndexes(m_tables);
}

BulkLoad::~BulkLoad()
{
    try {
        if (m_connection.isConnected())
            m_connection.plumbing().backend().setBulkLoading(false);
    } catch (...) {
        // Only the cache's size: the data is stored or rolled back by the transaction either way.
    }
}

void BulkLoad::into(const QString &table, const QStringList &columns)
{
    Q_ASSERT(!columns.isEmpty());
    store();
    m_table = table;
    m_columns = columns;
    m_fullBatch = insertSql(m_batch);
    m_waiting.reserve(m_batch * static_cast<std::size_t>(columns.size()));
}

void BulkLoad::add(const std::vector<QVariant> &values)
{
    Q_ASSERT(!m_table.isEmpty() && values.size() == static_cast<std::size_t>(m_columns.size()));
    m_waiting.insert(m_waiting.end(), values.begin(), values.end());
    if (m_waiting.size() == m_batch * values.size())
        store();
}

void BulkLoad::finish()
{
    store();
    for (const QString &table : m_tables)
        m_connection.continueIds(table);
    for (const QString &index : m_indexes)
        Statement(m_connection, index).run();
    m_indexes.clear();
}

void BulkLoad::store()
{
    if (m_waiting.empty())
        return;
    const std::size_t rows = m_waiting.size() / static_cast<std::size_t>(m_columns.size());
    Statement insert(m_connection, rows == m_batch ? m_fullBatch : insertSql(rows));
    insert.setPartOfWrite();
    insert.bindAll(m_waiting);
    insert.run();
    m_waiting.clear();
}

QString BulkLoad::insertSql(std::size_t rows) const
{
    QStringList names;
    for (const QString &column : m_columns)
        names << quotedName(column);
    const QString oneRow = u'(' + QStringLiteral("?,").repeated(names.size()).chopped(1) + u')';
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(m_connection.plumbing().tableName(m_table), names.join(u','),
             (oneRow + u',').repeated(static_cast<qsizetype>(rows)).chopped(1));
}

} // namespace store
