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
    bool changedSince = false; // a row after it changes the user's rights, as a report would list it
};

// Per user id of `file`, their last review; users never reviewed are not in it, nor is anyone on a file
// without journal. Reads the review rows in one pass narrowed by the database, then the rows since the
// earliest of those reviews once. Throws StoreError.
std::unordered_map<qint32, LastReview> lastReviews(store::Connection &db, const rights::Snapshot &file);

} // namespace report
