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
    if (!db.hasTable(schema::kProtokoll))
        throw NoJournal("Die Datei hat kein Änderungsprotokoll.");
    if (!writer)
        throw store::StoreError(
            QStringLiteral("Die Prüfung kann nicht vermerkt werden: diese Verbindung führt "
                           "kein Änderungsprotokoll."));
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

ReviewReader::ReviewReader(store::Connection &db, const rights::Snapshot &file, qint64 slice)
    : m_db(db), m_file(file), m_slice(std::max<qint64>(1, slice))
{
    if (!db.hasTable(schema::kProtokoll))
        return;
    // The first and the last row; a journal written on meanwhile is read again with the file.
    journal::forEach(db, {}, journal::Order::OldestFirst, [this](const journal::Row &row) {
        m_first = row.id;
        return false;
    });
    journal::forEach(db, {}, journal::Order::NewestFirst, [this](const journal::Row &row) {
        m_last = row.id;
        return false;
    });
    if (m_last < m_first || m_last == 0)
        return;
    // Looked up once per review row: every user of a large file reviewed at once is as many rows.
    for (const rights::User &user : file.users())
        m_named[rights::matchKey(user.user)].push_back(&user);
    m_phase = Phase::Reviews;
    m_at = m_first;
}

ReviewReader::~ReviewReader() = default;

bool ReviewReader::step()
{
    if (m_phase == Phase::Reviews)
        readReviews();
    else if (m_phase == Phase::Changes)
        readChanges();
    return done();
}

void ReviewReader::readReviews()
{
    journal::Filter reviews;
    reviews.aktion = schema::aktion::kRechteGeprueft;
    reviews.fromId = m_at;
    reviews.toId = m_at + m_slice;
    // Oldest first: the newest of each user's reviews counts.
    journal::forEach(m_db, reviews, journal::Order::OldestFirst, [this](const journal::Row &row) {
        const QJsonObject change = journal::changeOf(row.entry);
        const auto named = m_named.find(rights::matchKey(change.value(schema::benutzer::kUser).toString()));
        if (named == m_named.end())
            return true;
        for (const rights::User *user : named->second) {
            if (concerns(row, *user))
                m_reviews[user->id] = {row.entry.zeit, change.value(kPruefer).toString(), false, row.id};
        }
        return true;
    });
    m_at += m_slice;
    if (m_at > m_last)
        beginChanges();
}

void ReviewReader::beginChanges()
{
    if (m_reviews.empty()) {
        m_phase = Phase::Done;
        return;
    }
    for (const rights::User &user : m_file.users()) {
        const auto found = m_reviews.find(user.id);
        if (found == m_reviews.end())
            continue;
        m_byReview.emplace_back(found->second.row, user.id);
        m_byKey[rights::matchKey(user.user)].push_back(&user);
        if (rights::matchKey(user.initials) != rights::matchKey(user.user))
            m_byKey[rights::matchKey(user.initials)].push_back(&user);
    }
    std::sort(m_byReview.begin(), m_byReview.end(), std::greater<>());
    m_phase = Phase::Changes;
    m_at = m_last + 1;
}

void ReviewReader::readChanges()
{
    journal::Filter slice;
    slice.fromId = std::max(m_first, m_at - m_slice);
    slice.toId = m_at;
    journal::forEach(m_db, slice, journal::Order::NewestFirst, [this](const journal::Row &row) {
        for (; m_passed < m_byReview.size() && m_byReview[m_passed].first >= row.id; ++m_passed)
            m_settled.insert(m_byReview[m_passed].second);
        if (m_settled.size() == m_byReview.size())
            return false;
        const journal::Entry &e = row.entry;
        if (e.aktion == schema::aktion::kRechteGeprueft || !isRightsChange(e))
            return true;
        for (const QString &key : nameKeysOf(e)) {
            const auto users = m_byKey.find(key);
            if (users == m_byKey.end())
                continue;
            for (const rights::User *user : users->second) {
                if (!m_settled.contains(user->id) && concerns(row, *user)) {
                    m_reviews[user->id].changedSince = true;
                    m_settled.insert(user->id);
                }
            }
        }
        return m_settled.size() < m_byReview.size();
    });
    m_at = slice.fromId;
    // Read back to the first row, every review has been passed: who is not changed by now is not.
    if (m_settled.size() == m_byReview.size() || m_at <= m_first)
        m_phase = Phase::Done;
}

std::unordered_map<qint32, LastReview> lastReviews(store::Connection &db, const rights::Snapshot &file)
{
    ReviewReader reader(db, file);
    while (!reader.step()) {
    }
    return reader.reviews();
}

} // namespace report
