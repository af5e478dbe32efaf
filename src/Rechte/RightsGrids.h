#pragma once

// The lists of the rights window, made from one reading of the file; no widgets, so tests and the
// benchmark use them as the window does.

#include "Review.h"
#include "RightsCheck.h"
#include "TextGrid.h"

namespace rechte {

// Every user: "Benutzer", "Name", "Initialien", and from `reviews` (by user id) the day of the last
// review, "Geprüft", and "Seit Prüfung": "geändert seit Prüfung" or "unverändert"; both empty for a user
// never reviewed. Row i is users()[i], shown by user name; the filter looks at the names only.
TextGrid usersGrid(const rights::Snapshot &file,
                   const std::unordered_map<qint32, report::LastReview> &reviews = {});
// The functions a user holds: "Funktion" (its full path), "Id", "Geteilt mit" (the other users with the
// same initials, who hold it too).
TextGrid heldGrid(const rights::Snapshot &file, const rights::User &user);
// Every function: "Funktion" (its full path), "Id"; row i is functions()[i], shown by path; the filter
// looks at the path only.
TextGrid functionsGrid(const rights::Snapshot &file);
// Who holds the function (and with `below` any function under it): "Benutzer", "Name", "Initialien",
// "Über Funktion" (the path of the function below through which they hold it; empty for the function
// itself). Initials that match no user stand without a name.
TextGrid holdersGrid(const rights::Snapshot &file, qint32 function, bool below);
// Every assignment: "Benutzer", "Initialien", "Gruppe", "Titel"; initials shared by several users give one
// row per user. `assignmentOf`, when given, gets each row's place in assignments().
TextGrid assignmentsGrid(const rights::Snapshot &file, std::vector<std::size_t> *assignmentOf = nullptr);
// The assignments among the rows (all of them when `rows` is null), each counted once.
std::size_t distinctAssignments(const std::vector<std::size_t> &assignmentOf,
                                const std::vector<int> *rows = nullptr);
// The count below "Alle Zuordnungen": "7 von 8 Zuordnungen", or where shared initials make more rows than
// assignments, both ("9 von 10 Zeilen, 7 von 8 Zuordnungen"). `all` is distinctAssignments(assignmentOf).
QString assignmentsCount(const TextGrid &grid, const std::vector<std::size_t> &assignmentOf, std::size_t all);
// The check's findings: "Art", "Bereinigen" (what the clean-up does about it, if anything), "Befund".
TextGrid findingsGrid(const std::vector<rights::Problem> &problems);

} // namespace rechte
