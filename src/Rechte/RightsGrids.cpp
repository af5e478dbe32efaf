#include "RightsGrids.h"

#include "Schema.h"
#include "StoreError.h"

#include <QLocale>

#include <algorithm>
#include <numeric>

namespace rechte {

namespace {

QString kindText(rights::ProblemKind kind)
{
    using rights::ProblemKind;
    switch (kind) {
    case ProblemKind::UnknownInitials:
        return QStringLiteral("Initialien ohne Benutzer");
    case ProblemKind::SharedInitials:
        return QStringLiteral("Geteilte Initialien");
    case ProblemKind::MissingFunction:
        return QStringLiteral("Fehlende Funktion");
    case ProblemKind::MissingGroup:
        return QStringLiteral("Fehlende Gruppe");
    case ProblemKind::Ring:
        return QStringLiteral("Funktion unter sich selbst");
    case ProblemKind::RootId:
        return QStringLiteral("Nummer der Wurzel");
    case ProblemKind::Repeated:
        return QStringLiteral("Doppelte Zuordnung");
    case ProblemKind::SharedUserName:
        return QStringLiteral("Doppelter Benutzername");
    case ProblemKind::NoPassword:
        return QStringLiteral("Ohne Kennwort");
    case ProblemKind::NoAdministrator:
        return QStringLiteral("Kein Administrator");
    }
    return QString();
}

// What "Bereinigen" does about a finding; cleanUpFor decides, this only names it.
QString cleanUpText(rights::ProblemKind kind)
{
    using rights::ProblemKind;
    switch (kind) {
    case ProblemKind::UnknownInitials:
    case ProblemKind::MissingFunction:
    case ProblemKind::Repeated:
        return QStringLiteral("wird gelöscht");
    case ProblemKind::MissingGroup:
    case ProblemKind::Ring:
        return QStringLiteral("kommt unter %1").arg(store::quoted(schema::kRootTitle));
    default:
        return QString();
    }
}

} // namespace

TextGrid usersGrid(const rights::Snapshot &file)
{
    TextGrid grid({QStringLiteral("Benutzer"), QStringLiteral("Name"), QStringLiteral("Initialien")});
    grid.reserve(file.users().size());
    for (const rights::User &u : file.users())
        grid.addRow({u.user, u.realName, u.initials});
    grid.sortBy(0);
    return grid;
}

TextGrid heldGrid(const rights::Snapshot &file, const rights::User &user)
{
    TextGrid grid({QStringLiteral("Funktion"), QStringLiteral("Id"), QStringLiteral("Geteilt mit")});
    QStringList others;
    for (const rights::User *u : file.usersWithInitials(user.initials)) {
        if (u != &user)
            others << u->user;
    }
    const QString sharedWith = others.join(QStringLiteral(", "));
    for (const rights::Held &h : file.held(user))
        grid.addRow({h.path, QString::number(h.function), h.shared ? sharedWith : QString()});
    return grid;
}

TextGrid functionsGrid(const rights::Snapshot &file)
{
    TextGrid grid({QStringLiteral("Funktion"), QStringLiteral("Id")});
    grid.reserve(file.functions().size());
    for (const rights::Function &f : file.functions())
        grid.addRow({file.path(f.id), QString::number(f.id)});
    grid.setFilterColumns({0});
    grid.sortBy(0);
    return grid;
}

TextGrid holdersGrid(const rights::Snapshot &file, qint32 function, bool below)
{
    TextGrid grid({QStringLiteral("Benutzer"), QStringLiteral("Name"), QStringLiteral("Initialien"),
                   QStringLiteral("Über Funktion")});
    for (const rights::Holder &h : file.holders(function, below)) {
        grid.addRow({h.user ? h.user->user : QString(), h.user ? h.user->realName : QString(), h.initials,
                     h.function == function ? QString() : file.path(h.function)});
    }
    return grid;
}

TextGrid assignmentsGrid(const rights::Snapshot &file, std::vector<std::size_t> *assignmentOf)
{
    TextGrid grid({QStringLiteral("Benutzer"), QStringLiteral("Initialien"), QStringLiteral("Gruppe"),
                   QStringLiteral("Titel")});
    const std::vector<rights::OverviewRow> rows = file.overview();
    grid.reserve(rows.size());
    if (assignmentOf) {
        assignmentOf->clear();
        assignmentOf->reserve(rows.size());
    }
    for (const rights::OverviewRow &r : rows) {
        grid.addRow({r.user, r.initials, r.group, r.title});
        if (assignmentOf)
            assignmentOf->push_back(r.assignment);
    }
    return grid;
}

QString assignmentsCount(const TextGrid &grid, const std::vector<std::size_t> &assignmentOf)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto distinct = [&assignmentOf](const auto &rows) {
        std::vector<char> seen(
            assignmentOf.empty() ? 0 : *std::max_element(assignmentOf.begin(), assignmentOf.end()) + 1);
        qint64 n = 0;
        for (const int row : rows) {
            const std::size_t a = assignmentOf[static_cast<std::size_t>(row)];
            n += seen[a] ? 0 : 1;
            seen[a] = 1;
        }
        return n;
    };
    std::vector<int> every(static_cast<std::size_t>(grid.rowCount()));
    std::iota(every.begin(), every.end(), 0);
    const qint64 allRows = grid.rowCount();
    const auto shownRows = static_cast<qint64>(grid.shown().size());
    const qint64 all = assignmentOf.size() == every.size() ? distinct(every) : allRows;
    const qint64 shown = assignmentOf.size() == every.size() ? distinct(grid.shown()) : shownRows;
    const auto part = [&german](qint64 of, qint64 total, const QString &one, const QString &many) {
        const QString noun = total == 1 ? one : many;
        return of == total
                   ? QStringLiteral("%1 %2").arg(german.toString(total), noun)
                   : QStringLiteral("%1 von %2 %3").arg(german.toString(of), german.toString(total), noun);
    };
    const QString assignments = part(shown, all, QStringLiteral("Zuordnung"), QStringLiteral("Zuordnungen"));
    if (allRows == all)
        return assignments;
    return part(shownRows, allRows, QStringLiteral("Zeile"), QStringLiteral("Zeilen")) +
           QStringLiteral(", ") + assignments;
}

TextGrid findingsGrid(const std::vector<rights::Problem> &problems)
{
    TextGrid grid({QStringLiteral("Art"), QStringLiteral("Bereinigen"), QStringLiteral("Befund")});
    for (const rights::Problem &p : problems)
        grid.addRow({kindText(p.kind), cleanUpText(p.kind), p.text});
    return grid;
}

} // namespace rechte
