#include "PgBackend.h"

#include "Connection.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "StoreError.h"

#include <QFile>

namespace store {

namespace {

void refuseExistingTables(pg::Session &server, const QStringList &tables)
{
    const pg::ResultPtr found =
        server.exec(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = $2 "
                                   "AND lower(table_name) = ANY (string_to_array(lower($1), ','))"),
                    {tables.join(u','), server.schema()});
    if (QByteArray(PQgetvalue(found.get(), 0, 0)).toInt() > 0)
        throw StoreError(
            QStringLiteral("Die Datenbank %1 enthält schon Tabellen der Sicherheitsdatenbank; sie "
                           "wird nicht überschrieben.")
                .arg(quoted(server.server())));
}

// The statements name no schema: they make everything in the session's own. Functions of the server itself
// come first (pg_catalog is searched before the path), and the rest of the transaction goes back to the
// path no other role can write to.
void createInSchema(pg::Session &server, const QStringList &statements)
{
    server.exec(QStringLiteral("SET LOCAL search_path = %1").arg(quotedServerName(server.schema())), {});
    for (const QString &s : statements)
        server.exec(s, {}, true);
    server.exec(QStringLiteral("SET LOCAL search_path = %1").arg(QLatin1String(pg::kSearchPath)), {});
}
} // namespace

PgBackend::PgBackend(const QString &uri, const QString &link)
    : m_linkFile(link), m_nativePath(QFile::encodeName(link))
{
    // The connection string's password is the file's key; a server takes its own from libpq's places.
    m_session.connect(uri);
    // A link file fixes the target as it is now: a reconnect goes there, and a file changed meanwhile is
    // refused as a replaced database file is.
    if (!m_linkFile.isEmpty())
        m_linkId = fileIdOf(m_nativePath);
    m_fileChecked = std::chrono::steady_clock::now();
}

bool PgBackend::linkMoved() const
{
    return !isSameFile(m_nativePath, m_linkId);
}

void PgBackend::checkStillThere(bool inTransaction)
{
    // A connection the server dropped (a restart, a network failure) is made again for the next step; the
    // sets keep what they showed. A link file that names another target now, or was replaced, is refused
    // as a replaced database file is (looked at once a moment has passed, as a file is), and always
    // before a reconnect.
    const auto now = std::chrono::steady_clock::now();
    const bool lost = !inTransaction && !m_session.stillThere();
    if (!m_linkFile.isEmpty() && (lost || now - m_fileChecked >= kFileRecheck)) {
        if (linkMoved() || Connection::serverOf(m_linkFile) != m_session.uri())
            throw StoreError(movedMessage(m_linkFile));
        m_fileChecked = now;
    }
    // The first step after the server ended an idle session works too: the end is noticed before anything
    // is sent.
    if (lost)
        m_session.reconnect();
}

qint64 PgBackend::storedBytes()
{
    const pg::ResultPtr size = m_session.exec(
        QStringLiteral("SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0)::bigint FROM pg_class c "
                       "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind = 'r' AND "
                       "n.nspname = $1"),
        {m_session.schema()});
    return PQntuples(size.get()) > 0 ? QByteArray(PQgetvalue(size.get(), 0, 0)).toLongLong() : 0;
}

std::unique_ptr<Cursor> PgBackend::prepare(const QString &sql, const QString &context)
{
    return makePgCursor(m_session, sql, context);
}

bool PgBackend::inTransaction()
{
    return PQtransactionStatus(m_session.handle()) != PQTRANS_IDLE;
}

void PgBackend::begin(Begin kind, const QString &)
{
    switch (kind) {
    case Begin::Write:
        return m_session.beginWriting();
    case Begin::Read:
        m_session.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {});
        return;
    case Begin::Savepoint:
        m_session.exec(QStringLiteral("SAVEPOINT nested"), {});
        return;
    }
}

void PgBackend::commit(bool savepoint, const QString &context)
{
    // After a failed statement the server keeps the transaction only to roll it back: a commit then stores
    // nothing.
    if (PQtransactionStatus(m_session.handle()) != PQTRANS_INTRANS)
        throw StoreError(QStringLiteral("Die Änderungen an der Datenbank %1 wurden nach einem Fehler "
                                        "verworfen und nicht gespeichert. %2")
                             .arg(quoted(m_session.server()), context));
    try {
        m_session.exec(savepoint ? QStringLiteral("RELEASE nested") : QStringLiteral("COMMIT"), {}, true);
    } catch (const StoreError &) {
        if (savepoint || m_session.isConnected())
            throw;
        // The server may have stored it before its answer was lost.
        throw StoreError(QStringLiteral("Die Verbindung zum Datenbankserver %1 ist beim Speichern "
                                        "abgebrochen; ob die Änderung gespeichert wurde, ist ungewiss. "
                                        "Beim nächsten Schritt wird sie wieder aufgebaut; bitte dann "
                                        "prüfen, was gespeichert ist. %2")
                             .arg(quoted(m_session.server()), context)
                             .trimmed());
    }
}

void PgBackend::rollback(bool savepoint) noexcept
{
    // A lost connection has rolled back on the server already.
    PGconn *conn = m_session.handle();
    if (conn && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_IDLE)
        m_session.execUnchecked(savepoint ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK");
}

QStringList PgBackend::tables()
{
    const pg::ResultPtr list = m_session.exec(
        QStringLiteral("SELECT c.relname::text FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON "
                       "n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relkind IN ('r', 'p', 'v') AND %1")
            .arg(pg::trustedOwner(QStringLiteral("c.relowner"))),
        {m_session.schema()});
    QStringList found;
    for (int r = 0; r < PQntuples(list.get()); ++r)
        found << QString::fromUtf8(PQgetvalue(list.get(), r, 0));
    return found;
}

std::vector<ColumnInfo> PgBackend::columns(const QString &table)
{
    const pg::ResultPtr info = m_session.exec(
        QStringLiteral("SELECT a.attname::text, format_type(a.atttypid, a.atttypmod), "
                       "coalesce(i.indisprimary, false), a.atthasdef OR a.attidentity <> '' "
                       "FROM pg_attribute a "
                       "JOIN pg_class c ON c.oid = a.attrelid "
                       "JOIN pg_namespace n ON n.oid = c.relnamespace AND n.nspname = $1 "
                       "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
                       "AND a.attnum = ANY (i.indkey) "
                       "WHERE c.oid = (SELECT t.oid FROM pg_class t WHERE t.relnamespace = n.oid "
                       "AND lower(t.relname) = lower($2) AND t.relkind IN ('r', 'p', 'v') AND %1 "
                       "ORDER BY t.relname = $2 DESC LIMIT 1) "
                       "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum")
            .arg(pg::trustedOwner(QStringLiteral("t.relowner"))),
        {m_session.schema(), table});
    std::vector<ColumnInfo> found;
    for (int r = 0; r < PQntuples(info.get()); ++r)
        found.push_back(ColumnInfo{
            QString::fromUtf8(PQgetvalue(info.get(), r, 0)), QString::fromUtf8(PQgetvalue(info.get(), r, 1)),
            PQgetvalue(info.get(), r, 2)[0] == 't', PQgetvalue(info.get(), r, 3)[0] == 't'});
    return found;
}

bool PgBackend::hasTriggers(const QString &table)
{
    const pg::ResultPtr found = m_session.exec(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_trigger WHERE tgrelid = $1::regclass AND NOT "
                       "tgisinternal) OR EXISTS (SELECT 1 FROM pg_rewrite WHERE ev_class = $1::regclass AND "
                       "rulename <> '_RETURN')"),
        {m_session.qualified(table)});
    return PQgetvalue(found.get(), 0, 0)[0] == 't';
}

QString PgBackend::keyColumn(const QString &table, const std::vector<ColumnInfo> &columns) const
{
    if (const QString key = primaryKeyOf(columns); !key.isEmpty())
        return quotedName(key);
    if (columns.empty())
        throw StoreError(pg::noSecurityTablesMessage(m_session.server()));
    throw StoreError(QStringLiteral("Die Tabelle %1 hat auf dem Datenbankserver %2 keinen Primärschlüssel.")
                         .arg(quoted(table), quoted(m_session.server())));
}

void PgBackend::createTables(const QStringList &statements, const QStringList &tables)
{
    refuseExistingTables(m_session, tables);
    createInSchema(m_session, statements);
}

void PgBackend::continueIds(const QString &table, const std::vector<ColumnInfo> &columns)
{
    const QString id = primaryKeyOf(columns);
    const pg::ResultPtr set = m_session.exec(
        QStringLiteral(
            "SELECT setval(pg_get_serial_sequence($1, $2), coalesce(max(%1), 0) + 1, false) FROM %2")
            .arg(quotedServerName(id), m_session.qualified(table)),
        {m_session.qualified(table), id}, true);
    if (PQgetisnull(set.get(), 0, 0))
        throw StoreError(
            QStringLiteral("Die Tabelle %1 auf dem Datenbankserver %2 vergibt ihre Nummern nicht "
                           "selbst.")
                .arg(quoted(table), quoted(m_session.server())));
}

void PgBackend::createTablesOn(const QString &uri, const QStringList &statements, const QStringList &tables)
{
    pg::Session server;
    server.connect(uri);
    refuseExistingTables(server, tables);
    server.exec(QStringLiteral("BEGIN"), {});
    try {
        createInSchema(server, statements);
        server.exec(QStringLiteral("COMMIT"), {}, true);
    } catch (...) {
        if (server.isConnected())
            server.execUnchecked("ROLLBACK");
        throw;
    }
}

void PgBackend::dropTablesOn(const QString &uri, const QStringList &tables) noexcept
{
    try {
        pg::Session server;
        server.connect(uri);
        for (const QString &table : tables)
            server.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(server.qualified(table)), {}, true);
    } catch (const std::exception &) {
        // What stays is told by the failure that led here.
    }
}

QString PgBackend::backupRefusal() const
{
    // A copy of a server database beside a file would hold every password outside the server's care.
    return QStringLiteral("Die Datenbank %1 liegt auf einem Datenbankserver: sie wird mit dessen Werkzeugen "
                          "gesichert (pg_dump), nicht als Datei; es wurde nichts geändert.")
        .arg(quoted(m_session.server()));
}

void PgBackend::backupTo(const QString &, const QString &)
{
    throw StoreError(backupRefusal());
}

pg::Session &pgSession(const Connection &connection)
{
    auto *server = dynamic_cast<PgBackend *>(&connection.plumbing().backend());
    if (!server)
        throw StoreError(QStringLiteral("Die Verbindung führt zu keinem Datenbankserver."));
    return server->session();
}

} // namespace store
