#pragma once

// Who may do what: the three tables read once into memory and the questions an administrator asks of them.
//
// Assignments name their user by initials, compared without regard to case as the store compares text, so
// users who share initials share every assignment. A function's place in the tree is found by walking up
// through inGruppe; every walk is guarded against rings (a function under itself) and ends on any file.

#include <QHash> // std::hash<QString>
#include <QString>

#include <optional>
#include <unordered_map>
#include <vector>

namespace store {
class Connection;
} // namespace store

namespace rights {

struct User
{
    qint32 id = 0;
    QString user;
    QString realName;
    QString initials;
    QString ntUser;
    QString password; // scrambled, as stored
    std::optional<bool> admin;
};

struct Function
{
    qint32 id = 0;
    QString title;
    qint32 group = 0;     // inGruppe
    bool noGroup = false; // inGruppe is empty or no whole number: a group that is missing, not the root
    QString oddGroup;     // with noGroup, inGruppe as stored; null when it is empty
};

struct Assignment
{
    qint32 id = 0;
    qint32 function = 0;
    QString user; // initials
    // Set when the stored Funktion is no whole number ('abc', 3.5, empty): the value as stored, named as it
    // is and never taken for a function's id (`function` is then 0).
    std::optional<QString> oddFunction;
};

// A function a user holds.
struct Held
{
    qint32 function = 0;
    QString path;
    bool shared = false; // another user with the same initials holds it too
};

// A holder of a function: `user` is null when the assignment's initials match no user.
struct Holder
{
    const User *user = nullptr;
    QString initials;
    qint32 function = 0; // the function held: the one asked about, or one below it
};

// One assignment as the rights overview shows it. `user` is empty when the initials match no user.
struct OverviewRow
{
    std::size_t assignment = 0; // its place in Snapshot::assignments(): rows of shared initials share one
    QString user;
    QString initials;
    QString group; // the path of the function's group, "Formulare" for a top-level function
    QString title;
    qint32 function = 0;
};

// The separator of a path's steps.
inline const QString kPathSeparator = QStringLiteral(" \u203A ");
// Stands for the part of a path above a function that "Formulare" does not reach.
inline const QString kUnreachable = QStringLiteral("\u2026");

// The text key by which initials and user names match: the store compares them without regard to case.
QString matchKey(const QString &text);

// The whole file, read at one moment.
class Snapshot
{
public:
    Snapshot(std::vector<User> users, std::vector<Function> functions, std::vector<Assignment> assignments);
    // Reads the three tables. Throws StoreError.
    static Snapshot read(store::Connection &db);
    // Reads the users and the functions only, for a reader that wants few of the assignments: see
    // withAssignmentsOf(). Throws StoreError.
    static Snapshot readWithoutAssignments(store::Connection &db);
    // These users and functions (moved, not copied) with the assignments of these initials (in any letter
    // case) and of these functions, read from `db` (each statement at its own moment: the caller holds a
    // read transaction when the parts must agree). Whatever the snapshot tells of those initials and
    // functions is what a whole reading tells. Throws StoreError.
    Snapshot withAssignmentsOf(store::Connection &db, const std::vector<QString> &initials,
                               const std::vector<qint32> &functions) &&;
    // These users and functions (moved) with every assignment of `db`. Throws StoreError.
    Snapshot withEveryAssignment(store::Connection &db) &&;

    const std::vector<User> &users() const { return m_users; }
    const std::vector<Function> &functions() const { return m_functions; }
    const std::vector<Assignment> &assignments() const { return m_assignments; }

    const Function *function(qint32 id) const;
    // The function an assignment names; null when it does not exist or the assignment names none.
    const Function *functionOf(const Assignment &a) const;
    // Every user whose user name matches, in the file's order.
    std::vector<const User *> usersNamed(const QString &name) const;
    std::vector<const User *> usersWithInitials(const QString &initials) const;
    // The ids of the functions below `id`, at any depth, without `id` itself.
    std::vector<qint32> below(qint32 id) const;

    // "Formulare › Verkauf › Kunden › Ändern"; "Formulare" for the root. Above a function that cannot be
    // reached from the root (its group is missing, or it lies in a ring) the path starts with kUnreachable;
    // an id without a row yields the id alone.
    QString path(qint32 id) const;

    // The functions the user holds, each once, by path. Assignments to functions that do not exist are
    // left out (the check lists them).
    std::vector<Held> held(const User &user) const;
    // Who holds the function, and with `below` who holds any function under it; by user name.
    std::vector<Holder> holders(qint32 function, bool below) const;
    // Every assignment to an existing function, one row per matching user (or one without a user), by
    // user, group and title.
    std::vector<OverviewRow> overview() const;
    // The functions `source` holds and `target` lacks, each once, in the file's order of assignments.
    std::vector<qint32> lacking(const User &source, const User &target) const;

    // Every assignment with these initials, and those of one function.
    const std::vector<std::size_t> &assignmentsOf(const QString &initials) const;
    const std::vector<std::size_t> &assignmentsTo(qint32 function) const;

private:
    Snapshot withAssignments(std::vector<Assignment> assignments) &&;
    void indexAssignments();

    std::vector<User> m_users;
    std::vector<Function> m_functions;
    std::vector<Assignment> m_assignments;
    std::unordered_map<qint32, std::size_t> m_functionAt;
    std::unordered_map<qint32, std::vector<qint32>> m_children;
    std::unordered_map<qint32, std::vector<std::size_t>> m_byFunction;
    std::unordered_map<QString, std::vector<std::size_t>> m_byInitials; // assignments, by match key
    std::unordered_map<QString, std::vector<std::size_t>> m_usersByInitials;
    mutable std::unordered_map<qint32, QString> m_paths;
};

// For a write that names users by their initials or puts a row under a function, inside its transaction
// (under the write lock, where no other program changes the file): another administrator may have deleted
// the user, given them other initials (or given theirs to another user) or deleted the function since this
// program read them, and a row naming them would be junk that no window shows, or another user's right.
// `notStored` ends the message ("die Zuordnung wurde nicht gespeichert."). Each throws StoreError naming what
// is gone.
void requireUser(store::Connection &db, qint32 userId, const QString &userName, const QString &initials,
                 const QString &notStored);
void requireFunction(store::Connection &db, qint32 function, const QString &title, const QString &notStored);
void requireGroup(store::Connection &db, qint32 group, const QString &title, const QString &notStored);
// Those of `initials` that a stored user has now, in their order (compared as the store compares text).
std::vector<QString> stillHeld(store::Connection &db, const std::vector<QString> &initials);

// Gives `target` every function of `source` they lack (Snapshot::lacking), in one transaction: all or
// nothing. A function the file no longer holds, or that `target` has been given since `file` was read, is
// left out. Returns the number of assignments added. Throws StoreError.
int copyRights(store::Connection &db, const Snapshot &file, const User &source, const User &target);

} // namespace rights
