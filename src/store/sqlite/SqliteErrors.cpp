#include "SqliteErrors.h"

#include "Sqlite.h"
#include "StoreError.h"
#include "SystemError.h"

#include <cerrno>

namespace store {

namespace {

QString notStored()
{
    return QStringLiteral("die Änderung wurde nicht gespeichert");
}

QString diskFull(const QString &file)
{
    return QStringLiteral("Kein Platz mehr auf dem Datenträger der Datei %1; %2.").arg(file, notStored());
}

// A write needs the journal beside the file, so the folder must be writable as well. SQLite's error number
// belongs to its last attempt (opening the journal read-only), so what the folder itself says is told.
QString folderNotWritable(const SqliteFailure &f)
{
    const QString why = f.folderErrno ? systemReason(f.folderErrno) : QString::fromUtf8(sqlite3_errstr(f.rc));
    return QStringLiteral("Im Ordner %1 kann nicht geschrieben werden (%2); die Änderung an der "
                          "Datenbankdatei %3 wurde nicht gespeichert.")
        .arg(quoted(f.folder), why, quoted(f.file));
}

// The failures that concern the file as a whole; an empty text for the others.
QString fileFailure(const SqliteFailure &f)
{
    const QString file = quoted(f.file);
    switch (primaryCode(f.rc)) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return lockedMessage(f.file);
    case SQLITE_READONLY:
        return QStringLiteral("Die Datenbankdatei %1 ist schreibgeschützt; %2.").arg(file, notStored());
    case SQLITE_FULL:
        return diskFull(file);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Die Datenbankdatei %1 ist beschädigt.").arg(file);
    case SQLITE_CANTOPEN:
        return folderNotWritable(f);
    case SQLITE_IOERR:
        if (f.systemErrno == ENOSPC || f.systemErrno == EDQUOT)
            return diskFull(file);
        // Whatever SQLite had written of a change by then, it has rolled back or will roll back.
        return QStringLiteral("Lese- oder Schreibfehler in der Datenbankdatei %1: %2 (%3)%4.")
            .arg(file,
                 f.systemErrno ? systemReason(f.systemErrno) : QStringLiteral("Fehler des Datenträgers"),
                 QString::fromUtf8(sqlite3_errstr(f.rc)),
                 f.writing ? QStringLiteral("; ") + notStored() : QString());
    default:
        return QString();
    }
}

// The failures of a statement itself, which SQLite tells only in its own words.
QString statementFailure(const QString &file, const QString &msg)
{
    static const struct
    {
        const char *prefix;
        QString (*german)(const QString &name);
    } known[] = {{"no such table: ", missingTableMessage},
                 {"no such column: ", missingFieldMessage},
                 {"ambiguous column name: ", [](const QString &name) {
                      return QStringLiteral("Der Feldname %1 ist mehrdeutig.").arg(quoted(name));
                  }}};
    for (const auto &k : known) {
        if (msg.startsWith(QLatin1String(k.prefix)))
            return k.german(msg.mid(int(qstrlen(k.prefix))));
    }
    if (msg.contains(u"syntax error"))
        return QStringLiteral("Syntaxfehler in der SQL-Anweisung (%1).").arg(msg);
    return QStringLiteral("Fehler in der Datenbankdatei %1 (%2).").arg(quoted(file), msg);
}

} // namespace

FailureText describeFailure(const SqliteFailure &failure)
{
    // The file itself is open already: what cannot be opened either is another file now, or the journal in
    // its folder.
    if (failure.rc == SQLITE_READONLY_DBMOVED ||
        (primaryCode(failure.rc) == SQLITE_CANTOPEN && failure.fileMoved))
        return {movedMessage(failure.file), true};
    const QString text = fileFailure(failure);
    return {text.isEmpty() ? statementFailure(failure.file, failure.sqliteMessage) : text, false};
}

QString sqliteText(sqlite3 *db, int rc)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

int primaryCode(int rc)
{
    return rc & 0xFF;
}

QString lockedMessage(const QString &file)
{
    return QStringLiteral("Die Datenbankdatei %1 ist von einem anderen Programm gesperrt. Bitte später noch "
                          "einmal versuchen.")
        .arg(quoted(file));
}

QString openFailureReason(int systemErrno, int rc, const QString &sqliteMessage)
{
    QString why;
    switch (primaryCode(rc)) {
    case SQLITE_FULL:
        why = systemReason(ENOSPC);
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        why = QStringLiteral("die Datei ist beschädigt");
        break;
    case SQLITE_READONLY:
        why = systemReason(EROFS);
        break;
    case SQLITE_NOMEM:
        why = QStringLiteral("zu wenig Arbeitsspeicher");
        break;
    default:
        why = systemErrno ? systemReason(systemErrno) : QStringLiteral("Datenbankfehler");
    }
    return QStringLiteral("%1 (%2)").arg(why, sqliteMessage);
}

} // namespace store
