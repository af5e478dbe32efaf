// Many new rows of one table stored at once: on a server in statements of up to a thousand rows, each
// handing back the rows as stored, so that neither the program nor the observer reads them again; on a
// file one after the other, each read back, which costs no more there than a statement of many rows.

#include "Backend.h"
#include "Connection.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Statement.h"

#include <optional>

namespace store {

namespace {

bool binds(const QVariant &value)
{
    return value.isValid() && !value.isNull();
}

// Which columns a row gives a value: the others are left to the database (a default, the key).
std::vector<bool> boundColumns(const std::vector<QVariant> &row)
{
    std::vector<bool> bound(row.size());
    for (std::size_t c = 0; c < row.size(); ++c)
        bound[c] = binds(row[c]);
    return bound;
}

} // namespace

void insertRows(Connection &connection, const QString &table, const QStringList &columns,
                const std::vector<std::vector<QVariant>> &rows, const QString &context,
                const StoredRowSeen &each)
{
    if (rows.empty())
        return;
    connection.ensureConnected();
    Plumbing &p = connection.plumbing();
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(connection, context);
    const QString tableSql = p.tableName(table);
    const QString key = p.keyColumn(table);
    const QString stored = p.storedName(table);
    const bool server = p.backend().isServer();
    const bool observed = p.observer() != nullptr;
    std::vector<RowWrite> told;
    const auto tell = [&] {
        p.tellAll(told);
        told.clear();
    };
    std::size_t from = 0;
    while (from < rows.size()) {
        Q_ASSERT(rows[from].size() == static_cast<std::size_t>(columns.size()));
        // Rows that leave the same columns to the database go in one statement, so that each row is
        // stored exactly as it would be alone.
        const std::vector<bool> bound = boundColumns(rows[from]);
        QStringList names;
        for (std::size_t c = 0; c < bound.size(); ++c) {
            if (bound[c])
                names << quotedName(columns[static_cast<qsizetype>(c)]);
        }
        const std::size_t most =
            server && !names.isEmpty() ? static_cast<std::size_t>(rowsAtOnce(names.size())) : 1;
        std::size_t to = from + 1;
        while (to < rows.size() && to - from < most && boundColumns(rows[to]) == bound)
            ++to;
        std::vector<QVariant> values;
        values.reserve((to - from) * static_cast<std::size_t>(names.size()));
        for (std::size_t r = from; r < to; ++r) {
            for (const QVariant &value : rows[r]) {
                if (binds(value))
                    values.push_back(value);
            }
        }
        const QString tuple = u'(' + QStringLiteral("?,").repeated(names.size()).chopped(1) + u')';
        const QString insert =
            names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(tableSql)
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                  .arg(tableSql, names.join(u','),
                                       (tuple + u',').repeated(static_cast<qsizetype>(to - from)).chopped(1));
        if (server) {
            // The server hands back the rows in the order of the values, each as it stored it.
            Statement run(connection, insert + QStringLiteral(" RETURNING %1, *").arg(key), context);
            run.bindAll(values);
            std::size_t at = from;
            while (run.step()) {
                const qint64 rowKey = run.int64(0);
                if (observed) {
                    RowImage image = imageOf(run, 1);
                    told.push_back({RowWrite::Kind::Inserted,
                                    stored,
                                    rowKey,
                                    std::move(image.fields),
                                    {},
                                    std::move(image.values)});
                }
                each(at++, rowKey, &run);
            }
        } else {
            qint64 rowKey = 0;
            {
                Statement run(connection, insert + p.backend().returningKey(key), context);
                run.bindAll(values);
                run.run();
                rowKey = run.insertedRowid();
            }
            Statement reread(connection, QStringLiteral("SELECT %1, * FROM %2 WHERE %1=?").arg(key, tableSql),
                             context);
            reread.setPartOfWrite();
            reread.bind(1, rowKey);
            const bool read = reread.tryStep();
            if (observed) {
                // A row that cannot be read back under the lock was removed again at once: nothing to tell.
                std::optional<RowImage> image = read ? std::optional<RowImage>(imageOf(reread, 1))
                                                     : storedRow(connection, table, rowKey, context);
                if (image)
                    told.push_back({RowWrite::Kind::Inserted,
                                    stored,
                                    rowKey,
                                    std::move(image->fields),
                                    {},
                                    std::move(image->values)});
            }
            each(from, rowKey, read ? &reread : nullptr);
        }
        if (told.size() >= static_cast<std::size_t>(kMostRowsAtOnce))
            tell();
        from = to;
    }
    tell();
    if (own)
        own->commit();
}

} // namespace store
