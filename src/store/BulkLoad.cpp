#include "BulkLoad.h"

#include "Connection.h"
#include "Quoted.h"
#include "Statement.h"

namespace store {

namespace {

// Rows in one statement on a server: each statement waits for the server's answer across the network.
// SQLite runs one prepared statement per row as fast as a long one, and limits a statement's parameters.
constexpr std::size_t kServerBatch = 256;

// A quarter of a gigabyte of pages: the tables and indexes of a million rows stay in memory.
constexpr qint64 kLoadCacheKiB = 262144;

} // namespace

BulkLoad::BulkLoad(Connection &connection, const QStringList &tables)
    : m_connection(connection), m_tables(tables)
{
    m_connection.ensureConnected();
    // Where the back ends differ: a server wants few statements, a file a large cache and no indexes.
    if (m_connection.isServer()) {
        m_batch = kServerBatch;
        return;
    }
    {
        Statement size(m_connection, QStringLiteral("PRAGMA cache_size"));
        if (size.step())
            m_cacheSize = size.int64(0);
    }
    Statement(m_connection, QStringLiteral("PRAGMA cache_size=-%1").arg(kLoadCacheKiB)).run();
    QStringList names;
    {
        Statement list(m_connection, QStringLiteral("SELECT name, sql, tbl_name FROM sqlite_master WHERE "
                                                    "type = 'index' AND sql IS NOT NULL"));
        while (list.step()) {
            if (!m_tables.contains(list.text(2), Qt::CaseInsensitive))
                continue;
            names << list.text(0);
            m_indexes << list.text(1);
        }
    }
    for (const QString &name : names)
        Statement(m_connection, QStringLiteral("DROP INDEX %1").arg(quotedName(name))).run();
}

BulkLoad::~BulkLoad()
{
    if (!m_cacheSize)
        return;
    try {
        Statement(m_connection, QStringLiteral("PRAGMA cache_size=%1").arg(*m_cacheSize)).run();
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
        .arg(m_connection.tableName(m_table), names.join(u','),
             (oneRow + u',').repeated(static_cast<qsizetype>(rows)).chopped(1));
}

} // namespace store
