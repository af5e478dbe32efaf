// Opening a record set: the rows of the table or statement read at once, and what its fields are.

#include "Cells.h"
#include "Connection.h"
#include "FieldCatalog.h"
#include "FieldValues.h"
#include "Plumbing.h"
#include "RecordSet.h"
#include "Statement.h"
#include "StoreError.h"

#include <utility>

namespace store {

void RecordSet::loadSnapshot()
{
    TranslatedSql query;
    const bool isTable = !m_table.isEmpty();
    if (isTable) {
        // In the order of the keys: a file reads so by itself, a server puts a changed row at the end.
        query.sql = QStringLiteral("SELECT %1, * FROM %2 ORDER BY %1")
                        .arg(m_conn->plumbing().keyColumn(m_table), m_conn->plumbing().tableName(m_table));
    } else {
        query = m_conn->plumbing().translate(sqlText());
        if (query.kind != TranslatedSql::Kind::Select)
            fail(QStringLiteral("Die Anweisung liefert keine Datenmenge"));
    }
    Statement stmt(*m_conn, query.sql);
    stmt.bindAll(query.params);

    // The first step comes before the columns are looked at: it is where SQLite prepares the statement
    // again when another program has changed the table meanwhile.
    bool row = stmt.step();
    const int first = isTable ? 1 : 0;
    const FieldCatalog::Entry &entry =
        m_conn->plumbing().fieldCatalog().describe(*m_conn, query.sql, stmt, first, m_table);
    m_fields.clear();
    m_columnOf.clear();
    if (!m_declared.empty()) {
        for (const FieldDef &def : m_declared) {
            int column = -1;
            for (size_t c = 0; c < entry.columnNames.size() && column < 0; ++c) {
                if (def.name.compare(entry.columnNames[c], Qt::CaseInsensitive) == 0)
                    column = static_cast<int>(c) + first;
            }
            if (column < 0)
                fail(QStringLiteral("Feld %1 nicht gefunden").arg(quoted(def.name)));
            m_fields.push_back(def);
            m_columnOf.push_back(column);
        }
    } else {
        m_fields = entry.discovered;
        for (size_t c = 0; c < m_fields.size(); ++c)
            m_columnOf.push_back(static_cast<int>(c) + first);
    }

    m_indexes.clear();
    m_cells->reset(m_fields);
    for (; row; row = stmt.step())
        m_cells->appendRead(stmt, isTable ? stmt.int64(0) : 0, m_columnOf);
    m_cells->squeeze();
}

void RecordSet::refresh()
{
    checkActive();
    m_conn->ensureConnected();
    dropPending();
    struct Snapshot
    {
        std::vector<FieldDef> fields;
        std::vector<int> columnOf;
        std::unique_ptr<Cells> cells;
        std::unordered_map<int, IntIndex> indexes;
    } kept{std::move(m_fields), std::move(m_columnOf), std::exchange(m_cells, std::make_unique<Cells>()),
           std::move(m_indexes)};
    try {
        m_fields.clear();
        loadSnapshot();
        if (m_filtered)
            parseFilter();
    } catch (...) {
        // What could not be read again is no reason to show nothing: the rows read before stay.
        m_fields = std::move(kept.fields);
        m_columnOf = std::move(kept.columnOf);
        m_cells = std::move(kept.cells);
        m_indexes = std::move(kept.indexes);
        throw;
    }
    m_conn->plumbing().forgetSnapshotChanges(this);
    m_linkedValid = false;
    resetView();
}

} // namespace store
