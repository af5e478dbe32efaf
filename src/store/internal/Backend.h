#pragma once

// What a back end of the store does: a database file through SQLite (sqlite/) or a database on a
// PostgreSQL server through libpq (pg/). The connection, its statements and its record sets talk to a
// back end only through this interface and ask it what differs (the capabilities below); none of them
// knows which back end it has.
//
// Invariants:
// - A back end is open from the moment its factory returns until it is destroyed: there is no closed
//   state; the connection drops it to disconnect.
// - A cursor belongs to the back end that made it and never outlives it (the connection closes its record
//   sets and statements before it drops the back end).
// - Every failure a user or a file can cause is raised as a German StoreError naming the cause, and a
//   failure while writing says that nothing was stored. What the store itself must get right (a column read
//   only on a row, transactions ended in the order begun) is asserted, not raised.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <vector>

namespace store {

// What the store knows of one column of a table.
struct ColumnInfo
{
    QString name;
    QString declaredType;
    bool primaryKey = false;
    // The database fills it when an insert leaves it out (a default, a server's identity).
    bool hasDefault = false;
};

// The name of a table's key column; empty for a table without one.
inline QString primaryKeyOf(const std::vector<ColumnInfo> &columns)
{
    for (const ColumnInfo &c : columns) {
        if (c.primaryKey)
            return c.name;
    }
    return QString();
}

// How long a change waits for another program's lock before it gives up with a message; the same on a
// file and on a server.
constexpr int kBusyTimeoutMs = 5000;

// What one statement of many rows carries at most: a server takes no more than 65,535 values in one
// statement, the file's library no more than 999. Across a network every statement waits a round trip, so
// a server gets as many rows at once as its limit allows, up to ten thousand (a few megabytes).
constexpr int kMostBoundValues = 65535;
constexpr int kMostFileBoundValues = 999;
constexpr int kMostRowsAtOnce = 10000;

// The rows of `columns` values each that one such statement carries.
inline int rowsAtOnce(qsizetype columns, bool server = true)
{
    const qsizetype values = server ? kMostBoundValues : kMostFileBoundValues;
    return columns <= 0 ? 1 : static_cast<int>(std::clamp<qsizetype>(values / columns, 1, kMostRowsAtOnce));
}

// The form a value of a result row comes in.
enum class CellType
{
    Null,
    Integer, // whole numbers and truth values
    Real,
    Text
};

// One run of a prepared statement: its values bound, its rows read one after the other. Made by
// Backend::prepare; the store's code reaches it through a Statement.
class Cursor
{
public:
    virtual ~Cursor() = default;

    // Whether the statement writes; a read that belongs to a write is set so with setPartOfWrite, so that
    // its failure too says that nothing was stored.
    virtual bool writes() const = 0;
    virtual void setPartOfWrite() = 0;

    virtual void bind(int index, const QVariant &value) = 0; // from 1
    // Runs the statement at the first call; then moves to the next row. False when there is none.
    virtual bool step() = 0;
    virtual bool tryStep() noexcept = 0;
    // Rows the statement changed once it is done; 0 for a query.
    virtual int changed() const = 0;
    // The key of the row an insert made.
    virtual qint64 insertedKey() const = 0;

    // Columns of the current row; 0 when the cursor stands on none.
    virtual int rowColumns() const = 0;
    virtual CellType type(int column) const = 0;
    virtual qint64 int64(int column) const = 0;
    virtual double real(int column) const = 0;
    // Valid until the next step or read of another form.
    virtual QByteArrayView utf8(int column) const = 0;

    // The result's shape, known with a row or without.
    virtual int columnCount() const = 0;
    virtual const char *columnName(int column) const = 0;
    // As a table declares it: "INTEGER", "BOOLEAN", "VARCHAR(20)", "TEXT", "DOUBLE".
    virtual QString declaredType(int column) const = 0;

    // Raises the German error for a column asked of a row that has none, or past the last column.
    [[noreturn]] virtual void refuseColumn(int column) const = 0;

    // Lets go of the values bound and the rows read, so that the statement can run again with new values.
    virtual void reset() noexcept = 0;
};

class Backend
{
public:
    virtual ~Backend() = default;

    // --- the database ---
    // How messages name it: the file as given, or the server's database and host.
    virtual QString name() const = 0;
    virtual bool isServer() const = 0;
    // Before each use: refuses a file (or link file) that was moved or replaced since it was opened, and
    // makes a server connection again that the server dropped while no transaction was open.
    virtual void checkStillThere(bool inTransaction) = 0;
    virtual qint64 storedBytes() = 0;
    // Message exchanges with a server since the back end was made (each statement, prepare, transaction
    // step and connection made); 0 where nothing travels.
    virtual quint64 roundTrips() const { return 0; }

    // --- statements ---
    // The text is SQLite's dialect with ? for each value; `context` follows every message of its failures.
    virtual std::unique_ptr<Cursor> prepare(const QString &sql, const QString &context) = 0;
    // An insert of `rows` rows into the table, their values bound by position to the columns (both as the
    // database names them), row after row. The text is the back end's own, made here and prepared once:
    // the cursor owns its statement, and runs again after reset() with nothing translated or looked up.
    virtual std::unique_ptr<Cursor> prepareInsert(const QString &table, const QStringList &columns, int rows,
                                                  const QString &context) = 0;
    // A file takes its write lock for a change sent outside a transaction by itself; a server must be
    // given it, so that the change never comes between another program's check and its write.
    virtual bool writeTakesLock() const = 0;

    // --- transactions ---
    enum class Begin
    {
        Write,     // takes the database's write lock at once
        Read,      // one moment of the database for several reads
        Savepoint, // inside the transaction that is open
    };
    virtual bool inTransaction() = 0;
    virtual void begin(Begin kind, const QString &context) = 0;
    // A savepoint is released, an outer transaction committed; refuses a transaction the back end ended
    // by itself after an error, which would store nothing.
    virtual void commit(bool savepoint, const QString &context) = 0;
    virtual void rollback(bool savepoint) noexcept = 0;

    // --- the tables ---
    virtual QStringList tables() = 0;
    virtual std::vector<ColumnInfo> columns(const QString &table) = 0;
    // Whether the database runs anything of its own when a row of the table is written (a trigger, on a
    // server also a rule): what it stores may then differ from what was sent.
    virtual bool hasTriggers(const QString &table) = 0;
    // How a statement names a table and its rows' key.
    virtual QString tableName(const QString &table) const = 0;
    virtual QString keyColumn(const QString &table, const std::vector<ColumnInfo> &columns) const = 0;
    // Appended to an insert so that it hands back its key (empty where the back end tells it by itself).
    virtual QString returningKey(const QString &key) const = 0;
    // Appended to a read of a row about to be changed, to keep it as read until the commit.
    virtual QString lockingRead() const = 0;
    // How the program's statements compare and sort text: false for the collation registered on the
    // connection, true for the server's functions, named with the schema (see JetSql.h).
    virtual bool comparesThroughServerFunctions() const = 0;
    // The schema of the program's tables and functions; empty for a file.
    virtual QString schema() const = 0;

    // --- setting up and loading tables ---
    virtual void createTables(const QStringList &statements, const QStringList &tables) = 0;
    // After rows stored with their own ids: the next id follows the highest one stored.
    virtual void continueIds(const QString &table, const std::vector<ColumnInfo> &columns) = 0;
    // Rows one insert statement carries: a server answers each statement across the network.
    virtual int rowsPerInsert() const = 0;
    // Before many rows go in: drops the tables' indexes (inside the transaction that is open) and returns
    // the statements that make them again; a file takes rows twice as fast without them.
    virtual QStringList dropIndexes(const QStringList &tables) = 0;
    // While many rows go in, a file keeps a large page cache: a million rows and their indexes would
    // otherwise push pages out of the small default one and read them again, each decrypted anew.
    virtual void setBulkLoading(bool on) = 0;
    // Copies the database into a new file keyed with the password (see Backup.h); where the back end
    // cannot, backupRefusal() says why and backupTo raises it.
    virtual QString backupRefusal() const = 0;
    virtual void backupTo(const QString &target, const QString &password) = 0;
};

// Opens the back end the connection string's target names: a server for a postgresql:// URI or a link
// file (a text file whose first line is one), else a database file keyed with the password.
std::unique_ptr<Backend> openBackend(const QString &target, const QString &password);

// The words both back ends use for the same failures.
QString movedMessage(const QString &file);
QString missingTableMessage(const QString &name);
QString missingFieldMessage(const QString &name);

} // namespace store
