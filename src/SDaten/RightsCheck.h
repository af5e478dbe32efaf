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
    Repeated,        // one user assigned to one function more than once
    SharedUserName,  // several users with one user name: none of them can log on
    NoPassword,      // a user without a password
    NoAdministrator, // no administrator has a password
};

// One finding. `rows` are the ids it concerns, in the table the kind is about: assignments for
// UnknownInitials, MissingFunction and Repeated (for Repeated those beyond the first), users for
// SharedInitials, SharedUserName and NoPassword, functions for MissingGroup and Ring; none for
// NoAdministrator.
struct Problem
{
    ProblemKind kind;
    QString text;
    std::vector<qint32> rows;
};

// Every finding, grouped by kind in the order of ProblemKind.
std::vector<Problem> check(const Snapshot &file);

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

// Backs the file up to backupName(file, at) and then does the clean-up in one transaction. Returns the
// backup's path. Throws StoreError; when the backup fails the file is left alone.
QString cleanUp(store::Connection &db, const CleanUp &plan, const QDateTime &at);

} // namespace rights
