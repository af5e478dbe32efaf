#pragma once

// The generated data's rows as the large demo makes them, and a change journal that tells a plausible
// history of them: administrators logging on and changing users, functions and assignments over several
// days, with refused logons, imports and clean-ups in between, each row chained to the one before.

#include <QString>

#include <functional>
#include <vector>

namespace store {
class BulkLoad;
} // namespace store

namespace demo {

// A user of the generated data by its number from 0 (the "admin" administrator); its id is the number + 1.
struct GeneratedUser
{
    QString user;
    QString realName;
    QString initials;
    QString account;
    QString password; // as stored: scrambled
    bool admin = false;
};
GeneratedUser generatedUser(int number);
QString generatedInitials(int number);

// A function of the generated tree by its id from 1: its title and its group.
QString generatedTitle(int id);
int generatedGroup(int id);

// An assignment of the generated data; its id is its place in the list + 1.
struct GeneratedAssignment
{
    int function = 0;
    int user = 0; // the user's number
};

// What the generated tables hold, for the journal's rows to name.
struct GeneratedTables
{
    int users = 1;
    int functions = 0;
    const std::vector<GeneratedAssignment> *assignments = nullptr;
};

// Adds `rows` rows to an empty journal through the load, which stands in the journal's bulk transaction:
// the history ends now and reaches back a few days (a day per 10,000 rows, at least three). `done` is told
// the rows added so far after each one.
void addJournal(store::BulkLoad &load, const GeneratedTables &tables, int rows,
                const std::function<void(qint64)> &done);

} // namespace demo
