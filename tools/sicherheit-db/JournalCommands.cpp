#include "JournalCommands.h"

#include "Backup.h"
#include "Connection.h"
#include "Console.h"
#include "CsvText.h"
#include "JournalRead.h"
#include "Quoted.h"
#include "RightsCheck.h"
#include "Schema.h"
#include "StoreError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace commands {

namespace {

// Who did it, from where and with what: "anna (anna@rechner, sicherheit)".
QString actor(const journal::Entry &entry)
{
    QString account = entry.konto;
    if (!entry.rechner.isEmpty())
        account += (account.isEmpty() ? QString() : QStringLiteral("@")) + entry.rechner;
    QStringList where;
    for (const QString &part : {account, entry.programm}) {
        if (!part.isEmpty())
            where << part;
    }
    const QString who = entry.administrator.isEmpty() ? QStringLiteral("?") : entry.administrator;
    return where.isEmpty() ? who : QStringLiteral("%1 (%2)").arg(who, where.join(QStringLiteral(", ")));
}

QString textLine(const journal::Row &row)
{
    const journal::Entry &e = row.entry;
    const QString what =
        e.zeile.isNull() ? e.tabelle : QStringLiteral("%1 %2").arg(e.tabelle).arg(e.zeile.toLongLong());
    QString line =
        QStringList{e.zeit, actor(e), what, e.aktion, journal::readableChange(e)}.join(QStringLiteral("  "));
    // Each row on its one line, whatever a field holds.
    return line.replace(u'\n', u' ').replace(u'\r', u' ') + u'\n';
}

const QStringList &columns()
{
    using namespace schema::protokoll;
    static const QStringList names{kId,       kZeit,    kAdministrator, kKonto,  kRechner,
                                   kProgramm, kTabelle, kZeile,         kAktion, kAenderung};
    return names;
}

QByteArray csvLine(const journal::Row &row)
{
    const journal::Entry &e = row.entry;
    QString line;
    csv::appendLine(line,
                    {QString::number(row.id), e.zeit, e.administrator, e.konto, e.rechner, e.programm,
                     e.tabelle, e.zeile.isNull() ? QString() : QString::number(e.zeile.toLongLong()),
                     e.aktion, e.aenderung},
                    csv::Cells::Neutral);
    return line.toUtf8();
}

// A row as a JSON object with its change embedded; a change that is no JSON object stays the text it is.
QByteArray jsonObject(const journal::Row &row)
{
    using namespace schema::protokoll;
    const journal::Entry &e = row.entry;
    const QJsonObject change = journal::changeOf(e);
    const bool embedded = !change.isEmpty() || e.aenderung.trimmed() == u"{}";
    const QJsonObject object{{kId, row.id},
                             {kZeit, e.zeit},
                             {kAdministrator, e.administrator},
                             {kKonto, e.konto},
                             {kRechner, e.rechner},
                             {kProgramm, e.programm},
                             {kTabelle, e.tabelle},
                             {kZeile, e.zeile.isNull() ? QJsonValue() : QJsonValue(e.zeile.toLongLong())},
                             {kAktion, e.aktion},
                             {kAenderung, embedded ? QJsonValue(change) : QJsonValue(e.aenderung)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void write(QByteArrayView bytes)
{
    cli::writeRaw(bytes);
}

} // namespace

int journalRows(const QStringList &args)
{
    const auto a =
        cli::parse(args, {QStringLiteral("journal DATEI [--since DATUM] [--until DATUM] [--by BENUTZER] "
                                         "[--user BENUTZER] [--function ID] [--format text|csv|json]"),
                          {QStringLiteral("since"), QStringLiteral("until"), QStringLiteral("by"),
                           QStringLiteral("user"), QStringLiteral("function"), QStringLiteral("format")},
                          {},
                          1});
    if (!a)
        return 2;
    const QString format = a->options.value(QStringLiteral("format"), QStringLiteral("text"));
    if (format != u"text" && format != u"csv" && format != u"json")
        return cli::mistake(
            QStringLiteral("--format kennt nur text, csv und json, nicht %1").arg(store::quoted(format)));
    journal::Filter filter;
    for (const char *bound : {"since", "until"}) {
        const QString option = QString::fromLatin1(bound);
        if (!a->options.contains(option))
            continue;
        const QString typed = a->options.value(option);
        const auto zeit = option == u"since" ? journal::parseSince(typed) : journal::parseUntil(typed);
        if (!zeit)
            return cli::mistake(QStringLiteral("--%1 %2 ist kein Datum (so geht es: 2026-12-09, "
                                               "2026-12-09T08:30, 09.12.2026; Zeiten in UTC)")
                                    .arg(option, store::quoted(typed)));
        (option == u"since" ? filter.since : filter.until) = *zeit;
    }
    if (!filter.since.isEmpty() && !filter.until.isEmpty() && filter.since >= filter.until)
        return cli::mistake(QStringLiteral("--since liegt nicht vor --until"));
    if (a->options.contains(QStringLiteral("function"))) {
        const QString typed = a->options.value(QStringLiteral("function"));
        bool ok = false;
        filter.function = typed.toInt(&ok);
        if (!ok)
            return cli::mistake(
                QStringLiteral("--function %1 ist keine Funktions-id").arg(store::quoted(typed)));
    }
    filter.by = a->options.value(QStringLiteral("by"));
    filter.user = a->options.value(QStringLiteral("user"));

    store::Connection db;
    cli::openOn(db, a->plain[0]);
    // The rows as they were at one moment: a change made while they are read shows whole or not at all.
    const store::Connection::ReadTransaction snapshot(db);
    if (!db.hasTable(schema::kProtokoll))
        return cli::fail(QStringLiteral("%1 hat kein Änderungsprotokoll (die Tabelle %2 fehlt); "
                                        "sicherheit-db upgrade legt es an")
                             .arg(store::quoted(db.fileName()), store::quoted(schema::kProtokoll)));
    filter.resolve(db);
    cli::out().flush();
    qint64 count = 0;
    if (format == u"csv") {
        QString header = csv::start();
        csv::appendLine(header, columns(), csv::Cells::Neutral);
        write(header.toUtf8());
    }
    journal::forEach(db, filter, journal::Order::OldestFirst, [&](const journal::Row &row) {
        if (format == u"text")
            cli::out() << textLine(row);
        else if (format == u"csv")
            write(csvLine(row));
        else
            write((count == 0 ? QByteArray("[\n") : QByteArray(",\n")) + jsonObject(row));
        ++count;
        return true;
    });
    if (format == u"json")
        write(count == 0 ? "[]\n" : "\n]\n");
    return 0;
}

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
