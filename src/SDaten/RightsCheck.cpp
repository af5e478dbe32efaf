#include "RightsCheck.h"

#include "Backup.h"
#include "Connection.h"
#include "JournalWriter.h"
#include "Schema.h"
#include "StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace rights {

namespace {

// "Zuordnung Nr. 5", "Zuordnungen Nr. 5, 6": ids, which must not read like a count.
QString assignmentIds(const std::vector<qint32> &ids)
{
    QStringList parts;
    for (qint32 id : ids)
        parts << QString::number(id);
    return (ids.size() == 1 ? QStringLiteral("Zuordnung Nr. %1") : QStringLiteral("Zuordnungen Nr. %1"))
        .arg(parts.join(QStringLiteral(", ")));
}

// Users grouped by the match key of one of their texts, in the order the keys first appear.
template <typename Key>
void checkSharedUsers(const Snapshot &file, ProblemKind kind, Key key, const QString &pattern,
                      std::vector<Problem> &out)
{
    std::unordered_map<QString, std::vector<const User *>> byKey;
    std::vector<QString> order;
    for (const User &u : file.users()) {
        auto &users = byKey[matchKey(key(u))];
        if (users.empty())
            order.push_back(matchKey(key(u)));
        users.push_back(&u);
    }
    for (const QString &k : order) {
        const auto &users = byKey[k];
        if (users.size() < 2)
            continue;
        Problem p{kind, QString(), {}};
        QStringList names;
        for (const User *u : users) {
            p.rows.push_back(u->id);
            names << store::quoted(u->user);
        }
        p.text = pattern.arg(store::quoted(key(*users.front())), names.join(QStringLiteral(", ")));
        out.push_back(std::move(p));
    }
}

void checkAssignments(const Snapshot &file, std::vector<Problem> &out)
{
    // Keys kept in order so that the list reads the same on every run.
    std::map<QString, Problem> unknown;
    std::map<qint32, Problem> missing;
    std::map<std::optional<QString>, Problem> odd; // by the Funktion as stored
    // Until the text is made, a repeat holds the initials in its text and the function's id first in its
    // rows.
    std::vector<Problem> repeated;
    std::unordered_map<qint32, std::unordered_map<QString, std::size_t>> firstOf; // function -> user -> row
    for (const Assignment &a : file.assignments()) {
        if (file.usersWithInitials(a.user).empty()) {
            Problem &p =
                unknown.try_emplace(matchKey(a.user), Problem{ProblemKind::UnknownInitials, a.user, {}})
                    .first->second;
            p.rows.push_back(a.id);
        } else if (a.oddFunction) {
            odd.try_emplace(a.oddFunction, Problem{ProblemKind::MissingFunction, QString(), {}})
                .first->second.rows.push_back(a.id);
        } else if (!file.function(a.function)) {
            missing.try_emplace(a.function, Problem{ProblemKind::MissingFunction, QString(), {}})
                .first->second.rows.push_back(a.id);
        } else {
            auto &users = firstOf[a.function];
            const auto [it, first] = users.try_emplace(matchKey(a.user), repeated.size());
            if (first)
                repeated.push_back({ProblemKind::Repeated, a.user, {a.function}});
            else
                repeated[it->second].rows.push_back(a.id);
        }
    }
    for (auto &[key, p] : unknown) {
        p.text = QStringLiteral("Die Initialien %1 gehören zu keinem Benutzer (%2)")
                     .arg(store::quoted(p.text), assignmentIds(p.rows));
        out.push_back(std::move(p));
    }
    for (auto &[function, p] : missing) {
        p.text =
            QStringLiteral("Die Funktion %1 gibt es nicht (%2)").arg(function).arg(assignmentIds(p.rows));
        out.push_back(std::move(p));
    }
    for (auto &[value, p] : odd) {
        p.text = value->isNull() ? QStringLiteral("Funktion leer (%1)").arg(assignmentIds(p.rows))
                                 : QStringLiteral("Funktion %1 ist keine Nummer (%2)")
                                       .arg(store::quoted(*value), assignmentIds(p.rows));
        out.push_back(std::move(p));
    }
    for (Problem &p : repeated) {
        if (p.rows.size() < 2)
            continue;
        const qint32 function = p.rows.front();
        p.rows.erase(p.rows.begin());
        p.text = QStringLiteral("Die Initialien %1 sind der Funktion %2 (%3) mehrfach zugeordnet "
                                "(überzählig: %4)")
                     .arg(store::quoted(p.text), store::quoted(file.path(function)))
                     .arg(function)
                     .arg(assignmentIds(p.rows));
        out.push_back(std::move(p));
    }
}

enum class Reach : char
{
    Unknown,
    OnWalk,
    Yes,
    No
};

// Finds the functions "Formulare" cannot reach: the top of a chain whose group is missing, and every ring.
void checkTree(const Snapshot &file, std::vector<Problem> &out)
{
    std::unordered_map<qint32, Reach> reach;
    for (const Function &start : file.functions()) {
        std::vector<qint32> walk;
        Reach result = Reach::No;
        for (const Function *f = &start;;) {
            Reach &state = reach[f->id];
            if (state == Reach::Yes || state == Reach::No) {
                result = state;
                break;
            }
            if (state == Reach::OnWalk) {
                std::vector<qint32> ring(std::find(walk.begin(), walk.end(), f->id), walk.end());
                std::sort(ring.begin(), ring.end());
                QStringList titles;
                for (qint32 id : ring)
                    titles << QStringLiteral("%1 (%2)").arg(store::quoted(file.function(id)->title)).arg(id);
                const QString where = ring.size() == 1 ? QStringLiteral("Die Funktion %1 liegt")
                                                       : QStringLiteral("Die Funktionen %1 liegen");
                out.push_back({ProblemKind::Ring,
                               (where + QStringLiteral(" unter sich selbst: von %2 aus nicht erreichbar"))
                                   .arg(titles.join(QStringLiteral(", ")), store::quoted(schema::kRootTitle)),
                               ring});
                break;
            }
            state = Reach::OnWalk;
            walk.push_back(f->id);
            // `where` says where the function lies instead of a group that is there.
            const auto lost = [&out, f](const QString &where) {
                out.push_back({ProblemKind::MissingGroup,
                               QStringLiteral("Die Funktion %1 (%2) liegt %3: von %4 aus nicht erreichbar")
                                   .arg(store::quoted(f->title))
                                   .arg(f->id)
                                   .arg(where, store::quoted(schema::kRootTitle)),
                               {f->id}});
            };
            if (f->noGroup) {
                lost(QStringLiteral("in keiner Gruppe (inGruppe %1)")
                         .arg(f->oddGroup.isNull() ? QStringLiteral("leer") : store::quoted(f->oddGroup)));
                break;
            }
            if (f->group == schema::kRootId) {
                result = Reach::Yes;
                break;
            }
            const Function *group = file.function(f->group);
            if (!group) {
                lost(QStringLiteral("in der Gruppe %1, die es nicht gibt").arg(f->group));
                break;
            }
            f = group;
        }
        for (qint32 id : walk)
            reach[id] = result;
    }
    if (const Function *root = file.function(schema::kRootId))
        out.push_back({ProblemKind::RootId,
                       QStringLiteral("Die Funktion %1 hat die Nummer %2 von %3 selbst: wer sie liest, hält "
                                      "sie für %3")
                           .arg(store::quoted(root->title))
                           .arg(schema::kRootId)
                           .arg(store::quoted(schema::kRootTitle)),
                       {root->id}});
}

void checkPasswords(const Snapshot &file, std::vector<Problem> &out)
{
    bool administrator = false;
    for (const User &u : file.users()) {
        if (u.password.isEmpty())
            out.push_back({ProblemKind::NoPassword,
                           QStringLiteral("Der Benutzer %1 hat kein Kennwort").arg(store::quoted(u.user)),
                           {u.id}});
        else if (u.admin.value_or(false))
            administrator = true;
    }
    if (!administrator)
        out.push_back({ProblemKind::NoAdministrator,
                       QStringLiteral("Kein Administrator hat ein Kennwort: niemand kann die Datenbank "
                                      "verwalten"),
                       {}});
}

} // namespace

std::vector<Problem> check(const Snapshot &file)
{
    std::vector<Problem> found;
    checkAssignments(file, found);
    checkSharedUsers(
        file, ProblemKind::SharedInitials, [](const User &u) { return u.initials; },
        QStringLiteral("Die Initialien %1 haben mehrere Benutzer: %2 (sie teilen ihre Rechte)"), found);
    checkTree(file, found);
    checkSharedUsers(
        file, ProblemKind::SharedUserName, [](const User &u) { return u.user; },
        QStringLiteral("Den Benutzernamen %1 haben mehrere Benutzer: %2 (keiner von ihnen kann "
                       "sich anmelden)"),
        found);
    checkPasswords(file, found);
    std::stable_sort(found.begin(), found.end(),
                     [](const Problem &a, const Problem &b) { return a.kind < b.kind; });
    return found;
}

QString findingsCount(std::size_t count)
{
    return count == 1 ? QStringLiteral("1 Befund") : QStringLiteral("%1 Befunde").arg(count);
}

CleanUp cleanUpFor(const std::vector<Problem> &problems)
{
    CleanUp plan;
    for (const Problem &p : problems) {
        switch (p.kind) {
        case ProblemKind::UnknownInitials:
        case ProblemKind::MissingFunction:
        case ProblemKind::Repeated:
            plan.dropAssignments.insert(plan.dropAssignments.end(), p.rows.begin(), p.rows.end());
            break;
        case ProblemKind::MissingGroup:
        case ProblemKind::Ring:
            // A ring's members are sorted: cutting it at its smallest id hangs the others below that one.
            plan.hangUnderRoot.push_back(p.rows.front());
            break;
        case ProblemKind::RootId: // its id is a key other rows may name: only the administrator can decide
        case ProblemKind::SharedInitials:
        case ProblemKind::SharedUserName:
        case ProblemKind::NoPassword:
        case ProblemKind::NoAdministrator:
            break; // doubtful, not junk: only the administrator can decide
        }
    }
    std::sort(plan.dropAssignments.begin(), plan.dropAssignments.end());
    return plan;
}

QString CleanUp::question() const
{
    return QStringLiteral("%1 Zuordnungen löschen und %2 unerreichbare Funktionen direkt unter %3 hängen? "
                          "Vorher wird eine Sicherungskopie der Datei angelegt.")
        .arg(dropAssignments.size())
        .arg(hangUnderRoot.size())
        .arg(store::quoted(schema::kRootTitle));
}

QString CleanUp::report() const
{
    return QStringLiteral("Bereinigt: %1 Zuordnungen gelöscht, %2 unerreichbare Funktionen direkt unter %3 "
                          "gehängt.")
        .arg(dropAssignments.size())
        .arg(hangUnderRoot.size())
        .arg(store::quoted(schema::kRootTitle));
}

QString backupName(const QString &file, const QDateTime &at)
{
    const QFileInfo info(file);
    const QString stamp = at.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    return info.dir().filePath(info.completeBaseName() + u'-' + stamp + suffix);
}

CleanedUp cleanUp(store::Connection &db, const QDateTime &at)
{
    // The write lock first: what is junk is decided on the file as nobody can change it any more.
    store::Connection::Transaction transaction(db, QString());
    CleanedUp result;
    result.done = cleanUpFor(check(Snapshot::read(db)));
    if (result.done.isEmpty())
        return {};
    const QString target = backupName(db.fileName(), at);
    store::backupBeforeChanging(db, target);
    result.backup = target;
    // Each row the clean-up changes or deletes is recorded as its doing.
    std::optional<journal::Writer::As> recordedAs;
    if (journal::Writer *writer = journal::writerOf(db))
        recordedAs.emplace(*writer, schema::aktion::kBereinigung);
    try {
        const auto run = [&db](const QStringList &lines) { db.execute(lines.join(QStringLiteral("\r\n"))); };
        for (qint32 id : result.done.dropAssignments)
            run(schema::dropAssignment(id));
        for (qint32 id : result.done.hangUnderRoot)
            run(schema::hangUnder(id, schema::kRootId));
        transaction.commit();
    } catch (const store::StoreError &e) {
        // A copy of a clean-up that never happened would only mislead.
        if (QFile::remove(target))
            throw;
        throw store::StoreError(QStringLiteral("%1 Die Sicherungskopie %2 ließ sich nicht wieder entfernen.")
                                    .arg(e.message(), store::quoted(target)));
    }
    return result;
}

} // namespace rights
