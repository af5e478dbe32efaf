#pragma once

#include "Harness.h"

#include <QString>

#include <vector>

// The cases of bench-report on the large file given, each printing its figure beside the figure it is
// measured against in the same run.
namespace reportbench {

// What a reviewer waits for: "sicherheit-db report" of one user, of one function, of a group with the
// functions below it, and of one user with the changes of the whole journal, from the command's start to
// its end, each against the budget of one second.
std::vector<bench::Result> oneSection(const QString &file, int reps);

// The report of every user in a process of its own (this program again, with --child): the PDF against
// the same sections' text written line by line to a plain file, both from the content made, and the
// highest resident memory while the PDF is written against before it. `memoryMet` tells whether the
// growth kept to its goal.
std::vector<bench::Result> allUsers(const QString &file, bool *memoryMet);

// The child's side of allUsers(): prints "text SECONDS pdf SECONDS pages N before MB peak MB start MB".
int allUsersChild(const QString &file, const QString &scratch);

} // namespace reportbench
