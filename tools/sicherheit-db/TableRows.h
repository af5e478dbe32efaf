#pragma once

// The three tables as the exchange commands move them: read row by row as the file holds each value, and
// written as JSON or CSV while they are read, so that a file of a million rows never stands in memory
// whole.

#include "RecordSet.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace store {
class Connection;
} // namespace store

namespace exchange {

struct Table
{
    QString name;
    std::vector<store::FieldDef> fields; // in the order of the table's columns
    // The journal records what the program and the tool wrote, in any characters; the three tables hold
    // only what the program can show and send.
    bool anyText = false;
};

// Benutzer, Funktionen, Funktionen_Benutzer.
const std::vector<Table> &tables();
// The change journal.
const Table &journalTable();
// The tables the database has: the three, and the journal after them where it has one.
std::vector<Table> tablesOf(store::Connection &db);

// The names of the table's fields, in their order.
QStringList columnNames(const Table &table);

using Row = std::vector<QVariant>;

// What a reading of the tables is handed, table by table and row by row.
class RowSink
{
public:
    virtual ~RowSink() = default;
    virtual void beginTable(const Table &table) = 0;
    // The values in the order of the table's fields, each as the file holds it: nothing, an integer
    // (qint64), a real number (double) or a text, whatever the field is meant to hold.
    virtual void row(const Row &values) = 0;
    virtual void endTable() = 0;
    // After the last table.
    virtual void finish() = 0;
};

// Reads every row of the three tables (and of the journal where there is one) in the order of their ids, one
// at a time, and finishes the sink.
void readTables(store::Connection &db, RowSink &sink);

// Why a row's number that fits 32 bits still cannot be taken: the greatest leaves none for the next new
// row (a file would count past what the program reads, a server's numbering would overflow). Empty when it
// can.
QString idWithoutSuccessor(qint64 id);

// Why `value` cannot go into `field` so that it reads back the same, as "Funktion „3.5“ ist keine ganze
// Zahl; ..."; empty when it can. A file keeps whatever it is given in Windows-1252. A server's typed columns
// would round 3.5 to 4, take 2 for true, and refuse "abc" only half-way through the rows. `value` is as
// readTables gives it, or true or false for a truth value.
QString unfitForColumn(const store::FieldDef &field, const QVariant &value, bool server,
                       bool anyText = false);

// Where written bytes go: a file, or standard output.
using Output = std::function<void(QByteArrayView bytes)>;

// One object with the tables as arrays of rows, each row an object of its fields. A truth value as true
// or false; any other value as the file holds it (an Admin of 2 as 2, a text where a number belongs as
// that text), so that import gives the file back exactly.
std::unique_ptr<RowSink> jsonWriter(const Output &out);

// The tables one below the other for German spreadsheet programs: the table's name, its field names, its
// rows, an empty line. `exact`: every cell as it is; otherwise a cell that a spreadsheet would take for a
// formula is made harmless.
std::unique_ptr<RowSink> csvWriter(const Output &out, bool exact);

} // namespace exchange
