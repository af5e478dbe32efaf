#include "Rights.h"

#include "Collation.h"
#include "Connection.h"
#include "GroupTree.h"
#include "Query.h"
#include "RecordSet.h"
#include "Schema.h"
#include "StoreError.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace rights {

namespace {

const std::vector<std::size_t> kNone;

// A whole number as stored; empty for an empty field, a text, a fraction or what 32 bits cannot hold.
std::optional<qint32> wholeNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            return static_cast<qint32>(n);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

Assignment assignmentOf(qint32 id, const QVariant &stored, const QString &initials)
{
    // 'abc' or 3.5 read as a number would be function 0 or 4: named as stored instead.
    const std::optional<qint32> function = wholeNumber(stored);
    std::optional<QString> odd;
    if (!function)
        odd = stored.isNull() ? QString() : stored.toString();
    return {id, function.value_or(0), initials, odd};
}

// A whole table, read through the store with the program's field layout.
class TableReader
{
public:
    TableReader(store::Connection &db, const QString &table, const std::vector<store::FieldDef> &fields)
        : m_set(table)
    {
        m_set.setConnection(&db);
        m_set.setTableName(table);
        m_set.setFieldDefs(fields);
        m_set.open();
    }
    int rows() const { return m_set.rowCount(); }
    QVariant at(int row, const QString &field) const { return m_set.valueAt(row, m_set.fieldIndex(field)); }
    QString text(int row, const QString &field) const { return at(row, field).toString(); }
    qint32 integer(int row, const QString &field) const { return at(row, field).toInt(); }
    std::optional<qint32> whole(int row, const QString &field) const { return wholeNumber(at(row, field)); }

private:
    store::RecordSet m_set;
};

std::vector<User> readUsers(store::Connection &db)
{
    using namespace schema::benutzer;
    const TableReader t(db, schema::kBenutzer, schema::userListFields());
    std::vector<User> users;
    users.reserve(static_cast<std::size_t>(t.rows()));
    for (int r = 0; r < t.rows(); ++r) {
        const QVariant admin = t.at(r, kAdmin);
        users.push_back({t.integer(r, kId), t.text(r, kUser), t.text(r, kRealName), t.text(r, kInitialien),
                         t.text(r, kNTUser), t.text(r, kPasswort),
                         admin.isNull() ? std::nullopt : std::optional<bool>(admin.toBool())});
    }
    return users;
}

std::vector<Function> readFunctions(store::Connection &db)
{
    using namespace schema::funktionen;
    const TableReader t(db, schema::kFunktionen, schema::funktionenFields());
    std::vector<Function> functions;
    functions.reserve(static_cast<std::size_t>(t.rows()));
    for (int r = 0; r < t.rows(); ++r) {
        // An empty group (or 'abc') is missing, not the root: read as 0 it would put the function under
        // "Formulare" here while the tree, which asks for inGruppe = 0, never shows it there.
        const std::optional<qint32> group = t.whole(r, kInGruppe);
        const QVariant stored = t.at(r, kInGruppe);
        functions.push_back({t.integer(r, kId), t.text(r, kTitel), group.value_or(0), !group,
                             group || stored.isNull() ? QString() : stored.toString()});
    }
    return functions;
}

std::vector<Assignment> readAssignments(store::Connection &db)
{
    using namespace schema::funktionenBenutzer;
    const TableReader t(db, schema::kFunktionenBenutzer, schema::funktionenBenutzerFields());
    std::vector<Assignment> assignments;
    assignments.reserve(static_cast<std::size_t>(t.rows()));
    for (int r = 0; r < t.rows(); ++r)
        assignments.push_back(assignmentOf(t.integer(r, kId), t.at(r, kFunktion), t.text(r, kUser)));
    return assignments;
}

// The rows a select of Funktionen_Benutzer gives, added to `into` unless their id is there already.
void readAssignmentsInto(store::Connection &db, const QStringList &select, std::unordered_set<qint32> &ids,
                         std::vector<Assignment> &into)
{
    using namespace schema::funktionenBenutzer;
    store::Query q(db, schema::kFunktionenBenutzer, select);
    int id = -1, function = -1, user = -1;
    while (q.next()) {
        if (id < 0) {
            id = q.field(kId);
            function = q.field(kFunktion);
            user = q.field(kUser);
        }
        const qint32 row = q.asInteger(id);
        if (ids.insert(row).second)
            into.push_back(assignmentOf(row, q.value(function), q.value(user).toString()));
    }
}

bool sortsBefore(const QString &a, const QString &b)
{
    return store::Collation::compare(a, b) < 0;
}

// The place of each row's text among the distinct texts in the store's order; texts the store takes for
// equal share a place, so that a stable sort by places keeps their rows in the file's order.
void rankInto(const std::vector<OverviewRow> &rows, QString OverviewRow::*text, std::vector<int> *ranks)
{
    QHash<QString, int> place;
    std::vector<QString> distinct;
    for (const OverviewRow &row : rows) {
        if (!place.contains(row.*text)) {
            place.insert(row.*text, 0);
            distinct.push_back(row.*text);
        }
    }
    std::sort(distinct.begin(), distinct.end(), sortsBefore);
    int rank = 0;
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        if (i > 0 && sortsBefore(distinct[i - 1], distinct[i]))
            ++rank;
        place[distinct[i]] = rank;
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        (*ranks)[i] = place.value(rows[i].*text);
}

} // namespace

QString matchKey(const QString &text)
{
    return text.toCaseFolded();
}

Snapshot::Snapshot(std::vector<User> users, std::vector<Function> functions,
                   std::vector<Assignment> assignments)
    : m_users(std::move(users)), m_functions(std::move(functions)), m_assignments(std::move(assignments))
{
    for (std::size_t i = 0; i < m_functions.size(); ++i) {
        m_functionAt.emplace(m_functions[i].id, i);
        if (!m_functions[i].noGroup)
            m_children[m_functions[i].group].push_back(m_functions[i].id);
    }
    indexAssignments();
    for (std::size_t i = 0; i < m_users.size(); ++i)
        m_usersByInitials[matchKey(m_users[i].initials)].push_back(i);
}

void Snapshot::indexAssignments()
{
    m_byFunction.clear();
    m_byInitials.clear();
    for (std::size_t i = 0; i < m_assignments.size(); ++i) {
        if (!m_assignments[i].oddFunction)
            m_byFunction[m_assignments[i].function].push_back(i);
        m_byInitials[matchKey(m_assignments[i].user)].push_back(i);
    }
}

Snapshot Snapshot::read(store::Connection &db)
{
    const store::Connection::ReadTransaction oneMoment(db);
    return Snapshot(readUsers(db), readFunctions(db), readAssignments(db));
}

Snapshot Snapshot::readWithoutAssignments(store::Connection &db)
{
    const store::Connection::ReadTransaction oneMoment(db);
    return Snapshot(readUsers(db), readFunctions(db), {});
}

Snapshot Snapshot::withAssignmentsOf(store::Connection &db, const std::vector<QString> &initials,
                                     const std::vector<qint32> &functions) &&
{
    std::unordered_set<qint32> ids;
    std::vector<Assignment> assignments;
    std::unordered_set<QString> keys;
    for (const QString &text : initials) {
        if (keys.insert(matchKey(text)).second)
            readAssignmentsInto(db, schema::assignmentsOfInitials(text), ids, assignments);
    }
    for (qint32 function : functions)
        readAssignmentsInto(db, schema::assignmentsOfFunction(function), ids, assignments);
    // In the file's order, as a whole reading gives them: the first of repeated assignments stays first.
    std::sort(assignments.begin(), assignments.end(),
              [](const Assignment &a, const Assignment &b) { return a.id < b.id; });
    return std::move(*this).withAssignments(std::move(assignments));
}

Snapshot Snapshot::withEveryAssignment(store::Connection &db) &&
{
    return std::move(*this).withAssignments(readAssignments(db));
}

// The users and functions, with what is known of them, move on; only the assignments are indexed anew.
Snapshot Snapshot::withAssignments(std::vector<Assignment> assignments) &&
{
    Snapshot out(std::move(*this));
    out.m_assignments = std::move(assignments);
    out.indexAssignments();
    return out;
}

const Function *Snapshot::function(qint32 id) const
{
    const auto it = m_functionAt.find(id);
    return it == m_functionAt.end() ? nullptr : &m_functions[it->second];
}

const Function *Snapshot::functionOf(const Assignment &a) const
{
    return a.oddFunction ? nullptr : function(a.function);
}

std::vector<const User *> Snapshot::usersNamed(const QString &name) const
{
    std::vector<const User *> found;
    const QString key = matchKey(name);
    for (const User &u : m_users) {
        if (matchKey(u.user) == key)
            found.push_back(&u);
    }
    return found;
}

std::vector<const User *> Snapshot::usersWithInitials(const QString &initials) const
{
    std::vector<const User *> found;
    const auto it = m_usersByInitials.find(matchKey(initials));
    if (it != m_usersByInitials.end()) {
        for (std::size_t i : it->second)
            found.push_back(&m_users[i]);
    }
    return found;
}

const std::vector<std::size_t> &Snapshot::assignmentsOf(const QString &initials) const
{
    const auto it = m_byInitials.find(matchKey(initials));
    return it == m_byInitials.end() ? kNone : it->second;
}

const std::vector<std::size_t> &Snapshot::assignmentsTo(qint32 function) const
{
    const auto it = m_byFunction.find(function);
    return it == m_byFunction.end() ? kNone : it->second;
}

std::vector<qint32> Snapshot::below(qint32 id) const
{
    std::vector<qint32> found;
    std::unordered_set<qint32> seen{id};
    std::vector<qint32> todo{id};
    while (!todo.empty()) {
        const qint32 group = todo.back();
        todo.pop_back();
        const auto it = m_children.find(group);
        if (it == m_children.end())
            continue;
        for (qint32 child : it->second) {
            // A ring leads back to a function already found.
            if (seen.insert(child).second) {
                found.push_back(child);
                todo.push_back(child);
            }
        }
    }
    return found;
}

QString Snapshot::path(qint32 id) const
{
    if (id == schema::kRootId)
        return schema::kRootTitle;
    if (const auto known = m_paths.find(id); known != m_paths.end())
        return known->second;
    // Up to the root, a function whose path is known, a missing group or a function met before.
    std::vector<const Function *> chain;
    std::unordered_set<qint32> onChain;
    QString top;
    for (const Function *f = function(id); f; f = function(f->group)) {
        if (!onChain.insert(f->id).second) {
            top = kUnreachable;
            break;
        }
        chain.push_back(f);
        if (f->noGroup)
            break;
        if (f->group == schema::kRootId) {
            top = schema::kRootTitle;
            break;
        }
        if (const auto known = m_paths.find(f->group); known != m_paths.end()) {
            top = known->second;
            break;
        }
    }
    if (chain.empty())
        return QString::number(id);
    if (top.isEmpty())
        top = kUnreachable;
    QString path = top;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += kPathSeparator + (*it)->title;
        m_paths.emplace((*it)->id, path);
    }
    return path;
}

std::vector<Held> Snapshot::held(const User &user) const
{
    const bool shared = usersWithInitials(user.initials).size() > 1;
    std::vector<Held> out;
    std::unordered_set<qint32> seen;
    for (std::size_t i : assignmentsOf(user.initials)) {
        const qint32 f = m_assignments[i].function;
        if (functionOf(m_assignments[i]) && seen.insert(f).second)
            out.push_back({f, path(f), shared});
    }
    std::sort(out.begin(), out.end(),
              [](const Held &a, const Held &b) { return sortsBefore(a.path, b.path); });
    return out;
}

std::vector<Holder> Snapshot::holders(qint32 function, bool below) const
{
    std::vector<qint32> functions{function};
    if (below) {
        const std::vector<qint32> under = this->below(function);
        functions.insert(functions.end(), under.begin(), under.end());
    }
    std::vector<Holder> out;
    for (qint32 f : functions) {
        std::unordered_set<QString> seen; // repeats of one assignment name their holders once
        for (std::size_t i : assignmentsTo(f)) {
            const QString &initials = m_assignments[i].user;
            if (!seen.insert(matchKey(initials)).second)
                continue;
            const std::vector<const User *> users = usersWithInitials(initials);
            if (users.empty())
                out.push_back({nullptr, initials, f});
            for (const User *u : users)
                out.push_back({u, initials, f});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Holder &a, const Holder &b) {
        return sortsBefore(a.user ? a.user->user : a.initials, b.user ? b.user->user : b.initials);
    });
    return out;
}

std::vector<OverviewRow> Snapshot::overview() const
{
    std::vector<OverviewRow> rows;
    rows.reserve(m_assignments.size());
    for (std::size_t i = 0; i < m_assignments.size(); ++i) {
        const Assignment &a = m_assignments[i];
        const Function *f = functionOf(a);
        if (!f)
            continue;
        const QString group = f->noGroup ? kUnreachable : path(f->group);
        const std::vector<const User *> users = usersWithInitials(a.user);
        if (users.empty())
            rows.push_back({i, QString(), a.user, group, f->title, f->id});
        for (const User *u : users)
            rows.push_back({i, u->user, a.user, group, f->title, f->id});
    }
    // A million rows share a few thousand names and paths: those are put in order once, and the rows by
    // their places, so that the collation is not asked on every comparison of the sort.
    std::vector<int> userRank(rows.size());
    std::vector<int> groupRank(rows.size());
    rankInto(rows, &OverviewRow::user, &userRank);
    rankInto(rows, &OverviewRow::group, &groupRank);
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (userRank[a] != userRank[b])
            return userRank[a] < userRank[b];
        return groupRank[a] < groupRank[b];
    });
    std::vector<OverviewRow> sorted;
    sorted.reserve(rows.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(rows[i]));
    return sorted;
}

std::vector<qint32> Snapshot::lacking(const User &source, const User &target) const
{
    std::unordered_set<qint32> has;
    for (std::size_t i : assignmentsOf(target.initials)) {
        if (!m_assignments[i].oddFunction)
            has.insert(m_assignments[i].function);
    }
    std::vector<qint32> out;
    for (std::size_t i : assignmentsOf(source.initials)) {
        const qint32 f = m_assignments[i].function;
        if (functionOf(m_assignments[i]) && has.insert(f).second)
            out.push_back(f);
    }
    return out;
}

void requireUser(store::Connection &db, qint32 userId, const QString &userName, const QString &initials,
                 const QString &notStored)
{
    if (!store::Query(db, schema::kBenutzer, schema::userHeld(userId, initials)).next())
        throw store::StoreError(
            QStringLiteral("Der Benutzer \"%1\" mit den Initialien \"%2\" wurde inzwischen "
                           "von einem anderen Programm gelöscht oder hat andere Initialien "
                           "bekommen; %3")
                .arg(userName, initials, notStored));
}

void requireFunction(store::Connection &db, qint32 function, const QString &title, const QString &notStored)
{
    if (!store::Query(db, schema::kFunktionen, schema::functionHeld(function)).next())
        throw store::StoreError(
            QStringLiteral("Die Funktion \"%1\" wurde inzwischen von einem anderen Programm gelöscht; %2")
                .arg(title, notStored));
}

void requireGroup(store::Connection &db, qint32 group, const QString &title, const QString &notStored)
{
    if (!grouptree::holds(db, group))
        throw store::StoreError(
            QStringLiteral("Die Gruppe \"%1\" wurde inzwischen von einem anderen Programm gelöscht; %2")
                .arg(title, notStored));
}

std::vector<QString> stillHeld(store::Connection &db, const std::vector<QString> &initials)
{
    std::unordered_set<QString> held;
    store::Query rows(db, schema::kBenutzer, schema::everyInitials());
    while (rows.next())
        held.insert(matchKey(rows.asString(0)));
    std::vector<QString> out;
    for (const QString &i : initials) {
        if (held.contains(matchKey(i)))
            out.push_back(i);
    }
    return out;
}

int copyRights(store::Connection &db, const Snapshot &file, const User &source, const User &target)
{
    const std::vector<qint32> functions = file.lacking(source, target);
    if (functions.empty())
        return 0;
    // The numbers one query reads in its field.
    const auto numbers = [&db](const QString &table, const QStringList &query, const QString &field,
                               std::unordered_set<qint32> &into) {
        store::Query rows(db, table, query);
        int at = -1;
        while (rows.next()) {
            if (at < 0)
                at = rows.field(field);
            into.insert(rows.asInteger(at));
        }
    };
    // The failure's message names its cause and the file; a word after it would read as a stray.
    store::Connection::Transaction transaction(db, QString());
    // Looked at again under the write lock: since the file was read, another program may have given a
    // function already or deleted it, and a second assignment or one to nothing would be junk; or deleted
    // the target or given them other initials.
    requireUser(db, target.id, target.user, target.initials,
                QStringLiteral("die Rechte wurden nicht übernommen."));
    std::unordered_set<qint32> held;
    constexpr std::size_t kIdsAtOnce = 1000;
    for (std::size_t from = 0; from < functions.size(); from += kIdsAtOnce) {
        const auto to =
            functions.begin() + static_cast<std::ptrdiff_t>(std::min(functions.size(), from + kIdsAtOnce));
        numbers(schema::kFunktionen,
                schema::functionsHeld({functions.begin() + static_cast<std::ptrdiff_t>(from), to}),
                schema::funktionen::kId, held);
    }
    std::unordered_set<qint32> given;
    numbers(schema::kFunktionenBenutzer, schema::assignmentsOfInitials(target.initials),
            schema::funktionenBenutzer::kFunktion, given);
    std::vector<std::vector<QVariant>> rows;
    for (qint32 f : functions) {
        if (held.contains(f) && !given.contains(f))
            rows.push_back({f, target.initials});
    }
    const int added =
        db.insertRows(schema::kFunktionenBenutzer,
                      {schema::funktionenBenutzer::kFunktion, schema::funktionenBenutzer::kUser}, rows);
    transaction.commit();
    return added;
}

} // namespace rights
