#pragma once

// What is wrong or doubtful in a security database ("Prüfen"), and the clean-up of its junk ("Bereinigen").

#include "Rights.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace store {
class Connection;
} // namespace store

namespace rights {

enum class ProblemKind
{
    UnknownInitials, // assignments whose initials match no user
    SharedInitials,  // several users with the same initials: they share their rights
    MissingFunction, // assignments to a function that does not exist
    MissingGroup,    // a function whose group does not exist
    Ring,            // functions that lie under themselves
    RootId,          // a function with the root's own id, which the tree takes for the root
    Repeated,        // one user assigned to one function more than once
    SharedUserName,  // several users with one user name: none of them can log on
    NoPassword,      // a user without a password
    NoAdministrator, // no administrator has a password
};

// One finding. `rows` are the ids it concerns, in the table the kind is about: assignments for
// UnknownInitials, MissingFunction and Repeated (for Repeated those beyond the first), users for
// SharedInitials, SharedUserName and NoPassword, functions for MissingGroup, Ring and RootId; none for
// NoAdministrator.
struct Problem
{
    ProblemKind kind;
    QString text;
    std::vector<qint32> rows;
};

// Every finding, grouped by kind in the order of ProblemKind.
std::vector<Problem> check(const Snapshot &file);

// "1 Befund", "3 Befunde".
QString findingsCount(std::size_t count);

// What "Bereinigen" does about the findings: it removes only junk (assignments to nobody, to no function,
// repeats beyond the first) and hangs every unreachable function, with what lies below it, directly under
// "Formulare" (for a ring: the member with the smallest id), so that it can be seen and deleted.
struct CleanUp
{
    std::vector<qint32> dropAssignments;
    std::vector<qint32> hangUnderRoot;

    bool isEmpty() const { return dropAssignments.empty() && hangUnderRoot.empty(); }
    // The question before it and the report after it, in German.
    QString question() const;
    QString report() const;
};

CleanUp cleanUpFor(const std::vector<Problem> &problems);

// The backup copy's name: beside the file, named after it with date and time
// ("user.mdb" -> "user-2026-12-08_163012.mdb").
QString backupName(const QString &file, const QDateTime &at);

// What a clean-up did, and the backup it wrote before; both empty when the file held no junk any more.
struct CleanedUp
{
    CleanUp done;
    QString backup;
};

// The clean-up as one transaction: under the write lock it reads the file, works out what to remove from
// what the file holds then (not from an earlier reading, on which another program's change meanwhile would
// turn a repeat into a user's last assignment), backs the file up to backupName(file, at) and does it.
// Nothing to do: nothing changes and no backup is written. Throws StoreError; the file is then left alone
// and the backup removed again (or named in the message when it cannot be).
CleanedUp cleanUp(store::Connection &db, const QDateTime &at);

} // namespace rights
