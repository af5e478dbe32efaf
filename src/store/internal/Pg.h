#pragma once

// The server database's client library (libpq) held by RAII, and its failures in the German words the
// user reads. Only the store sees libpq; the layers above reach the server through the store.

#include <libpq-fe.h>

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace store::pg {

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

// What is known of one failed call to the server.
struct Failure
{
    QString server;        // as the messages name it: host and database
    QString sqlState;      // the server's five-character code; empty when the server never answered
    QString serverMessage; // the server's or libpq's own words
    bool connectionLost = false;
    bool writing = false; // the call was to store a change
};

QString describe(const Failure &failure);

// How a connection URI names its server in messages: "datenbank auf host", the password never shown.
QString serverName(const QString &uri);

// One connection to a server database. Every statement goes with its values bound as parameters, never
// glued into the text. Each failure raises a StoreError in German.
class Session
{
public:
    // Connects to the server the URI names. Without a password libpq looks in its own places (the
    // password file, PGPASSWORD); a password given here is passed beside the URI, never inside it.
    void connect(const QString &uri, const QString &password = QString());
    void close() noexcept;
    bool isConnected() const;
    const QString &server() const { return m_server; }

    // Runs one statement with its values ($1, $2, ...): null for an invalid or null QVariant, truth values
    // as true/false, everything else as its text. Returns the result of a query or a command.
    ResultPtr exec(const QString &sql, const std::vector<QVariant> &params, bool writing = false);

    PGconn *handle() const { return m_conn.get(); }

private:
    [[noreturn]] void raise(const PGresult *result, bool writing) const;

    ConnPtr m_conn;
    QString m_server;
};

} // namespace store::pg
