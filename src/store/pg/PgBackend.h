#pragma once

// The store's back end for a database on a PostgreSQL server, through libpq.
//
// Invariants:
// - The session is fixed to the server and schema it first connected to; a reconnect goes there again.
// - Where a link file named the server, m_linkFile is that file, and it named this server when it was last
//   looked at (m_fileChecked); it is looked at again once kFileRecheck has passed and before a reconnect.
// - The program's tables and functions are named with the schema in every statement the store sends; the
//   session's search path holds no schema another role can write to.

#include "Backend.h"
#include "FileChecks.h"
#include "Pg.h"

#include <chrono>

namespace store {

class Connection;

class PgBackend final : public Backend
{
public:
    // Connects to the server the URI names; `link` is the link file that named it, empty for the URI itself.
    PgBackend(const QString &uri, const QString &link);

    // Creates the tables on a server (the URI or a link file names it) in one transaction. Refuses a
    // database that holds any of them already.
    static void createTablesOn(const QString &uri, const QStringList &statements, const QStringList &tables);
    static void dropTablesOn(const QString &uri, const QStringList &tables) noexcept;

    QString name() const override { return m_session.server(); }
    bool isServer() const override { return true; }
    void checkStillThere(bool inTransaction) override;
    qint64 storedBytes() override;
    quint64 roundTrips() const override { return m_session.roundTrips(); }

    std::unique_ptr<Cursor> prepare(const QString &sql, const QString &context) override;
    std::unique_ptr<Cursor> prepareInsert(const QString &table, const QStringList &columns, int rows,
                                          const QString &context) override;
    bool writeTakesLock() const override { return false; }

    bool inTransaction() override;
    void begin(Begin kind, const QString &context) override;
    void commit(bool savepoint, const QString &context) override;
    void rollback(bool savepoint) noexcept override;

    QStringList tables() override;
    std::vector<ColumnInfo> columns(const QString &table) override;
    bool hasTriggers(const QString &table) override;
    QString tableName(const QString &table) const override { return m_session.qualified(table); }
    QString keyColumn(const QString &table, const std::vector<ColumnInfo> &columns) const override;
    QString returningKey(const QString &key) const override { return QStringLiteral(" RETURNING ") + key; }
    QString lockingRead() const override { return QStringLiteral(" FOR UPDATE"); }
    bool comparesThroughServerFunctions() const override { return true; }
    QString schema() const override { return m_session.schema(); }

    void createTables(const QStringList &statements, const QStringList &tables) override;
    void continueIds(const QString &table, const std::vector<ColumnInfo> &columns) override;
    int rowsPerInsert() const override { return 256; }
    QStringList dropIndexes(const QStringList &) override { return {}; }
    void setBulkLoading(bool) override {}
    QString backupRefusal() const override;
    void backupTo(const QString &target, const QString &password) override;

    pg::Session &session() { return m_session; }

private:
    // Whether the link file names another file than the one read, or none.
    bool linkMoved() const;

    pg::Session m_session;
    QString m_linkFile;
    QByteArray m_nativePath;
    FileId m_linkId;
    std::chrono::steady_clock::time_point m_fileChecked;
};

// One statement on the server (see PgCursor.cpp).
std::unique_ptr<Cursor> makePgCursor(pg::Session &session, const QString &sql, const QString &context);

// The session of a connection to a server, for the tests that look at the server through it.
pg::Session &pgSession(const Connection &connection);

} // namespace store
