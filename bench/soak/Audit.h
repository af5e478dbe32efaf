#pragma once

// After the sessions: the database compared with what each session was told, row by row, through the
// change journal's order.

#include <QMap>
#include <QString>
#include <QStringList>

#include <set>
#include <utility>

namespace store {
class Connection;
}

namespace soak {

// The rows there before the sessions started, and the journal's last row then.
struct Before
{
    std::set<qint64> users;
    std::set<qint64> functions;
    std::set<qint64> assignments;
    qint64 journalTail = 0;
    QMap<int, int> findings; // the check's, by kind: what the file held already
};

Before readBefore(store::Connection &db);

struct Outcome
{
    int actions = 0;
    int stored = 0;
    QMap<QString, std::pair<int, int>> byAction; // told stored, refused
    QMap<QString, int> refusals;                 // by message
    int journalRows = 0;
    int followUps = 0;   // rows an action wrote beside the one it was about (a deleted user's assignments)
    QStringList lost;    // acknowledged, but not there or not journalled
    QStringList phantom; // there or journalled, but never acknowledged
    int alreadyGone = 0; // deletes of rows another session had deleted already: nothing left to journal
    QMap<QString, std::pair<int, int>> findings; // the check's rows by kind: before, after
    QStringList unexpected;                      // findings the actions could not have made
    bool chainWhole = true;
};

// Reads the logs and the database. Throws StoreError.
// With `strict`, the findings the handlers make by themselves (a repeat of an assignment, a function whose
// group was deleted) count as unexpected too.
Outcome audit(store::Connection &db, const Before &before, const QStringList &logs, bool strict);

} // namespace soak
