#pragma once

// What an access review report says, without a word about how it looks: the title page, one section per
// user or per function of the scope, and the findings of the check. A reviewer signs a user's section, so
// each holds everything needed to judge it: who the user is, every function held by its full path, who
// shares the initials (and with them every right), and what changed in those rights since a date.
//
// Sections are made one at a time on request, so that a report of every user of a large file never holds
// more than one of them; the journal since the date is read once, up front, and kept by the names it
// concerns.

#include "JournalRead.h"
#include "Rights.h"
#include "RightsCheck.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace store {
class Connection;
} // namespace store

namespace report {

enum class ScopeKind
{
    User,         // the users of one name (one, unless the name is shared)
    Function,     // one function, with `below` every function under it as well
    AllUsers,     // every user, one section each
    AllFunctions, // every function, one section each
};

struct Scope
{
    ScopeKind kind = ScopeKind::AllUsers;
    QString user;
    qint32 function = 0;
    bool below = false;
};

// A change to a user's rights as the journal recorded it.
struct Change
{
    QString when; // "01.12.2026 08:30", in UTC
    QString by;
    QString action; // "Zuordnung angelegt", "Rechte geprüft"
    QString what;   // the change, readably: "Admin: nein → ja"
};

struct UserSection
{
    QString user;
    QString realName;
    QString initials;
    QStringList sharedWith; // the other users with these initials
    QString admin;          // "ja", "nein", "nicht angegeben"
    std::vector<rights::Held> held;
    std::vector<Change> changes;
};

// A holder of a function as a section lists them.
struct HolderLine
{
    QString user; // "(kein Benutzer)" for initials nobody has
    QString realName;
    QString initials;
};

struct FunctionSection
{
    qint32 id = 0;
    QString path;
    std::vector<HolderLine> holders;
};

struct TitlePage
{
    QString source; // the file's whole path or the server
    QString made;   // date and time
    QString madeBy; // the account
    QString scope;
    QString since; // "seit 01.12.2026" or empty without a date
    std::vector<std::pair<QString, QString>> counts;
};

// The file as a report of a scope reads it. The sections of one user, or of a few functions, show only
// their own assignments: those alone are read, since reading a million others would keep the reviewer
// waiting for seconds, and what a section shows comes from the same snapshot either way. Every user and
// function is read, so that the findings of the check are those of all users and functions and of the
// assignments the report shows.
struct ReportFile
{
    rights::Snapshot snapshot;
    std::size_t assignmentsInFile = 0;
    bool everyAssignment = true;

    // Throws StoreError. Call it inside a read transaction when the parts must agree with each other.
    static ReportFile read(store::Connection &db, const Scope &scope);
};

class ReportContent
{
public:
    // Reads the journal from `since` (Zeit text as journal::parseSince gives it; empty: no changes are
    // listed). Throws StoreError; throws NotFound when the scope names no user or function of the file.
    ReportContent(store::Connection &db, const rights::Snapshot &file, const Scope &scope,
                  const QString &source, const QString &since, const QString &madeBy, const QDateTime &made);
    // The same of a file read for the scope (it must outlive the content).
    ReportContent(store::Connection &db, const ReportFile &file, const Scope &scope, const QString &source,
                  const QString &since, const QString &madeBy, const QDateTime &made);

    struct NotFound : std::runtime_error
    {
        using std::runtime_error::runtime_error;
    };

    const TitlePage &titlePage() const { return m_title; }
    // The scope short enough for the head of every page.
    QString scopeLine() const { return m_scopeLine; }
    bool listsChanges() const { return !m_since.isEmpty(); }

    std::size_t userCount() const { return m_users.size(); }
    UserSection user(std::size_t index) const;
    std::size_t functionCount() const { return m_functions.size(); }
    FunctionSection function(std::size_t index) const;
    const std::vector<rights::Problem> &findings() const { return m_findings; }
    // Whether the findings are those of every assignment of the file, not only of the report's.
    bool checkedEveryAssignment() const { return m_everyAssignment; }

private:
    ReportContent(store::Connection &db, const rights::Snapshot &file, std::size_t assignmentsInFile,
                  bool everyAssignment, const Scope &scope, const QString &source, const QString &since,
                  const QString &madeBy, const QDateTime &made);
    std::vector<Change> changesOf(const rights::User &user) const;

    const rights::Snapshot &m_file;
    QString m_since;
    bool m_everyAssignment = true;
    TitlePage m_title;
    QString m_scopeLine;
    std::vector<const rights::User *> m_users;
    std::vector<qint32> m_functions;
    std::vector<rights::Problem> m_findings;
    // The journal's rows about users and assignments since the date, and where each is found by the user
    // names and initials it mentions (by rights::matchKey).
    std::vector<journal::Row> m_rows;
    std::unordered_map<QString, std::vector<std::size_t>> m_rowsByName;
};

// A moment of the journal for a reader: "01.12.2026 08:30 UTC".
QString shownTime(const QString &zeit);

// How the journal's rows are matched to the users whose rights they change: the report's changes and the
// overview's "changed since the review" ask the same questions.
//
// Whether the row changes a user's rights as a report lists them: a user's row or an assignment, no logon.
bool isRightsChange(const journal::Entry &entry);
// The match keys (rights::matchKey) of the user names and initials the row names; a quick narrowing
// before concerns().
QSet<QString> nameKeysOf(const journal::Entry &entry);
// Whether the row is about the user, as the journal's own filter decides: the user's row by name, an
// assignment by the initials.
bool concerns(const journal::Row &row, const rights::User &user);

} // namespace report
