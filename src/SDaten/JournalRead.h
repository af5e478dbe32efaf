#pragma once

// Reading the change journal: its rows newest or oldest first, narrowed by who, when, what and whom they
// concern. The command line and the rights overview's "Verlauf" page narrow through the same Filter, so
// both show the same rows for the same question.
//
// What a row's change (Aenderung) holds, as a JSON object:
// - angelegt, gelöscht: the whole row, each field by its name: {"User":"anna","Initialien":"AN",...}
// - geändert, Kennwort geändert: every field of the row; a changed one as [old, new], an unchanged one as
//   its value: {"User":"anna","RealName":["Anna","Anna B."]}
// - a password never: its field, when set or changed, holds the text "Kennwort geändert"
// - Anmeldung, Anmeldung abgelehnt: {"User": the name typed, "Grund": why a logon was refused}
// - Import: {"Zeilen": rows read, "SHA-256": of what was read}
// - Bereinigung: as geändert or gelöscht, for the row the clean-up changed or deleted
// Texts as JSON strings, integers as numbers, truth values as true/false, nothing as null.

#include "Journal.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace store {
class Connection;
} // namespace store

namespace journal {

struct Row
{
    qint64 id = 0;
    Entry entry;
};

struct Filter
{
    // Rows from `since` (inclusive) until `until` (exclusive), as Zeit compares them (UTC ISO 8601 text);
    // empty: no bound. parseSince() and parseUntil() make them from what a user types.
    QString since;
    QString until;
    QString by;   // the acting administrator, as the logon compares names
    QString user; // rows about this user: its Benutzer row, its logons, the assignments of its initials
    std::optional<qint32> function; // its Funktionen row and the assignments of it
    QString text;                   // anywhere in the change, without regard to case
    QString aktion;                 // exactly this action
    // Rows with fromId <= id < toId; 0: no bound. A long read taken in slices, the window answering
    // between them.
    qint64 fromId = 0;
    qint64 toId = 0;

    // Learns what the user filter needs from the database (the user's initials today); call once before
    // matches(), after setting `user`.
    void resolve(store::Connection &db);
    bool matches(const Row &row) const;

    QString userInitials; // filled by resolve()
};

// A date or date and time as a user types it (2026-12-09, 2026-12-09T08:30, 09.12.2026), as Zeit text for
// since (start of that day or moment) or until (end of that day: the next day's start); nothing for text
// that is no date.
std::optional<QString> parseSince(const QString &text);
std::optional<QString> parseUntil(const QString &text);

enum class Order
{
    NewestFirst,
    OldestFirst
};

// Calls `row` for each row the filter matches, in order, until it returns false. The period, the
// administrator and the action narrow the read itself (Zeit is indexed); the rest is matched row by row.
// Nothing when the database has no journal. Throws StoreError.
void forEach(store::Connection &db, const Filter &filter, Order order,
             const std::function<bool(const Row &)> &row);

// A row's change read back; an empty object for text that is no JSON object.
QJsonObject changeOf(const Entry &entry);

// What a row changed, readably and on one line: a change of fields as "field: old → new", a whole row as
// "field=value", a logon as the name typed and why it was refused. A line break in a value shows as \n.
QString readableChange(const Entry &entry);

} // namespace journal
