#pragma once

#include "DelayProxy.h"
#include "Harness.h"

#include <QString>

#include <vector>

namespace server {

// One data set in its two homes: the generated file, and its copy on the server, named by a link file
// (which the program is given) and by the URI in it (which bare libpq connects to).
struct Data
{
    QString file;
    QString link;
    QString uri;
    QString proxyLink; // a link file to the server through the delaying proxy
    QString size;      // "10,000 users, ..." as the case names print it
};

// The program's start-up on the server database (logon and file dialog answered, the three tables open
// and the group tree built) against bare libpq reading the same three tables and the tree with the same
// statement; the best of REPS each, with bare libpq's tree read one level statement per node and the file
// driver's start-up beside.
std::vector<bench::Result> startUp(const Data &data, int reps);

// One changed field of a user posted by the store's record set, SAVES times, against bare libpq sending
// the same statements (the post's re-read and update in one transaction) for another user; the median.
std::vector<bench::Result> saveUser(const Data &data, int saves);

// "alle Benutzer in Gruppe hinzufügen" the way the program's handler does it through the store, against
// bare libpq sending the same statements in one transaction; the median of REPS runs.
std::vector<bench::Result> addAllUsers(const Data &data, int reps);

// Start-up, a save, "alle Benutzer" and the rights overview's reading through the proxy at each delay
// (milliseconds each way; the first is the baseline), with the round trips each took. Start-up should take
// at most 1.5 times, and each action at most 0.2 s more than, at the first delay.
std::vector<bench::Result> latency(const Data &data, DelayProxy &proxy, const std::vector<int> &delaysMs,
                                   int reps);

} // namespace server
