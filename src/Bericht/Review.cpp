#include "Review.h"

#include "Collation.h"
#include "Connection.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "Schema.h"
#include "StoreError.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <unordered_set>

namespace report {

namespace {

const QString kPruefer = QStringLiteral("Pruefer");

// The functions of a function's scope, as the report lists them: the root stands for all below it.
std::vector<qint32> functionsOf(const rights::Snapshot &file, const Scope &scope)
{
    std::vector<qint32> ids;
    if (scope.kind == ScopeKind::AllFunctions) {
        for (const rights::Function &f : file.functions())
            ids.push_back(f.id);
        return ids;
    }
    if (scope.function != schema::kRootId && !file.function(scope.function))
        throw ReportContent::NotFound(
            QStringLiteral("Die Funktion %1 gibt es nicht.").arg(scope.function).toStdString());
    if (scope.function != schema::kRootId)
        ids.push_back(scope.function);
    if (scope.below || scope.function == schema::kRootId) {
        const std::vector<qint32> below = file.below(scope.function);
        ids.insert(ids.end(), below.begin(), below.end());
    }
    return ids;
}

} // namespace

std::vector<const rights::User *> reviewedUsers(const rights::Snapshot &file, const Scope &scope)
{
    std::vector<const rights::User *> users;
    switch (scope.kind) {
    case ScopeKind::User:
        users = file.usersNamed(scope.user);
        if (users.empty())
            throw ReportContent::NotFound(
                QStringLiteral("Den Benutzer „%1“ gibt es nicht.").arg(scope.user).toStdString());
        return users;
    case ScopeKind::AllUsers:
        for (const rights::User &u : file.users())
            users.push_back(&u);
        break;
    case ScopeKind::Function:
    case ScopeKind::AllFunctions: {
        std::unordered_set<const rights::User *> seen;
        for (qint32 id : functionsOf(file, scope)) {
            for (std::size_t a : file.assignmentsTo(id)) {
                for (const rights::User *u : file.usersWithInitials(file.assignments()[a].user)) {
                    if (seen.insert(u).second)
                        users.push_back(u);
                }
            }
        }
        break;
    }
    }
    std::sort(users.begin(), users.end(), [](const rights::User *a, const rights::User *b) {
        const int order = store::Collation::compare(a->user, b->user);
        return order != 0 ? order < 0 : a->id < b->id;
    });
    return users;
}

QStringList recordReview(store::Connection &db, const Scope &scope, const QString &reviewer)
{
    journal::Writer *writer = journal::writerOf(db);
    // Under the write lock: the users reviewed are the ones the file holds now.
    store::Connection::Transaction transaction(db, QStringLiteral("(Prüfung)"));
    if (!db.hasTable(schema::kProtokoll) || !writer)
        throw NoJournal("Die Datei hat kein Änderungsprotokoll.");
    const rights::Snapshot file = rights::Snapshot::read(db);
    QStringList names;
    for (const rights::User *user : reviewedUsers(file, scope)) {
        const QJsonObject change{{schema::benutzer::kUser, user->user}, {kPruefer, reviewer}};
        writer->record(db, schema::kBenutzer, user->id, schema::aktion::kRechteGeprueft,
                       QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact)));
        names << user->user;
    }
    transaction.commit();
    return names;
}

std::unordered_map<qint32, LastReview> lastReviews(store::Connection &db, const rights::Snapshot &file)
{
    std::unordered_map<qint32, LastReview> last;
    if (!db.hasTable(schema::kProtokoll))
        return last;
    // The review rows only, which the database picks out of the journal; the newest of each user's counts.
    journal::Filter reviews;
    reviews.aktion = schema::aktion::kRechteGeprueft;
    journal::forEach(db, reviews, journal::Order::OldestFirst, [&](const journal::Row &row) {
        const QJsonObject change = journal::changeOf(row.entry);
        for (const rights::User *user : file.usersNamed(change.value(schema::benutzer::kUser).toString())) {
            if (concerns(row, *user))
                last[user->id] = {row.entry.zeit, change.value(kPruefer).toString(), false};
        }
        return true;
    });
    if (last.empty())
        return last;

    // The users reviewed, by the keys of their names and initials, for the rows since the earliest review.
    QString earliest = last.begin()->second.zeit;
    std::unordered_map<QString, std::vector<const rights::User *>> byKey;
    for (const rights::User &user : file.users()) {
        const auto found = last.find(user.id);
        if (found == last.end())
            continue;
        earliest = std::min(earliest, found->second.zeit);
        byKey[rights::matchKey(user.user)].push_back(&user);
        if (rights::matchKey(user.initials) != rights::matchKey(user.user))
            byKey[rights::matchKey(user.initials)].push_back(&user);
    }
    std::size_t open = last.size(); // reviews not yet known to be followed by a change
    journal::Filter since;
    since.since = earliest;
    journal::forEach(db, since, journal::Order::OldestFirst, [&](const journal::Row &row) {
        const journal::Entry &e = row.entry;
        if (e.aktion == schema::aktion::kRechteGeprueft || !isRightsChange(e))
            return true;
        for (const QString &key : nameKeysOf(e)) {
            const auto users = byKey.find(key);
            if (users == byKey.end())
                continue;
            for (const rights::User *user : users->second) {
                LastReview &review = last[user->id];
                if (!review.changedSince && e.zeit > review.zeit && concerns(row, *user)) {
                    review.changedSince = true;
                    --open;
                }
            }
        }
        return open > 0; // once every reviewed user has changed, the rest of the journal tells nothing new
    });
    return last;
}

} // namespace report
