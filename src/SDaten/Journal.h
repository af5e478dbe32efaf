#pragma once

// The change journal's chain: each row carries a SHA-256 over the check sum of the row before it and its own
// fields, so that a row changed, deleted or slipped in between shows at the first row that no longer follows.
// The writer and the check both go through this one computation.
//
// The bytes hashed, in this order: the previous row's check sum, then the row's id, Zeit, Administrator,
// Konto, Rechner, Programm, Tabelle, Zeile, Aktion and Aenderung. Each is written as its length in bytes (8
// bytes, big-endian, signed) followed by its UTF-8 bytes; an integer as its decimal digits; a Zeile that
// names no row (a logon) as the length -1 and no bytes. A text field that holds nothing counts as empty. The
// first row's previous check sum is empty.

#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace store {
class Connection;
class Query;
} // namespace store

namespace journal {

struct Entry
{
    QString zeit; // UTC with milliseconds, as now() gives it
    QString administrator;
    QString konto;
    QString rechner;
    QString programm;
    QString tabelle;
    QVariant zeile; // the id of the row changed; null when the entry names none
    QString aktion;
    QString aenderung; // JSON
};

// The time now as a row records it: 2026-12-09T08:30:00.123Z.
QString now();

// The check sum of the row with this id and these fields after the row whose check sum is `previous`, as 64
// lower-case hex digits.
QString checksum(const QString &previous, qint64 id, const Entry &entry);

// The journal's last row as a writer last saw it under its write lock.
struct Tail
{
    qint64 id = 0;
    QString checksum;
};

// Adds the entry as the journal's next row and returns its id. Call it inside an open
// store::Connection::Transaction: the last row is read under its write lock, so that two programs writing
// at once cannot both follow the same row. A writer that appends many rows under one lock passes the tail
// it keeps: read when empty, followed without reading when known, and moved on to the new row. Throws
// StoreError.
qint64 append(store::Connection &db, const Entry &entry, std::optional<Tail> *tail = nullptr);
// Adds the entries as the journal's next rows, in their order, each chained to the one before, in as few
// statements as the database allows; the same rows as appending each in turn.
void appendAll(store::Connection &db, const std::vector<Entry> &entries, std::optional<Tail> *tail);

// The id of the first row whose check sum does not follow from the rows before it, reading the rows one at
// a time in the order of their ids; nothing when the chain is whole (and when there is no journal).
std::optional<qint64> firstBroken(store::Connection &db);

// A query's journal rows read into entries: the columns found once, each row's fields read in place.
class EntryColumns
{
public:
    explicit EntryColumns(const store::Query &rows);
    // The row's id; its fields into `entry`.
    qint64 read(const store::Query &rows, Entry &entry) const;

private:
    int m_id, m_zeit, m_administrator, m_konto, m_rechner, m_programm, m_tabelle, m_zeile, m_aktion,
        m_aenderung;
};

} // namespace journal
