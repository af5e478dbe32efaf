#include "JournalCommands.h"

#include "Backup.h"
#include "Connection.h"
#include "Console.h"
#include "Quoted.h"
#include "RightsCheck.h"
#include "Schema.h"
#include "StoreError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace commands {

int upgrade(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("upgrade DATEI"), {}, {}, 1});
    if (!a)
        return 2;
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    // The write lock first: a second upgrade running at once waits here and then finds the journal made.
    store::Connection::Transaction transaction(db, QStringLiteral("(Aktualisieren)"));
    if (db.hasTable(schema::kProtokoll)) {
        cli::out() << "Die Datenbank hat das Protokoll schon; nichts geändert.\n";
        return 0;
    }
    if (!db.hasTable(schema::kBenutzer))
        return cli::fail(
            QStringLiteral("%1 ist keine Sicherheitsdatenbank (die Tabelle %2 fehlt); nichts geändert")
                .arg(store::quoted(db.fileName()), store::quoted(schema::kBenutzer)));
    QString target;
    if (db.isServer()) {
        cli::out()
            << "Keine Sicherungskopie: die Datenbank liegt auf einem Datenbankserver und wird mit dessen "
               "Werkzeugen gesichert (pg_dump).\n";
        db.createTablesHere(schema::serverJournalCreateStatements(), {schema::kProtokoll});
    } else {
        target = rights::backupName(db.fileName(), QDateTime::currentDateTime());
        store::backupBeforeChanging(db, target);
        try {
            db.createTablesHere(schema::journalCreateStatements(), {schema::kProtokoll});
        } catch (const std::exception &) {
            // A copy of an upgrade that never happened would only mislead.
            QFile::remove(target);
            throw;
        }
    }
    transaction.commit();
    if (!target.isEmpty())
        cli::out() << "Sicherungskopie " << QFileInfo(target).absoluteFilePath() << " geschrieben.\n";
    cli::out() << "Protokoll angelegt.\n";
    return 0;
}

} // namespace commands
