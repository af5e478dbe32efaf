#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

namespace store {

class Plumbing;
class WriteObserver;

// A connection to one security database: a database file (an SQLCipher database keyed with the database
// password) or a database on a PostgreSQL server, named by a link file (a text file whose first line is a
// postgresql:// URI) or by the URI itself. Which one it is changes nothing above the store.
//
// Connect opens an existing database and never creates one; each post and statement is stored durably when
// the call returns, and a lock held by another program is waited for a few seconds before it is reported.
// Disconnect closes every record set on the connection.
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    void setConnectionString(const QString &text) { m_connectionString = text; }
    const QString &connectionString() const { return m_connectionString; }

    // Throws StoreError naming the database when it cannot be opened; a failed connect leaves the database
    // as it was and the connection not connected.
    void connect();
    void disconnect() noexcept;
    bool isConnected() const;
    bool isServer() const;
    // Connects when not connected. When connected, refuses with a German StoreError once the file (or link
    // file) was deleted, moved or replaced since it was opened; nothing is read from or written to the old
    // one then, until the connection is made again. A server connection the server dropped is made again.
    void ensureConnected();
    // How messages name the database: the file as given, or the server's database and host.
    const QString &fileName() const { return m_file; }
    // How much the database holds, in bytes: the file's size, or on a server what its tables take there.
    qint64 storedBytes();
    // How many times the connection has waited for a server's answer since it was made, over every
    // reconnect: each statement, prepare, transaction step and connection made. Always 0 on a file. For
    // measuring what an action costs across a network, not for the program's own decisions.
    quint64 roundTrips() const;
    // Whether the database has the table (in any letter case).
    bool hasTable(const QString &table);
    // On a server the schema of the program's tables and functions; empty for a file.
    QString serverSchema() const;

    // Makes a new, empty database file keyed with the password and runs the statements (plain SQLite) in
    // one transaction. Refuses a file that exists already; leaves no file behind when it fails.
    static void createDatabase(const QString &path, const QString &password, const QStringList &statements);
    // Creates the tables on a server (the URI or a link file names it) in one transaction. Refuses a
    // database that holds any of them already.
    static void createServerTables(const QString &target, const QStringList &statements,
                                   const QStringList &tables);
    // Drops those tables again, after an init that failed half-way; nothing when there is no server.
    static void dropServerTables(const QString &target, const QStringList &tables) noexcept;
    // The server a text names: a postgresql:// URI, or a file whose first line is one (in UTF-8, with or
    // without the byte order mark); empty for anything else. Refuses a link that holds a password.
    static QString serverOf(const QString &target);
    // Whether a server can hold the text exactly. A server's text has no character 0, which a scrambled
    // password holds for each ">": it keeps the character 0 as U+FFFF, a character the program never
    // writes, and so takes no text that holds U+FFFF itself.
    static bool serverCanHold(const QString &text) { return !text.contains(QChar(0xFFFF)); }
    // After rows stored with their own ids: the table's next id follows the highest one stored. A file's
    // counter does so by itself; a server's sequence stays where it was and would hand out taken ids.
    void continueIds(const QString &table);
    // Creates the tables in this connection's file or on its server inside a transaction of its own, or of
    // the one that is open, so that they go with the rows stored after them or not at all. The statements
    // are the back end's own (SQLite or PostgreSQL). Refuses a database that holds any of them already.
    void createTablesHere(const QStringList &statements, const QStringList &tables);

    // A write transaction that takes the write lock at once (waiting for other programs like every write)
    // and rolls back unless committed. Opened inside another one, it is a savepoint of the outer one.
    // Rolling back also takes back what record sets on the connection showed of it, so that they show
    // what the database holds again without reading it (a failing disk may not let them).
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
        std::size_t m_mark = 0; // the snapshot changes made before it began
        int m_depth = 0;        // the transactions open when it began
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
    // Adds the rows to the table, a value for each of the columns in their order (an invalid or null one
    // leaves the column to the database), all or none, told to the write observer: on a server in a few
    // statements, not one for each row. Returns the rows added.
    int insertRows(const QString &table, const QStringList &columns,
                   const std::vector<std::vector<QVariant>> &rows);

    // Who is told of every row written through this connection, inside the write's transaction (see
    // WriteObserver.h); null for nobody. The connection keeps it while it is set.
    void setWriteObserver(std::shared_ptr<WriteObserver> observer);
    WriteObserver *writeObserver() const;

    // While it lives, writes through the connection are not told to the observer: for a caller that
    // records them itself, as one (a table an import replaced whole).
    class Unobserved
    {
    public:
        explicit Unobserved(Connection &connection);
        ~Unobserved();
        Unobserved(const Unobserved &) = delete;
        Unobserved &operator=(const Unobserved &) = delete;

    private:
        Connection &m_connection;
    };

    // The store's insides (the back end, its caches, the record sets): see internal/Plumbing.h.
    Plumbing &plumbing() const { return *m_plumbing; }

signals:
    void connected();

private:
    QString m_connectionString;
    QString m_file;
    std::unique_ptr<Plumbing> m_plumbing;
};

} // namespace store
