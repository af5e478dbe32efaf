#pragma once

#include "ConnectionString.h"
#include "Handles.h"
#include "JetSql.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <chrono>
#include <list>
#include <memory>
#include <vector>

namespace store {

class FieldCatalog;
class RecordSet;
namespace pg {
class Session;
}

// One change a record set made to its snapshot while a transaction was open: a row it added, removed, or a
// field it changed (with the value before). A rollback takes these back, newest first.
struct SnapshotChange
{
    enum class Kind
    {
        Added,
        Removed,
        Changed
    };
    RecordSet *set = nullptr;
    Kind kind = Kind::Added;
    int row = 0; // storage row of the set
    int field = -1;
    QVariant old;
};

// What the store knows of one column of a table.
struct ColumnInfo
{
    QString name;
    QString declaredType;
    bool primaryKey = false;
};

// A connection to one security database file (an SQLCipher database keyed with the database password).
//
// Connect opens an existing file read-write and never creates one; each post and statement is stored
// durably when the call returns (rollback journal, full sync), and a lock held by another program is
// waited for a few seconds before it is reported. Disconnect closes every record set on the connection.
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    void setConnectionString(const QString &text) { m_connectionString = text; }
    const QString &connectionString() const { return m_connectionString; }
    void setProvider(const QString &provider) { m_provider = provider; }
    const QString &provider() const { return m_provider; }
    void setLoginPrompt(bool prompt) { m_loginPrompt = prompt; }
    bool loginPrompt() const { return m_loginPrompt; }

    // Throws StoreError naming the file when it cannot be opened; a failed connect leaves the file as it
    // was and the connection not connected.
    void connect();
    void disconnect() noexcept;
    bool isConnected() const { return m_db != nullptr || m_server != nullptr; }
    // Whether the database is on a PostgreSQL server: the connection string named a link file (a text file
    // whose first line is a postgresql:// URI) or the URI itself.
    bool isServer() const { return m_server != nullptr; }
    // Connects when not connected. When connected, refuses with a German StoreError once the file was
    // deleted, moved or replaced since it was opened (noticed within a moment: see the .cpp); nothing is
    // read from or written to the old file then, until the connection is made again.
    void ensureConnected();
    const QString &fileName() const { return m_file; }
    // How much the database holds, in bytes: the file's size, or on a server what its tables take there.
    qint64 storedBytes();

    // Makes a new, empty database file keyed with the password and runs the statements (plain SQLite) in
    // one transaction. Refuses a file that exists already; leaves no file behind when it fails.
    static void createDatabase(const QString &path, const QString &password, const QStringList &statements);
    // Creates the tables on a server (the URI or a link file names it) in one transaction. Refuses a
    // database that holds any of them already.
    static void createServerTables(const QString &target, const QStringList &statements,
                                   const QStringList &tables);
    // The server a text names: a postgresql:// URI, or a file whose first line is one; empty for anything
    // else. Refuses a link that holds a password.
    static QString serverOf(const QString &target);
    // Whether a server can hold the text exactly. A server's text has no character 0, which a scrambled
    // password holds for each ">": it keeps the character 0 as U+FFFF, a character the program never
    // writes, and so takes no text that holds U+FFFF itself.
    static bool serverCanHold(const QString &text) { return !text.contains(QChar(0xFFFF)); }
    // After rows stored with their own ids: the table's next id follows the highest one stored. A file's
    // counter does so by itself; a server's sequence stays where it was and would hand out taken ids.
    void continueIds(const QString &table);
    // Creates the tables on this connection's server inside the transaction that is open, so that they
    // go with the rows stored after them or not at all. Refuses a database that holds any of them already.
    void createTablesHere(const QStringList &statements, const QStringList &tables);
    // Drops those tables again, after an init that failed half-way; nothing when there is no server.
    static void dropServerTables(const QString &target, const QStringList &tables) noexcept;

    // A write transaction that takes the write lock at once (waiting for other programs like every write)
    // and rolls back unless committed. Opened inside another one, it is a savepoint of the outer one.
    // Rolling back also takes back what record sets on the connection showed of it, so that they show
    // what the file holds again without reading it (a failing disk may not let them).
    class Transaction
    {
    public:
        Transaction(Connection &connection, const QString &context);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void commit();

    private:
        Connection &m_connection;
        QString m_context;
        size_t m_mark = 0; // the snapshot changes made before it began
        bool m_open = true;
        bool m_nested = false;
    };

    // Reads that belong together (the three tables of a copy, an export or a check) see the database as it
    // was at one moment: another program's change made between two of them would give a state that never
    // existed. On a server a read-only REPEATABLE READ transaction, on a file one read transaction (its
    // shared lock keeps writers out until it ends). Inside another transaction it adds nothing.
    class ReadTransaction
    {
    public:
        explicit ReadTransaction(Connection &connection);
        ~ReadTransaction();
        ReadTransaction(const ReadTransaction &) = delete;
        ReadTransaction &operator=(const ReadTransaction &) = delete;

    private:
        Connection &m_connection;
        bool m_open = false;
    };

    // Runs a statement of the program's dialect; rows it returns are read and dropped. Returns the number of
    // rows the statement changed: 0 for a query.
    int execute(const QString &statement);

    // --- used by record sets ---
    sqlite3 *handle() const { return m_db.get(); }
    pg::Session &server() const { return *m_server; }
    // How a statement names a table row's key: SQLite's rowid, or the server table's primary key.
    QString keyColumn(const QString &table);
    // How the store's own statements name a table: on a server with its schema.
    QString tableName(const QString &table) const;
    // On a server the schema of the program's tables and functions; empty for a file.
    QString serverSchema() const;
    TranslatedSql translate(const QString &statement);
    // A prepared statement for the SQLite text, from the cache; stays owned by the connection. The store's
    // own code runs it through a Statement, which also resets it after use.
    sqlite3_stmt *prepare(const QString &sql);
    // What record sets learnt of their statements' result columns; forgotten when the connection closes.
    FieldCatalog &fieldCatalog() { return *m_fieldCatalog; }
    const std::vector<ColumnInfo> &columns(const QString &table);
    bool isTextColumn(const QString &column);
    void attach(RecordSet *set);
    void detach(RecordSet *set);
    // Kept only while a transaction is open, for its rollback; a set forgets its own when it closes.
    void noteSnapshotChange(SnapshotChange change);
    void forgetSnapshotChanges(RecordSet *set) noexcept;
    // Raises the German error for a failed SQLite call; one that was to write says that nothing was stored.
    // SQLite's own words are those of the connection's last error unless given.
    [[noreturn]] void raise(int rc, const QString &context = QString(), bool writing = false,
                            const char *message = nullptr) const;
    // Steps a statement that writes and returns no rows; raises on failure.
    void stepDone(sqlite3_stmt *stmt, const QString &context = QString());

signals:
    void connected();
    void disconnected();

private:
    void loadSchema();
    // Whether the path names another file than the one opened, or none.
    bool fileMoved() const;
    QString describe(int rc, bool writing, const char *message) const;
    void undoSnapshotChanges(size_t mark) noexcept;

    QString m_connectionString;
    QString m_provider = QString::fromLatin1(kJetProvider);
    bool m_loginPrompt = false;
    QString m_file;
    // The file as it was opened, to notice when the path names another one.
    QByteArray m_nativePath;
    quint64 m_fileDevice = 0;
    quint64 m_fileInode = 0;
    mutable std::chrono::steady_clock::time_point m_fileChecked; // when the path last named that file
    DbPtr m_db;
    std::unique_ptr<pg::Session> m_server;
    std::vector<RecordSet *> m_sets;
    int m_transactions = 0; // open Transaction and ReadTransaction objects
    std::vector<SnapshotChange> m_changes;

    // Prepared statements, most recently used first; bounded so that a long session cannot grow it.
    struct PreparedEntry
    {
        QString sql;
        StmtPtr stmt;
    };
    std::list<PreparedEntry> m_cache;
    QHash<QString, std::list<PreparedEntry>::iterator> m_cacheIndex;
    // Translations by statement shape: the group tree sends one statement per node that differ only in
    // their literals.
    struct CachedTranslation
    {
        TranslatedSql::Kind kind;
        QString sql;
    };
    QHash<QString, CachedTranslation> m_translations;

    std::unique_ptr<FieldCatalog> m_fieldCatalog;

    QHash<QString, std::vector<ColumnInfo>> m_tables; // by lower-case table name
    QHash<QString, bool> m_textColumns;               // by lower-case column name
    QHash<QString, QString> m_serverNames; // on a server: each table's and column's name, by lower case
    QSet<QString> m_serverTables;          // and which of them are tables
    QString m_linkFile;                    // the link file that named the server, if one did
    bool m_schemaLoaded = false;
};

} // namespace store
