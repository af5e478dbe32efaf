#include "BoundInsert.h"

#include "Connection.h"
#include "Plumbing.h"

#include <QScopeGuard>

#include <optional>

namespace store {

BoundInsert::BoundInsert(const QString &table, const QStringList &columns)
    : m_table(table), m_columns(columns), m_key((table + u'\n' + columns.join(u'\n')).toLower())
{}

void BoundInsert::insert(Connection &connection, const std::vector<QVariant> &values) const
{
    Q_ASSERT(values.size() == static_cast<std::size_t>(m_columns.size()));
    connection.ensureConnected();
    Plumbing &p = connection.plumbing();
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(connection, QString());
    {
        Cursor &cursor = p.boundInsert(m_key, m_table, m_columns);
        // The values go with the row: the statement keeps none of them, nor a lock, after this.
        const auto done = qScopeGuard([&cursor] { cursor.reset(); });
        for (std::size_t i = 0; i < values.size(); ++i)
            cursor.bind(static_cast<int>(i + 1), values[i]);
        cursor.step();
    }
    if (own)
        own->commit();
}

} // namespace store
