// Statements on a database file: prepared once and kept in the back end's cache, each use a cursor that
// resets the statement when it ends.

#include "SqliteBackend.h"

#include "JetSql.h"
#include "Quoted.h"
#include "StoreError.h"

namespace store {

namespace {

constexpr size_t kCacheSize = 128;

class SqliteCursor final : public Cursor
{
public:
    SqliteCursor(const SqliteBackend &backend, sqlite3_stmt *stmt, const QString &context)
        : m_backend(backend), m_stmt(stmt), m_reset(stmt), m_context(context),
          m_writing(!sqlite3_stmt_readonly(stmt))
    {}
    // With a statement of its own, kept out of the back end's cache.
    SqliteCursor(const SqliteBackend &backend, StmtPtr own, const QString &context)
        : SqliteCursor(backend, own.get(), context)
    {
        m_own = std::move(own);
    }

    bool writes() const override { return m_writing; }
    void setPartOfWrite() override { m_writing = true; }

    void bind(int index, const QVariant &value) override
    {
        const int rc = bindValue(m_stmt, index, value);
        if (rc != SQLITE_OK)
            m_backend.raise(rc, m_context, m_writing);
    }

    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_backend.raise(rc, m_context, m_writing);
        return rc == SQLITE_ROW;
    }

    bool tryStep() noexcept override { return sqlite3_step(m_stmt) == SQLITE_ROW; }

    int changed() const override
    {
        // sqlite3_changes() keeps the count of the last statement that changed rows; a query changed none.
        return sqlite3_stmt_readonly(m_stmt) ? 0 : sqlite3_changes(m_backend.handle());
    }

    qint64 insertedKey() const override { return sqlite3_last_insert_rowid(m_backend.handle()); }

    int rowColumns() const override { return sqlite3_data_count(m_stmt); }

    CellType type(int column) const override
    {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL:
            return CellType::Null;
        case SQLITE_INTEGER:
            return CellType::Integer;
        case SQLITE_FLOAT:
            return CellType::Real;
        default:
            return CellType::Text;
        }
    }

    qint64 int64(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    double real(int column) const override { return sqlite3_column_double(m_stmt, column); }

    QByteArrayView utf8(int column) const override
    {
        // The text first: asking for it can change the number of bytes, asking for the bytes cannot.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    const char *columnName(int column) const override { return sqlite3_column_name(m_stmt, column); }

    QString declaredType(int column) const override
    {
        const char *declared = sqlite3_column_decltype(m_stmt, column);
        return declared ? QString::fromUtf8(declared) : QString();
    }

    // SQLite leaves such a read undefined: it is refused in the words SQLite has for it.
    void refuseColumn(int) const override
    {
        m_backend.raise(SQLITE_RANGE, m_context, m_writing, sqlite3_errstr(SQLITE_RANGE));
    }

    void reset() noexcept override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    StmtPtr m_own; // finalized last, after m_reset has let go of it
    const SqliteBackend &m_backend;
    sqlite3_stmt *m_stmt;
    StmtReset m_reset;
    QString m_context;
    bool m_writing;
};

} // namespace

std::unique_ptr<Cursor> SqliteBackend::prepare(const QString &sql, const QString &context)
{
    return std::make_unique<SqliteCursor>(*this, prepared(sql), context);
}

std::unique_ptr<Cursor> SqliteBackend::prepareInsert(const QString &table, const QStringList &columns,
                                                     int rows, const QString &context)
{
    QStringList names;
    for (const QString &c : columns)
        names << quotedName(c);
    const QString tuple = u'(' + QStringLiteral("?,").repeated(columns.size()).chopped(1) + u')';
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(quotedName(table), names.join(u','), (tuple + u',').repeated(rows).chopped(1))
            .toUtf8();
    sqlite3_stmt *raw = nullptr;
    const int rc =
        sqlite3_prepare_v2(m_db.get(), sql.constData(), static_cast<int>(sql.size()), &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        raise(rc, context, true);
    return std::make_unique<SqliteCursor>(*this, std::move(stmt), context);
}

sqlite3_stmt *SqliteBackend::prepared(const QString &sql)
{
    auto found = m_cacheIndex.constFind(sql);
    if (found != m_cacheIndex.constEnd()) {
        // A query being read holds its statement until its last row: the same text cannot run meanwhile.
        if (sqlite3_stmt_busy(found.value()->stmt.get()))
            throw StoreError(QStringLiteral("Die Anweisung wird noch gelesen: %1").arg(sql));
        m_cache.splice(m_cache.begin(), m_cache, found.value());
        return m_cache.front().stmt.get();
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(m_db.get(), utf8.constData(), static_cast<int>(utf8.size()), &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        raise(rc, QString(), false);
    // SQLite prepares the first statement only: whatever it leaves would never run, and must not be
    // mistaken for part of what did.
    if (!raw)
        refuseStatement(QStringLiteral("leere Anweisung"), sql);
    if (!isStatementEnd(QByteArrayView(tail, utf8.constData() + utf8.size())))
        refuseStatement(QStringLiteral("Text nach dem Ende der Anweisung"), sql);
    m_cache.push_front(PreparedEntry{sql, std::move(stmt)});
    m_cacheIndex.insert(sql, m_cache.begin());
    if (m_cache.size() > kCacheSize) {
        // The least used one that nobody is reading.
        auto last = std::prev(m_cache.end());
        while (last != m_cache.begin() && sqlite3_stmt_busy(last->stmt.get()))
            --last;
        if (!sqlite3_stmt_busy(last->stmt.get())) {
            m_cacheIndex.remove(last->sql);
            m_cache.erase(last);
        }
    }
    return m_cache.front().stmt.get();
}

} // namespace store
