#include "FieldCatalog.h"

#include "Connection.h"
#include "Plumbing.h"
#include "Statement.h"

#include <cstring>

namespace store {

namespace {

// Enough for every statement the program sends; a session that somehow sends more starts afresh.
constexpr qsizetype kMostEntries = 512;

// Field size from a declared type such as VARCHAR(50).
int sizeFromType(const QString &declared)
{
    const qsizetype open = declared.indexOf(u'(');
    const qsizetype close = declared.indexOf(u')', open + 1);
    if (open < 0 || close < 0)
        return 0;
    return declared.mid(open + 1, close - open - 1).trimmed().toInt();
}

FieldType typeFromDeclared(const QString &declared, bool primaryKey)
{
    const QString t = declared.toUpper();
    if (t.contains(u"INT") || t.contains(u"COUNTER") || t.contains(u"LONG"))
        return primaryKey ? FieldType::AutoInc : FieldType::Integer;
    if (t.contains(u"BOOL") || t.contains(u"BIT") || t.contains(u"YESNO"))
        return FieldType::Boolean;
    return FieldType::Text;
}

bool sameColumns(const FieldCatalog::Entry &entry, const Statement &stmt, int columns)
{
    if (static_cast<size_t>(columns) != entry.columnNamesUtf8.size())
        return false;
    for (int c = 0; c < columns; ++c) {
        if (std::strcmp(entry.columnNamesUtf8[static_cast<size_t>(c)].constData(), stmt.columnName(c)) != 0)
            return false;
    }
    return true;
}

} // namespace

const FieldCatalog::Entry &FieldCatalog::describe(Connection &connection, const QString &sql,
                                                  const Statement &stmt, int first, const QString &table)
{
    const int columns = stmt.columnCount();
    auto found = m_entries.find(sql);
    if (found != m_entries.end() && sameColumns(found.value(), stmt, columns))
        return found.value();
    if (found == m_entries.end()) {
        if (m_entries.size() >= kMostEntries)
            m_entries.clear();
        found = m_entries.insert(sql, Entry());
    }
    Entry &entry = found.value();
    entry = Entry();
    for (int c = 0; c < columns; ++c)
        entry.columnNamesUtf8.emplace_back(stmt.columnName(c));
    const std::vector<ColumnInfo> none;
    const std::vector<ColumnInfo> &info = table.isEmpty() ? none : connection.plumbing().columns(table);
    for (int c = first; c < columns; ++c) {
        FieldDef def;
        def.name = QString::fromUtf8(stmt.columnName(c));
        const QString declared = stmt.declaredType(c);
        bool pk = false;
        for (const ColumnInfo &ci : info) {
            if (ci.name.compare(def.name, Qt::CaseInsensitive) == 0)
                pk = ci.primaryKey;
        }
        def.type = typeFromDeclared(declared, pk);
        def.size = def.type == FieldType::Text ? sizeFromType(declared) : 0;
        entry.columnNames.push_back(def.name);
        entry.discovered.push_back(def);
    }
    return entry;
}

} // namespace store
