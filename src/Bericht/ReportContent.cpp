#include "ReportContent.h"

#include "Collation.h"
#include "Connection.h"
#include "Query.h"
#include "Schema.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace report {

namespace {

constexpr std::size_t kFewFunctions = 20000;

// The user names or initials a row's User field holds: its value, or both sides of an [old, new] pair.
QStringList namesIn(const QJsonValue &value)
{
    QStringList names;
    if (value.isString())
        names << value.toString();
    for (const QJsonValue &side : value.toArray()) {
        if (side.isString())
            names << side.toString();
    }
    return names;
}

// The functions an assignment's row names, so that a reviewer reads a path instead of an id.
QList<qint32> functionsIn(const QJsonValue &value)
{
    QList<qint32> ids;
    const QJsonArray both = value.isArray() ? value.toArray() : QJsonArray{value};
    for (const QJsonValue &side : both) {
        const qint64 id = side.toInteger(std::numeric_limits<qint64>::min());
        if (id >= std::numeric_limits<qint32>::min() && id <= std::numeric_limits<qint32>::max() &&
            !ids.contains(static_cast<qint32>(id)))
            ids << static_cast<qint32>(id);
    }
    return ids;
}

bool byName(const rights::User *a, const rights::User *b)
{
    const int order = store::Collation::compare(a->user, b->user);
    return order != 0 ? order < 0 : a->id < b->id;
}

QString shownDay(const QString &zeit, bool utc = true)
{
    const QDateTime at = QDateTime::fromString(zeit, Qt::ISODateWithMs);
    return at.isValid() ? at.toUTC().toString(utc ? QStringLiteral("dd.MM.yyyy HH:mm 'UTC'")
                                                  : QStringLiteral("dd.MM.yyyy HH:mm"))
                        : zeit;
}

} // namespace

QString shownTime(const QString &zeit)
{
    return shownDay(zeit);
}

bool isRightsChange(const journal::Entry &entry)
{
    const bool logon =
        entry.aktion == schema::aktion::kAnmeldung || entry.aktion == schema::aktion::kAnmeldungAbgelehnt;
    return !logon && (entry.tabelle == schema::kBenutzer || entry.tabelle == schema::kFunktionenBenutzer);
}

QSet<QString> nameKeysOf(const journal::Entry &entry)
{
    QSet<QString> keys;
    for (const QString &name : namesIn(journal::changeOf(entry).value(schema::benutzer::kUser)))
        keys.insert(rights::matchKey(name));
    return keys;
}

bool concerns(const journal::Row &row, const rights::User &user)
{
    journal::Filter about;
    about.user = user.user;
    about.userInitials = user.initials;
    return about.matches(row);
}

ReportFile ReportFile::read(store::Connection &db, const Scope &scope)
{
    if (scope.kind == ScopeKind::AllUsers || scope.kind == ScopeKind::AllFunctions) {
        rights::Snapshot whole = rights::Snapshot::read(db);
        const std::size_t all = whole.assignments().size();
        return {std::move(whole), all, true};
    }
    rights::Snapshot named = rights::Snapshot::readWithoutAssignments(db);
    std::vector<QString> initials;
    std::vector<qint32> functions;
    switch (scope.kind) {
    case ScopeKind::User:
        for (const rights::User *user : named.usersNamed(scope.user))
            initials.push_back(user->initials);
        break;
    case ScopeKind::Function:
        if (scope.function != schema::kRootId)
            functions.push_back(scope.function);
        if (scope.below || scope.function == schema::kRootId) {
            const std::vector<qint32> below = named.below(scope.function);
            functions.insert(functions.end(), below.begin(), below.end());
        }
        break;
    default:
        break;
    }
    // One look-up per function costs what reading about ten of its rows does; beyond a share of the tree
    // the whole table is read at once.
    const bool few = scope.kind == ScopeKind::User ||
                     (scope.kind == ScopeKind::Function && functions.size() <= kFewFunctions);
    if (!few) {
        rights::Snapshot whole = std::move(named).withEveryAssignment(db);
        const std::size_t all = whole.assignments().size();
        return {std::move(whole), all, true};
    }
    store::Query count(db, schema::kFunktionenBenutzer,
                       {QStringLiteral("select count(*) as n from %1").arg(schema::kFunktionenBenutzer)});
    const std::size_t all = count.next() ? static_cast<std::size_t>(count.value(0).toLongLong()) : 0;
    return {std::move(named).withAssignmentsOf(db, initials, functions), all, false};
}

ReportContent::ReportContent(store::Connection &db, const rights::Snapshot &file, const Scope &scope,
                             const QString &source, const QString &since, const QString &madeBy,
                             const QDateTime &made)
    : ReportContent(db, file, file.assignments().size(), true, scope, source, since, madeBy, made)
{}

ReportContent::ReportContent(store::Connection &db, const ReportFile &file, const Scope &scope,
                             const QString &source, const QString &since, const QString &madeBy,
                             const QDateTime &made)
    : ReportContent(db, file.snapshot, file.assignmentsInFile, file.everyAssignment, scope, source, since,
                    madeBy, made)
{}

ReportContent::ReportContent(store::Connection &db, const rights::Snapshot &file,
                             std::size_t assignmentsInFile, bool everyAssignment, const Scope &scope,
                             const QString &source, const QString &since, const QString &madeBy,
                             const QDateTime &made)
    : m_file(file), m_since(since), m_everyAssignment(everyAssignment)
{
    switch (scope.kind) {
    case ScopeKind::User:
        m_users = file.usersNamed(scope.user);
        if (m_users.empty())
            throw NotFound(QStringLiteral("Den Benutzer „%1“ gibt es nicht.").arg(scope.user).toStdString());
        m_title.scope = QStringLiteral("Benutzer %1").arg(scope.user);
        break;
    case ScopeKind::AllUsers:
        for (const rights::User &user : file.users())
            m_users.push_back(&user);
        std::sort(m_users.begin(), m_users.end(), byName);
        m_title.scope = QStringLiteral("alle Benutzer");
        break;
    case ScopeKind::Function: {
        if (scope.function != schema::kRootId && !file.function(scope.function))
            throw NotFound(
                QStringLiteral("Die Funktion %1 gibt es nicht.").arg(scope.function).toStdString());
        if (scope.function != schema::kRootId)
            m_functions.push_back(scope.function);
        if (scope.below || scope.function == schema::kRootId) {
            const std::vector<qint32> below = file.below(scope.function);
            m_functions.insert(m_functions.end(), below.begin(), below.end());
        }
        const QString below = scope.below ? QStringLiteral(" mit allen Funktionen darunter") : QString();
        m_title.scope =
            QStringLiteral("Funktion %1 (%2)%3").arg(scope.function).arg(file.path(scope.function), below);
        // The head of a page names the function by its id only: a path may be long.
        m_scopeLine = QStringLiteral("Funktion %1%2").arg(scope.function).arg(below);
        break;
    }
    case ScopeKind::AllFunctions:
        for (const rights::Function &function : file.functions())
            m_functions.push_back(function.id);
        m_title.scope = QStringLiteral("alle Funktionen");
        break;
    }
    if (m_functions.size() > 1) {
        // The paths read once, before sorting compares them many times.
        std::vector<std::pair<QString, qint32>> paths;
        paths.reserve(m_functions.size());
        for (qint32 id : m_functions)
            paths.emplace_back(file.path(id), id);
        std::sort(paths.begin(), paths.end(), [](const auto &a, const auto &b) {
            const int order = store::Collation::compare(a.first, b.first);
            return order != 0 ? order < 0 : a.second < b.second;
        });
        for (std::size_t i = 0; i < paths.size(); ++i)
            m_functions[i] = paths[i].second;
    }
    if (m_scopeLine.isEmpty())
        m_scopeLine = m_title.scope;
    m_findings = rights::check(file);

    if (!m_since.isEmpty()) {
        journal::Filter period;
        period.since = m_since;
        journal::forEach(db, period, journal::Order::OldestFirst, [this](const journal::Row &row) {
            if (!isRightsChange(row.entry))
                return true;
            const QSet<QString> keys = nameKeysOf(row.entry);
            if (keys.isEmpty())
                return true;
            m_rows.push_back(row);
            for (const QString &key : keys)
                m_rowsByName[key].push_back(m_rows.size() - 1);
            return true;
        });
        m_title.since = QStringLiteral("seit %1").arg(shownDay(m_since));
    }

    m_title.source = source;
    m_title.made = made.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    m_title.madeBy = madeBy;
    const bool ofUsers = scope.kind == ScopeKind::User || scope.kind == ScopeKind::AllUsers;
    m_title.counts = {{QStringLiteral("Benutzer in der Datei"), QString::number(file.users().size())},
                      {QStringLiteral("Funktionen in der Datei"), QString::number(file.functions().size())},
                      {QStringLiteral("Zuordnungen in der Datei"), QString::number(assignmentsInFile)},
                      {ofUsers ? QStringLiteral("Benutzer in diesem Bericht")
                               : QStringLiteral("Funktionen in diesem Bericht"),
                       QString::number(ofUsers ? m_users.size() : m_functions.size())},
                      {QStringLiteral("Befunde der Prüfung"),
                       everyAssignment
                           ? QString::number(m_findings.size())
                           : QStringLiteral("%1 (von den Zuordnungen nur die dieses Berichts geprüft)")
                                 .arg(m_findings.size())}};
}

UserSection ReportContent::user(std::size_t index) const
{
    const rights::User &u = *m_users.at(index);
    UserSection section;
    section.user = u.user;
    section.realName = u.realName;
    section.initials = u.initials;
    for (const rights::User *other : m_file.usersWithInitials(u.initials)) {
        if (other != &u)
            section.sharedWith << other->user;
    }
    section.admin = !u.admin   ? QStringLiteral("nicht angegeben")
                    : *u.admin ? QStringLiteral("ja")
                               : QStringLiteral("nein");
    section.held = m_file.held(u);
    section.changes = changesOf(u);
    return section;
}

FunctionSection ReportContent::function(std::size_t index) const
{
    FunctionSection section;
    section.id = m_functions.at(index);
    section.path = m_file.path(section.id);
    for (const rights::Holder &h : m_file.holders(section.id, false))
        section.holders.push_back({h.user ? h.user->user : QStringLiteral("(kein Benutzer)"),
                                   h.user ? h.user->realName : QString(), h.initials});
    return section;
}

std::vector<Change> ReportContent::changesOf(const rights::User &user) const
{
    std::vector<Change> changes;
    if (m_since.isEmpty())
        return changes;
    std::vector<std::size_t> candidates;
    for (const QString &name : {user.user, user.initials}) {
        const auto found = m_rowsByName.find(rights::matchKey(name));
        if (found != m_rowsByName.end())
            candidates.insert(candidates.end(), found->second.begin(), found->second.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    // The journal's own test of what concerns a user decides; the names only narrowed the rows to ask.
    for (std::size_t i : candidates) {
        const journal::Entry &e = m_rows[i].entry;
        if (!concerns(m_rows[i], user))
            continue;
        Change change;
        change.when = shownDay(e.zeit, false);
        change.by = e.administrator.isEmpty() ? e.konto : e.administrator;
        change.action =
            e.aktion == schema::aktion::kRechteGeprueft
                ? e.aktion
                : QStringLiteral("%1 %2").arg(e.tabelle == schema::kBenutzer ? QStringLiteral("Benutzer")
                                                                             : QStringLiteral("Zuordnung"),
                                              e.aktion);
        const QJsonValue reviewer = journal::changeOf(e).value(QStringLiteral("Pruefer"));
        change.what = e.aktion == schema::aktion::kRechteGeprueft && reviewer.isString()
                          ? QStringLiteral("geprüft von %1").arg(reviewer.toString())
                          : journal::readableChange(e);
        if (e.tabelle == schema::kFunktionenBenutzer) {
            QStringList paths;
            for (qint32 id : functionsIn(journal::changeOf(e).value(schema::funktionenBenutzer::kFunktion)))
                if (m_file.function(id))
                    paths << QStringLiteral("%1 = %2").arg(id).arg(m_file.path(id));
            if (!paths.isEmpty())
                change.what += QStringLiteral(" (%1)").arg(paths.join(QStringLiteral("; ")));
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

} // namespace report
