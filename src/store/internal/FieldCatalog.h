#pragma once

#include "RecordSet.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace store {

class Connection;
class Statement;

// What the record sets learnt of each statement's result columns: the fields a set over it shows when no
// fields are declared, and each column's name. Looking at declared types costs more than reading a small
// result, and the group tree opens the same few statements thousands of times, so it is learnt once per
// statement text and kept until the connection closes.
class FieldCatalog
{
public:
    struct Entry
    {
        std::vector<QByteArray> columnNamesUtf8; // as SQLite reports them, to notice a changed table
        std::vector<QString> columnNames;        // from the first column on
        std::vector<FieldDef> discovered;        // from the first column on
    };

    // The fields of the statement's result from column `first` on. The statement has been stepped once:
    // that is where SQLite prepares it again when another program changed the table, and the columns are
    // then learnt again too. `table` (empty for a statement) tells which column is the table's key.
    const Entry &describe(Connection &connection, const QString &sql, const Statement &stmt, int first,
                          const QString &table);
    void clear() { m_entries.clear(); }

private:
    QHash<QString, Entry> m_entries;
};

} // namespace store
