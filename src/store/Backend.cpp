#include "Backend.h"

#include "Connection.h"
#include "PgBackend.h"
#include "Quoted.h"
#include "SqliteBackend.h"
#include "StoreError.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

namespace store {

std::unique_ptr<Backend> openBackend(const QString &target, const QString &password)
{
    const QString uri = Connection::serverOf(target);
    if (!uri.isEmpty())
        return std::make_unique<PgBackend>(uri, uri == target ? QString() : target);
    return std::make_unique<SqliteBackend>(target, password);
}

QString Connection::serverOf(const QString &target)
{
    const auto isUri = [](const QString &text) {
        return text.startsWith(QLatin1String("postgresql://")) ||
               text.startsWith(QLatin1String("postgres://"));
    };
    QString uri;
    if (isUri(target)) {
        uri = target;
    } else {
        QFile file(target);
        // A database file begins with SQLite's (or SQLCipher's random) bytes, never with the URI.
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        QString first = QString::fromUtf8(file.readLine(4096));
        // Some editors begin a file in UTF-8 with its byte order mark; the line is the same URI.
        if (first.startsWith(QChar(0xFEFF)))
            first.remove(0, 1);
        first = first.trimmed();
        if (!isUri(first))
            return QString();
        uri = first;
    }
    const QUrl url(uri);
    if (!url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password")))
        throw StoreError(
            QStringLiteral("Die Verbindung %1 enthält ein Kennwort. Das Kennwort des Datenbankservers "
                           "gehört in seine Kennwortdatei (~/.pgpass) oder in PGPASSWORD, nicht in "
                           "die Verknüpfung.")
                .arg(quoted(isUri(target) ? pg::serverName(uri) : target)));
    return uri;
}

void Connection::createDatabase(const QString &path, const QString &password, const QStringList &statements)
{
    SqliteBackend::createFile(path, password, statements);
}

void Connection::createServerTables(const QString &target, const QStringList &statements,
                                    const QStringList &tables)
{
    const QString uri = serverOf(target);
    if (uri.isEmpty())
        throw StoreError(QStringLiteral("%1 nennt keinen Datenbankserver.").arg(quoted(target)));
    PgBackend::createTablesOn(uri, statements, tables);
}

void Connection::dropServerTables(const QString &target, const QStringList &tables) noexcept
{
    try {
        const QString uri = serverOf(target);
        if (!uri.isEmpty())
            PgBackend::dropTablesOn(uri, tables);
    } catch (const std::exception &) {
        // What stays is told by the failure that led here.
    }
}

QString movedMessage(const QString &file)
{
    return QStringLiteral(
               "Die Datenbankdatei %1 wurde gelöscht, verschoben oder durch eine andere Datei "
               "ersetzt, während sie geöffnet war; sie wird nicht mehr gelesen oder geändert. Bitte "
               "die Datei neu öffnen.")
        .arg(quoted(file));
}

QString missingTableMessage(const QString &name)
{
    return QStringLiteral("Die Tabelle %1 gibt es in der Datenbank nicht.").arg(quoted(name));
}

QString missingFieldMessage(const QString &name)
{
    return QStringLiteral("Das Feld %1 gibt es in der Datenbank nicht.").arg(quoted(name));
}

} // namespace store
