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

void BoundInsert::insertAll(Connection &connection, const std::vector<std::vector<QVariant>> &rows) const
{
    connection.ensureConnected();
    Plumbing &p = connection.plumbing();
    if (rows.size() == 1) {
        std::optional<Connection::Transaction> own;
        if (p.depth() == 0 && rows.size() > 1)
            own.emplace(connection, QString());
        for (const std::vector<QVariant> &row : rows)
            insert(connection, row);
        if (own)
            own->commit();
        return;
    }
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(connection, QString());
    const auto most = static_cast<std::size_t>(rowsAtOnce(m_columns.size(), p.backend().isServer()));
    for (std::size_t from = 0; from < rows.size(); from += most) {
        const std::size_t to = std::min(rows.size(), from + most);
        Cursor &cursor = p.boundInsert(m_key, m_table, m_columns, static_cast<int>(to - from));
        const auto done = qScopeGuard([&cursor] { cursor.reset(); });
        int parameter = 0;
        for (std::size_t r = from; r < to; ++r) {
            Q_ASSERT(rows[r].size() == static_cast<std::size_t>(m_columns.size()));
            for (const QVariant &value : rows[r])
                cursor.bind(++parameter, value);
        }
        cursor.step();
    }
    if (own)
        own->commit();
}

} // namespace store
