#pragma once

// The server database's client library (libpq) held by RAII, and its failures in the German words the
// user reads. Only the store sees libpq; the layers above reach the server through the store.

#include <libpq-fe.h>

#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>
#include <vector>

namespace store::pg {

// Type numbers of the server's built-in types (pg_type.oid), fixed since long.
inline constexpr Oid kBool = 16;
inline constexpr Oid kInt8 = 20;
inline constexpr Oid kInt2 = 21;
inline constexpr Oid kInt4 = 23;
inline constexpr Oid kOid = 26;
inline constexpr Oid kFloat4 = 700;
inline constexpr Oid kFloat8 = 701;
inline constexpr Oid kVarchar = 1043;
inline constexpr Oid kBpchar = 1042;
inline constexpr Oid kNumeric = 1700;

// How a server keeps the character 0 (see Connection::serverCanHold).
inline constexpr QChar kZeroOnServer(0xFFFF);
inline constexpr QByteArrayView kZeroOnServerUtf8("\xEF\xBF\xBF");

struct ConnDeleter
{
    void operator()(PGconn *conn) const noexcept { PQfinish(conn); }
};
struct ResultDeleter
{
    void operator()(PGresult *result) const noexcept { PQclear(result); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// Begins a transaction with the database's write lock, in one round trip. One lock for every program on
// the database; the server lets it go when the transaction ends, whichever way. The number is arbitrary
// but fixed: it names the write lock of the security database.
inline constexpr const char *kBeginWriting = "BEGIN; SELECT pg_advisory_xact_lock(7306086514620131)";

// What is known of one failed call to the server.
struct Failure
{
    QString server;        // as the messages name it: host and database
    QString sqlState;      // the server's five-character code; empty when the server never answered
    QString serverMessage; // the server's or libpq's own words
    QString role;          // the role the session logged in as
    bool connectionLost = false;
    bool writing = false;    // the call was to store a change
    bool connecting = false; // the call was to log on
};

QString describe(const Failure &failure);

// How a connection URI names its server in messages: "datenbank auf host", as libpq reads the URI (a
// host= parameter wins over the authority), the password never shown.
QString serverName(const QString &uri);

// A database that holds none of the program's tables, and how to make them.
QString noSecurityTablesMessage(const QString &server);

// The search path of every session: only schemas no other role can write, so that no function or operator
// of another role can stand in for one of the server's own. The program's tables and functions are named
// with their schema.
inline constexpr const char *kSearchPath = "pg_catalog, pg_temp";

// An SQL condition: the role whose oid `owner` (an expression) names may be trusted with the program's
// tables and functions, being the session's own role, the database's owner or a superuser. A schema or
// table of any other role could stand in for the program's own. Under the session's search path only.
QString trustedOwner(const QString &owner);

// One connection to a server database. Every statement goes with its values bound as parameters, never
// glued into the text. Each failure raises a StoreError in German.
class Session
{
public:
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session();

    // Connects to the server the URI names. libpq looks for the password in its own places (the password
    // file, PGPASSWORD); where it finds none, or the server refuses it, the user is asked (see
    // ServerPassword.h) and the answer kept for reconnecting. It goes beside the URI, never into it.
    // The first connect fixes the target: the URI, and the schema that is current there then (the one
    // the program's tables live in). A session connected once connects to no other URI.
    void connect(const QString &uri);
    // Makes the connection again to the target fixed by the first connect, with the password typed then.
    void reconnect();
    void close() noexcept;
    bool isConnected() const;
    // Outside a transaction: whether the server still holds the session. Reads what the server sent
    // meanwhile (the notice that it ended an idle session), so that the connection is made again before
    // a statement is sent instead of the statement failing.
    bool stillThere();
    const QString &server() const { return m_server; }
    const QString &uri() const { return m_uri; }
    // The schema of the program's tables and functions, and a name in it as it stands in a statement.
    const QString &schema() const { return m_schema; }
    QString qualified(const QString &name) const;

    // Runs one statement with its values ($1, $2, ...): null for an invalid or null QVariant, truth values
    // as true/false, everything else as its text. Returns the result of a query or a command.
    ResultPtr exec(const QString &sql, const std::vector<QVariant> &params, bool writing = false);

    // Runs a statement without values whose answer nobody reads (a rollback, a savepoint let go); its
    // failure shows in the transaction's state.
    void execUnchecked(const char *sql) noexcept;

    // Every wait for the server's answer: each statement, prepare, transaction step, and each exchange of
    // a connection being made. Kept over reconnects.
    quint64 roundTrips() const { return m_roundTrips; }

    // Begins a transaction that holds the database's write lock from its start, as a file's does: changes
    // of two administrators follow one another, and what one checked stays so until it commits. Waits for
    // the lock as long as for any other (lock_timeout), then raises the lock's message.
    void beginWriting();

    PGconn *handle() const { return m_conn.get(); }

private:
    [[noreturn]] void raise(const PGresult *result, bool writing);

    ConnPtr attempt(const QString &uri, const QString &password);
    void requireUtf8(PGconn *conn) const;
    ResultPtr runPrepared(const QByteArray &name, const QByteArray &sql,
                          const std::vector<const char *> &values);
    void wipePassword() noexcept;

    QByteArray prepared(const QByteArray &sql, const std::vector<Oid> &types, bool writing);
    void forget(const QByteArray &sql, const std::vector<Oid> &types);
    static QByteArray preparedKey(const QByteArray &sql, const std::vector<Oid> &types);

    ConnPtr m_conn;
    QString m_server;
    QString m_uri;                            // the target, fixed by the first connect
    QString m_schema;                         // fixed with it
    QHash<QByteArray, QByteArray> m_prepared; // statement and value types -> the server's name for it
    // Prepared statements that ran in the transaction now open: the tables they read stay locked as
    // they were until it ends, so their results keep their form.
    QSet<QByteArray> m_checkedInTransaction;
    quint64 m_preparedCount = 0;
    quint64 m_roundTrips = 0;
    QString m_password; // what the user typed, for this session only
    // libpq may still call a connection good after the server went away under a statement.
    bool m_lost = false;
};

} // namespace store::pg
