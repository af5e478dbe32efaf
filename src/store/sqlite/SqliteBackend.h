#pragma once

// The store's back end for a database file: SQLite inside SQLCipher, the file keyed with the database
// password.
//
// Invariants:
// - m_db is open and keyed, its journal is a rollback journal and it syncs fully (refused otherwise at
//   opening); the collation is registered on it.
// - The path named the file SQLite holds open when it was opened, and did so at m_fileChecked; every read
//   looks again once kFileRecheck has passed, every write is compared by SQLite itself.
// - A prepared statement of the cache is used by one cursor at a time, and reset when that cursor ends.

#include "Backend.h"
#include "FileChecks.h"
#include "Sqlite.h"

#include <QHash>

#include <chrono>
#include <list>
#include <optional>

namespace store {

class Connection;

class SqliteBackend final : public Backend
{
public:
    // Opens an existing file read-write; refuses a missing, empty, foreign or wrongly keyed one in German.
    SqliteBackend(const QString &path, const QString &password);

    // Makes a new, empty database file keyed with the password and runs the statements in one
    // transaction. Refuses a file that exists already; leaves no file behind when it fails.
    static void createFile(const QString &path, const QString &password, const QStringList &statements);

    QString name() const override { return m_file; }
    bool isServer() const override { return false; }
    void checkStillThere(bool inTransaction) override;
    qint64 storedBytes() override;

    std::unique_ptr<Cursor> prepare(const QString &sql, const QString &context) override;
    std::unique_ptr<Cursor> prepareInsert(const QString &table, const QStringList &columns, int rows,
                                          const QString &context) override;
    bool writeTakesLock() const override { return true; }

    bool inTransaction() override;
    void begin(Begin kind, const QString &context) override;
    void commit(bool savepoint, const QString &context) override;
    void rollback(bool savepoint) noexcept override;

    QStringList tables() override;
    std::vector<ColumnInfo> columns(const QString &table) override;
    bool hasTriggers(const QString &table) override;
    QString tableName(const QString &table) const override;
    QString keyColumn(const QString &table, const std::vector<ColumnInfo> &columns) const override;
    QString returningKey(const QString &) const override { return QString(); }
    QString lockingRead() const override { return QString(); }
    bool comparesThroughServerFunctions() const override { return false; }
    QString schema() const override { return QString(); }

    void createTables(const QStringList &statements, const QStringList &tables) override;
    void continueIds(const QString &, const std::vector<ColumnInfo> &) override {}
    int rowsPerInsert() const override { return 1; }
    QStringList dropIndexes(const QStringList &tables) override;
    void setBulkLoading(bool on) override;
    QString backupRefusal() const override { return QString(); }
    void backupTo(const QString &target, const QString &password) override;

    sqlite3 *handle() const { return m_db.get(); }
    // Raises the German error for a failed SQLite call; one that was to write says that nothing was stored.
    // SQLite's own words are those of the connection's last error unless given.
    [[noreturn]] void raise(int rc, const QString &context, bool writing,
                            const char *message = nullptr) const;

private:
    // Whether the path names another file than the one opened, or none.
    bool fileMoved() const;
    // A prepared statement for the text, from the cache; stays owned by the back end.
    sqlite3_stmt *prepared(const QString &sql);
    void exec(const char *sql, const QString &context, bool writing);

    QString m_file;
    QByteArray m_nativePath;
    FileId m_id; // the file as it was opened, to notice when the path names another one
    std::optional<qint64> m_usualCache; // the page cache's size while a bulk load has a larger one
    mutable std::chrono::steady_clock::time_point m_fileChecked;
    DbPtr m_db;

    // Prepared statements, most recently used first; bounded so that a long session cannot grow it.
    struct PreparedEntry
    {
        QString sql;
        StmtPtr stmt;
    };
    std::list<PreparedEntry> m_cache;
    QHash<QString, std::list<PreparedEntry>::iterator> m_cacheIndex;
};

// The file's SQLite connection, for the tests and benchmarks that check the store against SQLite itself;
// null for a connection to a server or none.
sqlite3 *sqliteHandle(const Connection &connection);

} // namespace store
