#include "RightsCommands.h"

#include "Backup.h"
#include "Connection.h"
#include "Console.h"
#include "Journal.h"
#include "Quoted.h"
#include "Rights.h"
#include "RightsCheck.h"
#include "Schema.h"
#include "ServerRights.h"
#include "StoreError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

#include <sys/stat.h>

namespace commands {

using cli::cell;
using cli::out;

int rights(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("rights DATEI BENUTZER"), {}, {}, 2});
    if (!a)
        return 2;
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    const rights::Snapshot file = rights::Snapshot::read(db);
    const auto users = file.usersNamed(a->plain[1]);
    if (users.empty())
        return cli::fail(QStringLiteral("den Benutzer %1 gibt es nicht").arg(store::quoted(a->plain[1])));
    for (const rights::User *user : users) {
        // Several users of one name cannot log on, but each still has rights of their own.
        if (users.size() > 1)
            out() << user->user << " (" << user->initials << "):\n";
        const std::vector<rights::Held> held = file.held(*user);
        for (const rights::Held &h : held)
            out() << QStringLiteral("%1  %2").arg(h.function, 8).arg(h.path)
                  << (h.shared ? QStringLiteral("  [Initialien geteilt]") : QString()) << "\n";
        out() << held.size() << " Funktionen\n";
    }
    return 0;
}

int who(const QStringList &args)
{
    const auto a = cli::parse(
        args, {QStringLiteral("who DATEI FUNKTIONS-ID [--below]"), {}, {QStringLiteral("below")}, 2});
    if (!a)
        return 2;
    bool ok = false;
    const qint32 id = a->plain[1].toInt(&ok);
    if (!ok)
        return cli::mistake(QStringLiteral("%1 ist keine Funktions-id").arg(store::quoted(a->plain[1])));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    const rights::Snapshot file = rights::Snapshot::read(db);
    if (id != schema::kRootId && !file.function(id))
        return cli::fail(QStringLiteral("die Funktion %1 gibt es nicht").arg(id));
    const bool below = a->flags.contains(QStringLiteral("below"));
    out() << file.path(id) << "\n";
    const std::vector<rights::Holder> holders = file.holders(id, below);
    // A user who holds several functions below it stands on several lines but counts once, and so do
    // initials of nobody.
    QSet<QString> counted;
    for (const rights::Holder &h : holders) {
        counted.insert(h.user ? QString::number(h.user->id) : u'\n' + h.initials.toUpper());
        out() << cell(h.user ? h.user->user : QStringLiteral("(kein Benutzer)"), 21)
              << cell(h.user ? h.user->realName : QString(), 31) << cell(h.initials, 6);
        if (below && h.function != id)
            out() << QStringLiteral("über %1 %2").arg(h.function).arg(file.path(h.function));
        out() << "\n";
    }
    out() << counted.size() << " Benutzer";
    if (counted.size() != static_cast<qsizetype>(holders.size()))
        out() << " (" << holders.size() << " Zeilen)";
    out() << "\n";
    return 0;
}

namespace {

// The file holds every password in a form anyone can turn back: a file that every user of the machine may
// read or write is a finding, with the command that mends it.
std::optional<QString> openToEveryone(const QString &file)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(file).constData(), &info) != 0 || (info.st_mode & (S_IROTH | S_IWOTH)) == 0)
        return std::nullopt;
    const QString path = QFileInfo(file).absoluteFilePath();
    return QStringLiteral(
               "Die Datei %1 ist für alle Benutzer des Rechners zugänglich (Rechte %2); abhelfen mit: "
               "chmod o-rwx %1")
        .arg(path, QString::number(info.st_mode & 07777, 8).rightJustified(4, u'0'));
}

// On a server: every role but the tables' owner that may create in their schema or write to the tables
// directly, each a finding with the command that takes the right away.
QStringList othersWhoMayWrite(store::Connection &db)
{
    QStringList found;
    const store::ServerRights rights = store::serverRights(db, schema::tableNames());
    const QString &schema = rights.schema;
    if (schema.isEmpty())
        return found;
    for (const store::RoleRights &role : rights.roles) {
        const QStringList &through = role.through;
        const QString via =
            through.isEmpty()
                ? QString()
                : QStringLiteral(" (als Mitglied von %1)").arg(store::quoted(through.join(u", ")));
        // Where the right comes from is where it goes: from everybody, from a role it is a member of, or
        // from the role itself.
        const QString from = QStringLiteral("%1 FROM %2")
                                 .arg(store::quotedServerName(schema), store::quotedServerName(role.role));
        if (role.mayCreate)
            found << QStringLiteral(
                         "Die Rolle %1 darf im Schema %2 anlegen%3; eine Funktion von ihr könnte mit "
                         "den Rechten eines Verwalters laufen. Abhelfen mit: %4")
                         .arg(store::quoted(role.role), store::quoted(schema), via,
                              rights.everybodyMayCreate
                                  ? QStringLiteral("REVOKE CREATE ON SCHEMA %1 FROM PUBLIC")
                                        .arg(store::quotedServerName(schema))
                              : through.isEmpty() ? QStringLiteral("REVOKE CREATE ON SCHEMA ") + from
                                                  : QStringLiteral("REVOKE %1 FROM %2")
                                                        .arg(store::quotedServerName(through.first()),
                                                             store::quotedServerName(role.role)));
        if (role.mayWrite)
            found << QStringLiteral("Die Rolle %1 darf in die Tabellen der Sicherheitsdatenbank schreiben "
                                    "(oder Trigger an ihnen anlegen)%2.")
                         .arg(store::quoted(role.role), via);
    }
    return found;
}

} // namespace

int check(const QStringList &args)
{
    const auto a =
        cli::parse(args, {QStringLiteral("check DATEI [--clean]"), {}, {QStringLiteral("clean")}, 1});
    if (!a)
        return 2;
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    const std::vector<rights::Problem> problems = rights::check(rights::Snapshot::read(db));
    QStringList access = othersWhoMayWrite(db);
    // A link file holds no password (one holding it is refused), only where the server is.
    if (const std::optional<QString> mode = db.isServer() ? std::nullopt : openToEveryone(a->plain[0]))
        access.prepend(*mode);
    if (const std::optional<qint64> broken = journal::firstBroken(db))
        access << QStringLiteral("Protokoll ab Eintrag %1 verändert oder gelöscht").arg(*broken);
    for (const QString &finding : access)
        out() << finding << "\n";
    for (const rights::Problem &p : problems)
        out() << p.text << "\n";
    if (problems.empty() && access.isEmpty()) {
        out() << "Keine Befunde.\n";
        return 0;
    }
    out() << rights::findingsCount(problems.size() + static_cast<std::size_t>(access.size())) << "\n";
    if (a->flags.contains(QStringLiteral("clean"))) {
        // Worked out again under the write lock: the findings above may be out of date by now.
        cli::keepJournal(db, QStringLiteral("check --clean"));
        const rights::CleanedUp done = rights::cleanUp(db, QDateTime::currentDateTime());
        if (done.backup.isEmpty())
            out() << "Nichts zu bereinigen.\n";
        else
            out() << "Sicherungskopie " << done.backup << " geschrieben.\n" << done.done.report() << "\n";
    }
    return 1;
}

int backup(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("backup DATEI ZIEL"), {}, {}, 2});
    if (!a)
        return 2;
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    store::backup(db, a->plain[1]);
    out() << "Sicherungskopie " << QFileInfo(a->plain[1]).absoluteFilePath() << " geschrieben.\n";
    return 0;
}

} // namespace commands
