#include "Pg.h"

#include "StoreError.h"

#include <QUrl>
#include <QUrlQuery>

namespace store::pg {

namespace {

QString notStored()
{
    return QStringLiteral("die Änderung wurde nicht gespeichert");
}

QString lost(const Failure &f)
{
    return QStringLiteral("Die Verbindung zum Datenbankserver %1 ist unterbrochen (%2)%3. Beim nächsten "
                          "Schritt wird sie wieder aufgebaut.")
        .arg(quoted(f.server), f.serverMessage.trimmed(),
             f.writing ? QStringLiteral("; ") + notStored() : QString());
}

} // namespace

QString describe(const Failure &f)
{
    if (f.connectionLost || f.sqlState.startsWith(u"08") || f.sqlState.startsWith(u"57P"))
        return lost(f);
    const QString server = quoted(f.server);
    const QString cls = f.sqlState.left(2);
    if (f.sqlState == u"28P01" || cls == u"28")
        return QStringLiteral("Der Datenbankserver %1 hat die Anmeldung abgelehnt (%2).")
            .arg(server, f.serverMessage.trimmed());
    if (f.sqlState == u"3D000")
        return QStringLiteral("Die Datenbank %1 gibt es auf dem Server nicht.").arg(server);
    if (f.sqlState == u"42P01")
        return QStringLiteral("Eine Tabelle der Anweisung gibt es in der Datenbank %1 nicht (%2).")
            .arg(server, f.serverMessage.trimmed());
    if (f.sqlState == u"42703")
        return QStringLiteral("Ein Feld der Anweisung gibt es in der Datenbank %1 nicht (%2).")
            .arg(server, f.serverMessage.trimmed());
    if (cls == u"42")
        return QStringLiteral("Syntaxfehler in der SQL-Anweisung (%1).").arg(f.serverMessage.trimmed());
    // Another administrator holds what this change needs, or the server had to choose between two.
    if (f.sqlState == u"55P03" || f.sqlState == u"40P01" || f.sqlState == u"40001")
        return QStringLiteral("Die Datenbank %1 ist von einem anderen Programm gesperrt. Bitte später noch "
                              "einmal versuchen%2.")
            .arg(server, f.writing ? QStringLiteral("; ") + notStored() : QString());
    if (f.sqlState == u"53100")
        return QStringLiteral("Kein Platz mehr auf dem Datenträger des Datenbankservers %1; %2.")
            .arg(server, notStored());
    if (f.sqlState == u"25006")
        return QStringLiteral("Die Datenbank %1 ist schreibgeschützt; %2.").arg(server, notStored());
    return QStringLiteral("Fehler des Datenbankservers %1 (%2)%3.")
        .arg(server, f.serverMessage.trimmed(), f.writing ? QStringLiteral("; ") + notStored() : QString());
}

QString serverName(const QString &uri)
{
    const QUrl url(uri);
    QString host = url.host();
    const QUrlQuery query(url);
    if (host.isEmpty())
        host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const QString database = url.path().mid(1);
    return database.isEmpty() ? host : QStringLiteral("%1 auf %2").arg(database, host);
}

void Session::connect(const QString &uri, const QString &password)
{
    close();
    m_server = serverName(uri);
    const QByteArray dsn = uri.toUtf8();
    const QByteArray pass = password.toUtf8();
    // The program's name shows in the server's list of sessions, so that a DBA sees who holds a lock.
    const char *keys[] = {"dbname", "password", "application_name", "client_encoding", nullptr};
    const char *values[] = {dsn.constData(), password.isEmpty() ? nullptr : pass.constData(), "sicherheit",
                            "UTF8", nullptr};
    ConnPtr conn(PQconnectdbParams(keys, values, 1));
    if (!conn)
        throw StoreError(QStringLiteral("Für die Verbindung zum Datenbankserver %1 fehlt der Speicher.")
                             .arg(quoted(m_server)));
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        // Before the server answers there is no code to go by, only libpq's words.
        Failure f{m_server, QString(), QString::fromUtf8(PQerrorMessage(conn.get())), false, false};
        if (f.serverMessage.contains(u"password authentication failed") ||
            f.serverMessage.contains(u"no password supplied"))
            f.sqlState = QStringLiteral("28P01");
        else if (f.serverMessage.contains(u"database") && f.serverMessage.contains(u"does not exist"))
            f.sqlState = QStringLiteral("3D000");
        else
            throw StoreError(QStringLiteral("Der Datenbankserver %1 ist nicht erreichbar (%2).")
                                 .arg(quoted(m_server), f.serverMessage.trimmed()));
        throw StoreError(describe(f));
    }
    // The server's notices (a shutdown under way, say) are not the user's business: failures come as errors.
    PQsetNoticeProcessor(conn.get(), [](void *, const char *) {}, nullptr);
    m_conn = std::move(conn);
}

void Session::close() noexcept
{
    m_conn.reset();
}

bool Session::isConnected() const
{
    return m_conn && PQstatus(m_conn.get()) == CONNECTION_OK;
}

ResultPtr Session::exec(const QString &sql, const std::vector<QVariant> &params, bool writing)
{
    if (!m_conn)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    std::vector<QByteArray> texts(params.size());
    std::vector<const char *> values(params.size(), nullptr);
    for (size_t i = 0; i < params.size(); ++i) {
        const QVariant &v = params[i];
        if (!v.isValid() || v.isNull())
            continue;
        texts[i] =
            v.typeId() == QMetaType::Bool ? QByteArray(v.toBool() ? "true" : "false") : v.toString().toUtf8();
        values[i] = texts[i].constData();
    }
    const QByteArray text = sql.toUtf8();
    ResultPtr result(PQexecParams(m_conn.get(), text.constData(), static_cast<int>(params.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(result.get(), writing);
    return result;
}

void Session::raise(const PGresult *result, bool writing) const
{
    Failure f;
    f.server = m_server;
    f.writing = writing;
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    f.sqlState = QString::fromLatin1(state ? state : "");
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    f.serverMessage = QString::fromUtf8(primary ? primary : PQerrorMessage(m_conn.get()));
    // A failure without the server's code never reached the server, or its answer never came back.
    f.connectionLost = PQstatus(m_conn.get()) != CONNECTION_OK || !state;
    throw StoreError(describe(f));
}

} // namespace store::pg
