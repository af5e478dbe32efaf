#include "Pg.h"
#include "PgErrors.h"

#include "Quoted.h"

#include "Backend.h"
#include "Connection.h"
#include "ServerPassword.h"
#include "StoreError.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QUrl>
#include <QUrlQuery>

#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace store::pg {

namespace {

Oid typeOf(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return kBool;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return kInt8;
    case QMetaType::Double:
        return kFloat8;
    default:
        return 0;
    }
}

QString stateOf(const PGresult *result)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return QString::fromLatin1(state ? state : "");
}

// How long libpq may wait for each server of the URI (its connect_timeout, at least 2 seconds as libpq
// takes it), in milliseconds; -1: as long as the system lets a connection try.
int connectTimeoutMs(PGconn *conn)
{
    int seconds = 0;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(conn), PQconninfoFree);
    for (const PQconninfoOption *o = options.get(); o && o->keyword; ++o) {
        if (o->val && std::strcmp(o->keyword, "connect_timeout") == 0)
            seconds = std::atoi(o->val);
    }
    return seconds > 0 ? std::max(seconds, 2) * 1000 : -1;
}

// Why a connection failed: the server's code and words where a server refused it (libpq's message, made
// verbose while connecting, holds the code), else libpq's own words.
Failure refusalOf(PGconn *conn)
{
    Failure f;
    const QString message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    static const QRegularExpression coded(QStringLiteral(":  ([0-9A-Z]{5}): +([^\n]*)"));
    if (const QRegularExpressionMatch m = coded.match(message); m.hasMatch()) {
        f.sqlState = m.captured(1);
        f.serverMessage = m.captured(2).trimmed();
    } else {
        f.serverMessage = message;
    }
    return f;
}

// Prepared statements a session keeps before it lets them all go and starts again.
constexpr qsizetype kMostPrepared = 512;

// Overwrites the bytes of a password before their memory goes back.
void wipe(QByteArray &bytes) noexcept
{
    std::fill(bytes.begin(), bytes.end(), '\0');
    bytes.clear();
}

} // namespace

// On any other encoding the server counts bytes for a field's length, folds case byte by byte or cannot
// hold every letter of Windows-1252: the same text would be refused or ordered otherwise than on a file.
void Session::requireUtf8(PGconn *conn) const
{
    const char *encoding = PQparameterStatus(conn, "server_encoding");
    if (encoding && std::strcmp(encoding, "UTF8") == 0)
        return;
    const QString database = QString::fromUtf8(PQdb(conn));
    throw StoreError(QStringLiteral("Die Datenbank %1 hat die Zeichenkodierung %2; eine Sicherheitsdatenbank "
                                    "braucht UTF8. Eine Datenbank mit UTF8 legt der Befehl "
                                    "\u201Ecreatedb -E UTF8 -T template0 %3\u201C an.")
                         .arg(quoted(m_server), QString::fromUtf8(encoding ? encoding : "?"), database));
}

ConnPtr Session::attempt(const QString &uri, const QString &password)
{
    const QByteArray dsn = uri.toUtf8();
    QByteArray pass = password.toUtf8();
    const auto wiped = qScopeGuard([&pass] { wipe(pass); });
    // The program's name shows in the server's list of sessions, so that a DBA sees who holds a lock.
    const char *keys[] = {"dbname", "password", "application_name", "client_encoding", nullptr};
    const char *values[] = {dsn.constData(), password.isEmpty() ? nullptr : pass.constData(), "sicherheit",
                            "UTF8", nullptr};
    ConnPtr conn(PQconnectStartParams(keys, values, 1));
    if (!conn)
        throw StoreError(QStringLiteral("Für die Verbindung zum Datenbankserver %1 fehlt der Speicher.")
                             .arg(quoted(m_server)));
    if (PQstatus(conn.get()) == CONNECTION_BAD)
        return conn;
    // The server refuses a logon in its own language; with its code in the message the refusal is known
    // whatever language that is.
    PQsetErrorVerbosity(conn.get(), PQERRORS_VERBOSE);
    const int timeout = connectTimeoutMs(conn.get());
    for (PostgresPollingStatusType state = PGRES_POLLING_WRITING;
         state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED;) {
        const short event = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
        if (event == POLLIN)
            ++m_roundTrips;
        pollfd waiting{PQsocket(conn.get()), event, 0};
        const int ready = ::poll(&waiting, 1, timeout);
        if (ready == 0)
            throw StoreError(QStringLiteral("Der Datenbankserver %1 ist nicht erreichbar (er antwortet nicht "
                                            "in der Zeit, die connect_timeout erlaubt).")
                                 .arg(quoted(m_server)));
        if (ready < 0 && errno != EINTR)
            break; // libpq tells what is wrong with the socket
        state = PQconnectPoll(conn.get());
    }
    return conn;
}

Session::~Session()
{
    close();
    wipePassword();
}

void Session::wipePassword() noexcept
{
    wipePasswordText(m_password);
}

QString Session::qualified(const QString &name) const
{
    return quotedServerName(m_schema) + u'.' + quotedServerName(name);
}

void Session::connect(const QString &uri)
{
    // A session goes to the server it first went to, and a password typed for it goes nowhere else.
    if (!m_uri.isEmpty() && uri != m_uri)
        throw StoreError(QStringLiteral("Die Verbindung zum Datenbankserver %1 lässt sich nicht auf einen "
                                        "anderen Server umstellen.")
                             .arg(quoted(m_server)));
    close();
    m_server = serverName(uri);
    if (const QString why = unreadable(uri, m_server); !why.isEmpty())
        throw StoreError(why);
    if (m_password.isEmpty())
        m_password = rememberedServerPassword(uri);
    ConnPtr conn = attempt(uri, m_password);
    const auto wantsPassword = [](PGconn *c) {
        return PQconnectionNeedsPassword(c) ||
               (PQconnectionUsedPassword(c) && refusalOf(c).sqlState == u"28P01");
    };
    int asked = 0;
    for (; PQstatus(conn.get()) != CONNECTION_OK && wantsPassword(conn.get()) && asked < 3 &&
           hasServerPasswordPrompt();
         ++asked) {
        std::optional<QString> typed = askServerPassword(promptName(conn.get()));
        if (!typed)
            throw StoreError(QStringLiteral("Die Anmeldung am Datenbankserver %1 wurde abgebrochen.")
                                 .arg(quoted(m_server)));
        forgetServerPassword(uri);
        wipePassword();
        m_password = std::move(*typed);
        conn = attempt(uri, m_password);
    }
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        Failure f = refusalOf(conn.get());
        f.server = m_server;
        f.role = QString::fromUtf8(PQuser(conn.get()));
        f.connecting = true;
        // libpq's own words then ("no password supplied"): the server has refused nothing yet.
        if (PQconnectionNeedsPassword(conn.get()) && asked == 0)
            throw StoreError(noPasswordFound(f));
        if (wantsPassword(conn.get()))
            f.sqlState = QStringLiteral("28P01");
        else if (f.sqlState.isEmpty() && !m_uri.isEmpty()) // the server went away during the session
            throw StoreError(lost(f));
        else if (f.sqlState.isEmpty()) // no server answered
            throw StoreError(unreachable(uri, f));
        throw StoreError(describe(f));
    }
    if (!m_password.isEmpty())
        rememberServerPassword(uri, m_password);
    requireUtf8(conn.get());
    PQsetErrorVerbosity(conn.get(), PQERRORS_DEFAULT);
    // The server's notices (a shutdown under way, say) are not the user's business: failures come as errors.
    PQsetNoticeProcessor(
        conn.get(), [](void *, const char *) {}, nullptr);
    m_conn = std::move(conn);
    m_lost = false;
    // The role's own search path, read before it is replaced, and with every name qualified: until then
    // a function of any role that may create in a schema on that path could stand in for the server's own.
    QByteArray rolePath;
    if (m_uri.isEmpty()) {
        const ResultPtr path =
            exec(QStringLiteral("SELECT pg_catalog.current_schemas(false)::pg_catalog.text"), {});
        rolePath = QByteArray(PQgetvalue(path.get(), 0, 0));
    }
    // Without a lock_timeout a change would wait for ever on a row another program holds.
    exec(QStringLiteral("SELECT pg_catalog.set_config('search_path', '%1', false), "
                        "pg_catalog.set_config('lock_timeout', '%2', false)")
             .arg(QLatin1String(kSearchPath))
             .arg(kBusyTimeoutMs),
         {});
    if (m_uri.isEmpty()) {
        // The first schema of the role's path that no stranger owns: where init made the tables and
        // functions. A schema another role made under this role's name ("$user") is passed over.
        const ResultPtr found = exec(
            QStringLiteral("SELECT p.name::text FROM unnest($1::name[]) WITH ORDINALITY AS p(name, place) "
                           "JOIN pg_namespace s ON s.nspname = p.name WHERE %1 ORDER BY p.place LIMIT 1")
                .arg(trustedOwner(QStringLiteral("s.nspowner"))),
            {QString::fromUtf8(rolePath)});
        if (PQntuples(found.get()) == 0) {
            close();
            throw StoreError(QStringLiteral("In der Datenbank %1 gibt es kein Schema für die Tabellen der "
                                            "Sicherheitsdatenbank (search_path der Rolle), das der Rolle "
                                            "selbst, dem Eigentümer der Datenbank oder einem Superuser "
                                            "gehört.")
                                 .arg(quoted(m_server)));
        }
        m_schema = QString::fromUtf8(PQgetvalue(found.get(), 0, 0));
        m_uri = uri;
    }
}

QString trustedOwner(const QString &owner)
{
    return QStringLiteral("(%1 = (SELECT oid FROM pg_roles WHERE rolname = current_user) "
                          "OR %1 = (SELECT datdba FROM pg_database WHERE datname = current_database()) "
                          "OR %1 = (SELECT oid FROM pg_roles WHERE rolname = 'pg_database_owner') "
                          "OR (SELECT rolsuper FROM pg_roles WHERE oid = %1))")
        .arg(owner);
}

void Session::reconnect()
{
    connect(m_uri);
}

bool Session::stillThere()
{
    if (!isConnected())
        return false;
    if (PQtransactionStatus(m_conn.get()) != PQTRANS_IDLE)
        return true;
    // The server says why it ends a session before it closes it; nothing else comes unasked. libpq
    // takes the words as a notice and sees the end at the next read.
    for (int reads = 0; reads < 3; ++reads) {
        pollfd waiting{PQsocket(m_conn.get()), POLLIN, 0};
        if (::poll(&waiting, 1, 0) <= 0)
            return true;
        if (!PQconsumeInput(m_conn.get()) || PQstatus(m_conn.get()) != CONNECTION_OK) {
            m_lost = true;
            return false;
        }
    }
    return true;
}

void Session::close() noexcept
{
    m_conn.reset();
    m_prepared.clear();
    m_checkedInTransaction.clear();
}

QByteArray Session::preparedKey(const QByteArray &sql, const std::vector<Oid> &types)
{
    return sql + QByteArray(reinterpret_cast<const char *>(types.data()),
                            static_cast<qsizetype>(types.size() * sizeof(Oid)));
}

// The server parses and plans a statement it has prepared once only, and the group tree sends the same one
// for each of its thousands of nodes. One for each text and each set of value types.
QByteArray Session::prepared(const QByteArray &sql, const std::vector<Oid> &types, bool writing)
{
    const QByteArray key = preparedKey(sql, types);
    if (const auto found = m_prepared.constFind(key); found != m_prepared.constEnd())
        return found.value();
    if (PQtransactionStatus(m_conn.get()) == PQTRANS_INERROR)
        return QByteArray(); // the server takes nothing new now; the statement tells why
    if (m_prepared.size() >= kMostPrepared) {
        execUnchecked("DEALLOCATE ALL");
        m_prepared.clear();
    }
    const QByteArray name = "sicherheit_" + QByteArray::number(++m_preparedCount);
    ++m_roundTrips;
    const ResultPtr made(PQprepare(m_conn.get(), name.constData(), sql.constData(),
                                   static_cast<int>(types.size()), types.data()));
    // Its failure is the statement's: the server would answer the same to it unprepared, and inside a
    // transaction it would tell only that the transaction has failed.
    if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK)
        raise(made.get(), writing);
    m_prepared.insert(key, name);
    return name;
}

void Session::forget(const QByteArray &sql, const std::vector<Oid> &types)
{
    const QByteArray name = m_prepared.take(preparedKey(sql, types));
    if (!name.isEmpty() && PQtransactionStatus(m_conn.get()) != PQTRANS_INERROR)
        execUnchecked(("DEALLOCATE " + name).constData());
}

bool Session::isConnected() const
{
    return m_conn && !m_lost && PQstatus(m_conn.get()) == CONNECTION_OK;
}

ResultPtr Session::exec(const QString &sql, const std::vector<QVariant> &params, bool writing)
{
    if (!m_conn)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    // Every transaction begins with a statement sent outside one.
    if (PQtransactionStatus(m_conn.get()) == PQTRANS_IDLE)
        m_checkedInTransaction.clear();
    std::vector<QByteArray> texts(params.size());
    std::vector<const char *> values(params.size(), nullptr);
    // Numbers and truth values go with their type, so that "-?" or "? + ?" has one meaning; a text goes
    // untyped and takes the type of what it is compared with or stored in.
    std::vector<Oid> types(params.size(), 0);
    for (size_t i = 0; i < params.size(); ++i) {
        const QVariant &v = params[i];
        if (!v.isValid() || v.isNull())
            continue;
        types[i] = typeOf(v);
        if (v.typeId() == QMetaType::QString) {
            QString text = v.toString();
            if (!Connection::serverCanHold(text))
                throw StoreError(
                    QStringLiteral("Ein Text enthält das Zeichen U+FFFF, das der Datenbankserver %1 nicht "
                                   "speichern kann%2.")
                        .arg(quoted(m_server), writing ? QStringLiteral("; ") + notStored() : QString()));
            texts[i] = text.replace(QChar(0), kZeroOnServer).toUtf8();
        } else {
            texts[i] = v.typeId() == QMetaType::Bool ? QByteArray(v.toBool() ? "true" : "false")
                                                     : v.toString().toUtf8();
        }
        values[i] = texts[i].constData();
    }
    const QByteArray text = sql.toUtf8();
    const int count = static_cast<int>(params.size());
    if (count == 0) {
        ++m_roundTrips;
        ResultPtr result(
            PQexecParams(m_conn.get(), text.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0));
        const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            raise(result.get(), writing);
        return result;
    }
    // None where the transaction has failed: the statement then runs unprepared, and the server says so.
    const QByteArray name = prepared(text, types, writing);
    if (name.isEmpty())
        ++m_roundTrips;
    ResultPtr result = name.isEmpty()
                           ? ResultPtr(PQexecParams(m_conn.get(), text.constData(), count, types.data(),
                                                    values.data(), nullptr, nullptr, 0))
                           : runPrepared(name, text, values);
    // A table changed since the statement was prepared (a field added): the server refuses the plan it
    // kept ("cached plan must not change result type"). Prepared afresh, it runs as the table is now;
    // where the refusal failed a transaction, the next one prepares it afresh.
    if (!name.isEmpty() && stateOf(result.get()) == u"0A000") {
        forget(text, types);
        if (PQtransactionStatus(m_conn.get()) != PQTRANS_INERROR)
            result = runPrepared(prepared(text, types, writing), text, values);
    }
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(result.get(), writing);
    return result;
}

// Inside a transaction a refused statement would fail the whole transaction: the first run there of a
// statement whose rows take the table's form ("*") stands behind a savepoint, so that it can be prepared
// again. The savepoint stays until the transaction ends, which saves a round trip. Later runs in the same
// transaction need none: the tables it read stay locked against changes until the end.
ResultPtr Session::runPrepared(const QByteArray &name, const QByteArray &sql,
                               const std::vector<const char *> &values)
{
    const int count = static_cast<int>(values.size());
    const bool guarded = PQtransactionStatus(m_conn.get()) == PQTRANS_INTRANS && sql.contains('*') &&
                         !m_checkedInTransaction.contains(name);
    if (guarded)
        execUnchecked("SAVEPOINT sicherheit_plan");
    ++m_roundTrips;
    ResultPtr result(
        PQexecPrepared(m_conn.get(), name.constData(), count, values.data(), nullptr, nullptr, 0));
    if (guarded && stateOf(result.get()) == u"0A000" && PQstatus(m_conn.get()) == CONNECTION_OK)
        execUnchecked("ROLLBACK TO SAVEPOINT sicherheit_plan");
    else if (guarded)
        m_checkedInTransaction.insert(name);
    return result;
}

void Session::execUnchecked(const char *sql) noexcept
{
    ++m_roundTrips;
    PQclear(PQexec(m_conn.get(), sql));
}

void Session::beginWriting()
{
    if (!m_conn)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    m_checkedInTransaction.clear();
    ++m_roundTrips;
    const ResultPtr result(PQexec(m_conn.get(), kBeginWriting));
    if (result && PQresultStatus(result.get()) == PGRES_TUPLES_OK)
        return;
    if (PQtransactionStatus(m_conn.get()) == PQTRANS_INERROR)
        execUnchecked("ROLLBACK");
    raise(result.get(), true);
}

void Session::raise(const PGresult *result, bool writing)
{
    Failure f;
    f.server = m_server;
    f.role = QString::fromUtf8(PQuser(m_conn.get()));
    f.writing = writing;
    f.sqlState = stateOf(result);
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    f.serverMessage = QString::fromUtf8(primary ? primary : PQerrorMessage(m_conn.get()));
    // A failure without the server's code never reached the server, or its answer never came back.
    f.connectionLost = PQstatus(m_conn.get()) != CONNECTION_OK || f.sqlState.isEmpty();
    // The server ended the session (shut down, or an administrator ended it): made again next time.
    m_lost = f.connectionLost || f.sqlState.startsWith(u"57P") || f.sqlState.startsWith(u"08");
    throw StoreError(describe(f));
}

} // namespace store::pg
