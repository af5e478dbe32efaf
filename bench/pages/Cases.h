#pragma once

#include "Harness.h"

#include <QString>

#include <vector>

namespace pages {

class Dialogs;

// Saving one changed user through the users page (typed into "Vollst. Name", then "&Speichern"), against
// a bare durable UPDATE of the same row on a copy of the file. The median of REPS saves each.
std::vector<bench::Result> saveUser(Dialogs &dialogs, const QString &file, const QString &copy, int reps);

// Key Down in the users grid MOVES times, in stretches spread over the users, the page shown and every
// move painted, against a bare read of each row by its key; also as many moves of the record set alone.
std::vector<bench::Result> moveThroughUsers(Dialogs &dialogs, const QString &file, int users, int moves);

// "alle Benutzer in Gruppe hinzufügen" for every user, against a bare insert of the same rows in one
// transaction on a copy of the file; also against its time budget. The median of REPS runs each.
std::vector<bench::Result> addAllUsers(Dialogs &dialogs, const QString &file, const QString &copy, int reps);

// Group changes (as the group tree makes them) and drill-downs (double clicks in the functions grid) on a
// large and a small function tree: the cost per change must not grow with the table.
std::vector<bench::Result> groupChanges(Dialogs &dialogs, const QString &smallFile, int smallRows,
                                        const QString &largeFile, int largeRows, int changes);

} // namespace pages
