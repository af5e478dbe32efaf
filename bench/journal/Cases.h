#pragma once

#include "Harness.h"

#include <QString>

#include <vector>

// The cases of bench-journal, each on the large file given and each printing its figure beside the figure
// it is measured against in the same run. The read cases leave the file as it is; the write cases add to
// it, rows and journal alike.
namespace journalbench {

// "sicherheit-db journal FILE --since" a day before the journal's last row, the real command with its
// text output thrown away, against its budget; beside it the same rows read in the process through
// journal::forEach and bare SQLite reading them by the index on Zeit.
std::vector<bench::Result> sinceOneDay(const QString &file, int reps);

// The chain check (journal::firstBroken) of the whole journal against bare SQLite reading the same rows'
// fields and hashing them with SHA-256 in the same byte layout.
std::vector<bench::Result> chainCheck(const QString &file, int reps);

// Saving one changed user through the users' record set, with the journal's writer on the connection and
// without any, in turns on the same file.
std::vector<bench::Result> saveUser(const QString &file, int reps);

// "alle Benutzer": one function assigned to every user in one transaction through the assignments' record
// set, as the functions page does it, with the journal's writer and without, in turns on the same file.
std::vector<bench::Result> addAllUsers(const QString &file, int reps);

} // namespace journalbench
