#include "RightsGrids.h"

#include "Schema.h"
#include "StoreError.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>

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

TextGrid usersGrid(const rights::Snapshot &file,
                   const std::unordered_map<qint32, report::LastReview> &reviews)
{
    TextGrid grid({QStringLiteral("Benutzer"), QStringLiteral("Name"), QStringLiteral("Initialien"),
                   QStringLiteral("Geprüft"), QStringLiteral("Seit Prüfung")});
    grid.reserve(file.users().size());
    const QString changed = QStringLiteral("geändert seit Prüfung"),
                  unchanged = QStringLiteral("unverändert");
    for (const rights::User &u : file.users()) {
        const auto review = reviews.find(u.id);
        if (review == reviews.end()) {
            grid.addRow({u.user, u.realName, u.initials, QString(), QString()});
            continue;
        }
        const QDateTime at = QDateTime::fromString(review->second.zeit, Qt::ISODateWithMs);
        grid.addRow({u.user, u.realName, u.initials,
                     at.isValid() ? at.toUTC().toString(QStringLiteral("dd.MM.yyyy")) : review->second.zeit,
                     review->second.changedSince ? changed : unchanged});
    }
    grid.setFilterColumns({0, 1, 2});
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

std::size_t distinctAssignments(const std::vector<std::size_t> &assignmentOf, const std::vector<int> *rows)
{
    if (assignmentOf.empty())
        return 0;
    std::vector<char> seen(*std::max_element(assignmentOf.begin(), assignmentOf.end()) + 1);
    std::size_t n = 0;
    const auto count = [&](std::size_t row) {
        char &s = seen[assignmentOf[row]];
        n += s ? 0 : 1;
        s = 1;
    };
    if (rows) {
        for (const int row : *rows)
            count(static_cast<std::size_t>(row));
    } else {
        for (std::size_t row = 0; row < assignmentOf.size(); ++row)
            count(row);
    }
    return n;
}

QString assignmentsCount(const TextGrid &grid, const std::vector<std::size_t> &assignmentOf, std::size_t all)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto allRows = static_cast<std::size_t>(grid.rowCount());
    const std::size_t shownRows = grid.shown().size();
    const bool known = assignmentOf.size() == allRows;
    if (!known)
        all = allRows;
    // Without a filter every assignment is on show: no need to count them again on a million rows.
    const std::size_t shown = !known                 ? shownRows
                              : shownRows == allRows ? all
                                                     : distinctAssignments(assignmentOf, &grid.shown());
    const auto part = [&german](std::size_t of, std::size_t total, const QString &one, const QString &many) {
        const QString noun = total == 1 ? one : many;
        const auto n = [&german](std::size_t v) { return german.toString(static_cast<qint64>(v)); };
        return of == total ? QStringLiteral("%1 %2").arg(n(total), noun)
                           : QStringLiteral("%1 von %2 %3").arg(n(of), n(total), noun);
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
