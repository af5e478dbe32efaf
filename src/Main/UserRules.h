#pragma once

// The rules of the users page that need no window: what a save checks, what the delete asks, and which
// assignments a deleted user takes along. The page's handlers call them; tests call them directly.

#include "RecordSet.h"

#include <QString>

#include <optional>

namespace store {
class Connection;
}

namespace userrules {

// The warning that stops the save of a user record, or nothing when it may be stored. The checks run in
// this order and the first that fails is the only one shown: an empty user name, then an empty account.
// Blanks count as content.
std::optional<QString> saveProblem(const QString &user, const QString &ntUser);

// "Wollen Sie den Benutzer %s (%s) wirklich löschen", without a question mark.
QString deleteQuestion(const QString &user, const QString &realName);

// The initials whose assignments a delete of the current user may clean up, or nothing when the delete
// removes no stored user (a new record is only abandoned). An edited but unsaved Initialien does not
// count: the assignments belong to the initials stored in the file.
std::optional<QString> initialsToCleanUp(const store::RecordSet &users);
// The initials the user `userId` has in the file now, or nothing when the user is gone. Read under the
// write lock, since another program may have given them other initials, and their assignments with them.
std::optional<QString> storedInitials(store::Connection &db, qint32 userId);

// Whether a stored user other than `userId` has these initials, compared as the store compares text (so
// "ab" and "AB" are the same initials). Their assignments are that user's too and must stay.
bool initialsSharedWithOthers(store::Connection &db, const QString &initials, qint32 userId);

// "Benutzername bereits vergeben!" when saving the users' current record would give a second stored user
// its name (compared as the logon's look-up compares, which could then tell neither apart), else nothing.
// Only a duplicate the save makes is refused: a file that holds one already still lets both be edited.
std::optional<QString> duplicateNameProblem(store::Connection &db, const store::RecordSet &users);

// For a stored user whose Initialien are being changed, inside the transaction that stores the user: the
// assignments of the old initials go to the new ones, unless another stored user still has the old ones
// (then they are that user's too and stay). Returns whether any assignment changed.
bool followChangedInitials(store::Connection &db, const store::RecordSet &users);

} // namespace userrules
