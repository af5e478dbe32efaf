#include "ReportCommands.h"

#include "Connection.h"
#include "Console.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "LogonServices.h"
#include "Quoted.h"
#include "ReportContent.h"
#include "ReportPdf.h"
#include "Rights.h"
#include "Schema.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace commands {

namespace {

QString noJournal(const store::Connection &db)
{
    return QStringLiteral(
               "%1 hat kein Änderungsprotokoll (die Tabelle %2 fehlt); sicherheit-db upgrade legt es an")
        .arg(store::quoted(db.fileName()), store::quoted(schema::kProtokoll));
}

} // namespace

int reportPdf(const QStringList &args)
{
    const auto a = cli::parse(
        args, {QStringLiteral("report DATEI --out BERICHT.pdf [--user BENUTZER | --function ID [--below] | "
                              "--all-users | --all-functions] [--changes-since DATUM]"),
               {QStringLiteral("out"), QStringLiteral("user"), QStringLiteral("function"),
                QStringLiteral("changes-since")},
               {QStringLiteral("below"), QStringLiteral("all-users"), QStringLiteral("all-functions")},
               1});
    if (!a)
        return 2;
    const QString out = a->options.value(QStringLiteral("out"));
    if (out.isEmpty())
        return cli::mistake(QStringLiteral("report braucht --out BERICHT.pdf"));
    const int scopes = int(a->options.contains(QStringLiteral("user"))) +
                       int(a->options.contains(QStringLiteral("function"))) +
                       int(a->flags.contains(QStringLiteral("all-users"))) +
                       int(a->flags.contains(QStringLiteral("all-functions")));
    if (scopes > 1)
        return cli::mistake(
            QStringLiteral("nur eines von --user, --function, --all-users und --all-functions angeben"));
    report::Scope scope;
    if (a->options.contains(QStringLiteral("user"))) {
        scope.kind = report::ScopeKind::User;
        scope.user = a->options.value(QStringLiteral("user"));
    } else if (a->options.contains(QStringLiteral("function"))) {
        const QString typed = a->options.value(QStringLiteral("function"));
        bool ok = false;
        scope.function = typed.toInt(&ok);
        if (!ok)
            return cli::mistake(
                QStringLiteral("--function %1 ist keine Funktions-id").arg(store::quoted(typed)));
        scope.kind = report::ScopeKind::Function;
        scope.below = a->flags.contains(QStringLiteral("below"));
    } else if (a->flags.contains(QStringLiteral("all-functions"))) {
        scope.kind = report::ScopeKind::AllFunctions;
    }
    if (a->flags.contains(QStringLiteral("below")) && scope.kind != report::ScopeKind::Function)
        return cli::mistake(QStringLiteral("--below gilt nur mit --function"));
    QString since;
    if (a->options.contains(QStringLiteral("changes-since"))) {
        const QString typed = a->options.value(QStringLiteral("changes-since"));
        const auto zeit = journal::parseSince(typed);
        if (!zeit)
            return cli::mistake(QStringLiteral("--changes-since %1 ist kein Datum (so geht es: 2026-12-09, "
                                               "2026-12-09T08:30, 09.12.2026; Zeiten in UTC)")
                                    .arg(store::quoted(typed)));
        since = *zeit;
    }

    store::Connection db;
    cli::openOn(db, a->plain[0]);
    // The rights and the journal as they were at one moment, so that the changes listed lead to the rights
    // shown.
    const store::Connection::ReadTransaction snapshot(db);
    if (!since.isEmpty() && !db.hasTable(schema::kProtokoll))
        return cli::fail(noJournal(db) +
                         QStringLiteral(": ohne Protokoll keine Änderungen seit einem Datum"));
    const report::ReportFile file = report::ReportFile::read(db, scope);
    const QString account = store::Win1252::toUnicode(CurrentAccountName());
    std::optional<report::ReportContent> content;
    try {
        content.emplace(db, file, scope, cli::shownTarget(a->plain[0]), since, account,
                        QDateTime::currentDateTime());
    } catch (const report::ReportContent::NotFound &e) {
        QString problem = QString::fromUtf8(e.what());
        problem[0] = problem[0].toLower();
        problem.chop(1);
        return cli::fail(problem);
    }
    const std::optional<int> pages = report::savePdf(*content, out, store::PrivateFile::Existing::Refuse);
    cli::out() << "Bericht " << QFileInfo(out).absoluteFilePath() << " geschrieben: " << pages.value_or(0)
               << (pages.value_or(0) == 1 ? " Seite.\n" : " Seiten.\n");
    return 0;
}

int reviewDone(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("review DATEI --user BENUTZER --by NAME"),
                                     {QStringLiteral("user"), QStringLiteral("by")},
                                     {},
                                     1});
    if (!a)
        return 2;
    const QString name = a->options.value(QStringLiteral("user"));
    const QString by = a->options.value(QStringLiteral("by")).trimmed();
    if (name.isEmpty() || by.isEmpty())
        return cli::mistake(QStringLiteral("review braucht --user BENUTZER und --by NAME"));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    cli::keepJournal(db, QStringLiteral("review"));
    // Under the write lock: the user reviewed is the one the file holds now.
    store::Connection::Transaction transaction(db, QStringLiteral("(Prüfung)"));
    if (!db.hasTable(schema::kProtokoll))
        return cli::fail(noJournal(db) + QStringLiteral("; die Prüfung wurde nicht vermerkt"));
    const rights::Snapshot file = rights::Snapshot::read(db);
    const std::vector<const rights::User *> users = file.usersNamed(name);
    if (users.empty())
        return cli::fail(QStringLiteral("den Benutzer %1 gibt es nicht").arg(store::quoted(name)));
    journal::Writer *writer = journal::writerOf(db);
    for (const rights::User *user : users) {
        const QJsonObject change{{schema::benutzer::kUser, user->user}, {QStringLiteral("Pruefer"), by}};
        writer->record(db, schema::kBenutzer, user->id, schema::aktion::kRechteGeprueft,
                       QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact)));
    }
    transaction.commit();
    cli::out() << "Prüfung von " << name << " durch " << by << " vermerkt"
               << (users.size() > 1 ? QStringLiteral(" (%1 Benutzer dieses Namens)").arg(users.size())
                                    : QString())
               << ".\n";
    return 0;
}

} // namespace commands
