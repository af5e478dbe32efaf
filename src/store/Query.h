#pragma once

#include "RecordSet.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace store {

class Connection;
class Statement;

// The rows of a query, read one after the other from the first to the last: for a reader that looks at
// each row once, such as the group tree with its thousands of small level statements. It is a record set
// without the rest (no snapshot, no editing, no filter, no events); the statement, its translation, the
// fields' types and the values read are the record set's, and so are its errors.
//
// While it is being read it holds its statement and a read lock: the reader keeps what it needs and reads
// to the end (or lets the query go) before it runs another statement of the same text.
class Query
{
public:
    // Runs the statement, its lines as a record set joins them; `name` starts the query's own errors.
    Query(Connection &connection, const QString &name, const QStringList &sql);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // To the next row, the first at the first call; false after the last, when the statement is done.
    bool next();
    // The number of a field by its name, in any letter case.
    int field(const QString &name) const;
    // Of the row that next() stands on, as a record set's Field reads it.
    QVariant value(int field) const;
    QString asString(int field) const;
    qint32 asInteger(int field) const;

private:
    [[noreturn]] void fail(const QString &message) const;

    QString m_name;
    std::unique_ptr<Statement> m_stmt; // until the last row has been read
    std::vector<FieldDef> m_fields;
    bool m_first = false; // the first row, stepped to before the fields were looked at, not yet handed out
    bool m_onRow = false;
};

} // namespace store
