#pragma once

// The access review on record: once a reviewer has been through a report, each user it covered gets one
// journal row "Rechte geprüft" naming the reviewer. From those rows the overview learns, per user, when
// their rights were last reviewed and whether the journal has changed them since; the next report offers
// that date for its changes.
//
// The window and the command line record a review through recordReview only, so that both write the same
// rows under the same rules.

#include "ReportContent.h"

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace store {
class Connection;
} // namespace store

namespace report {

// The users a report of this scope put before the reviewer: the users of the name; every user; for a
// function (with those below it, or every function) its holders that are users, each once, by name.
// Throws ReportContent::NotFound as the report would.
std::vector<const rights::User *> reviewedUsers(const rights::Snapshot &file, const Scope &scope);

// The file has no journal to record a review in.
struct NoJournal : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Records that `reviewer` has reviewed the users of `scope`: one row per user, all in one transaction,
// under the write lock and on the users the file holds then. Returns the names of the users recorded
// (none when the scope has no user: a function nobody holds). Throws NoJournal on a file without journal,
// ReportContent::NotFound when the scope's user or function is gone, StoreError.
QStringList recordReview(store::Connection &db, const Scope &scope, const QString &reviewer);

struct LastReview
{
    QString zeit;              // as the journal holds it
    QString by;                // the reviewer
    bool changedSince = false; // a later row changes the user's rights, as a report would list it
    qint64 row = 0;            // the review's row of the journal
};

// Reads, per user id of `file`, their last review; users never reviewed are not in it, nor is anyone on a
// file without journal. First the review rows, which the database picks out of the journal; then the
// journal newest first, only as far back as it takes to settle every reviewed user: changed by a later
// row, or unchanged once the read has gone back past their review. Changes are many and reviews recent,
// so the second read seldom goes far.
//
// A journal of a million rows takes seconds to go through, so it is read in slices of ids, each a step
// of its own: a window reads a step at a time and answers its user in between. `file` must outlive it.
class ReviewReader
{
public:
    ReviewReader(store::Connection &db, const rights::Snapshot &file, qint64 slice = 20000);
    ~ReviewReader();
    ReviewReader(const ReviewReader &) = delete;
    ReviewReader &operator=(const ReviewReader &) = delete;

    // Reads the next slice; returns whether everything is read. Throws StoreError.
    bool step();
    bool done() const { return m_phase == Phase::Done; }
    // Complete once done().
    const std::unordered_map<qint32, LastReview> &reviews() const { return m_reviews; }

private:
    enum class Phase
    {
        Reviews,
        Changes,
        Done
    };
    void readReviews();
    void readChanges();
    void beginChanges();

    store::Connection &m_db;
    const rights::Snapshot &m_file;
    qint64 m_slice;
    Phase m_phase = Phase::Done;
    qint64 m_first = 0, m_last = 0; // the journal's first and last row when the read began
    qint64 m_at = 0;                // where the next slice begins (reviews) or ends (changes)
    std::unordered_map<qint32, LastReview> m_reviews;
    std::unordered_map<QString, std::vector<const rights::User *>> m_named; // by the key of the name
    // While reading the changes: the reviewed users by the keys of their names and initials, their
    // reviews newest first, how many of those the read has gone back past, and the users settled.
    std::unordered_map<QString, std::vector<const rights::User *>> m_byKey;
    std::vector<std::pair<qint64, qint32>> m_byReview;
    std::size_t m_passed = 0;
    std::unordered_set<qint32> m_settled;
};

// Everything a ReviewReader reads, at once. Throws StoreError.
std::unordered_map<qint32, LastReview> lastReviews(store::Connection &db, const rights::Snapshot &file);

} // namespace report
