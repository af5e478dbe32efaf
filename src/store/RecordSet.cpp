#include "RecordSet.h"

#include "Connection.h"
#include "Sqlite.h"
#include "StoreError.h"

#include <QRegularExpression>

#include <algorithm>

namespace store {

namespace {

constexpr int kPending = -1;

QString msgNotEditing()
{
    return QStringLiteral("Datenmenge weder im Editier- noch im Einfügemodus");
}

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

bool parseBool(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    *ok = true;
    if (t.compare(booleanText(true), Qt::CaseInsensitive) == 0 ||
        t.compare(u"True", Qt::CaseInsensitive) == 0 || t == u"1" || t == u"-1")
        return true;
    if (t.compare(booleanText(false), Qt::CaseInsensitive) == 0 ||
        t.compare(u"False", Qt::CaseInsensitive) == 0 || t == u"0")
        return false;
    *ok = false;
    return false;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return a == b;
}

// Names go in backticks: SQLite takes a double-quoted name it cannot resolve for a string literal, which
// would turn a misspelt field into a silent wrong answer.
QString quotedName(const QString &name)
{
    QString n = name;
    n.replace(u'`', QStringLiteral("``"));
    return u'`' + n + u'`';
}

} // namespace

// ---------------------------------------------------------------------------------------------- Field

const QString &Field::name() const
{
    return m_set->m_fields[static_cast<size_t>(m_index)].name;
}
FieldType Field::type() const
{
    return m_set->m_fields[static_cast<size_t>(m_index)].type;
}
int Field::size() const
{
    return m_set->m_fields[static_cast<size_t>(m_index)].size;
}
QVariant Field::value() const
{
    return m_set->value(m_index);
}
QVariant Field::oldValue() const
{
    return m_set->oldValue(m_index);
}
bool Field::isNull() const
{
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

QString Field::asString() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Bool)
        return booleanText(v.toBool());
    return v.toString();
}

qint32 Field::asInteger() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint32 i = v.toString().trimmed().toInt(&ok);
        if (!ok)
            m_set->fail(QStringLiteral("%1 ist kein gültiger Ganzzahlwert für das Feld %2")
                            .arg(quoted(v.toString()), quoted(name())));
        return i;
    }
    return static_cast<qint32>(v.toLongLong());
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const bool b = parseBool(v.toString(), &ok);
        return ok && b;
    }
    return v.toBool();
}

void Field::setValue(const QVariant &value)
{
    m_set->setValue(m_index, value);
}
void Field::setAsString(const QString &text)
{
    m_set->setValue(m_index, text);
}
void Field::setAsInteger(qint32 value)
{
    m_set->setValue(m_index, value);
}
void Field::setAsBoolean(bool value)
{
    m_set->setValue(m_index, value);
}
void Field::clear()
{
    m_set->setValue(m_index, QVariant());
}

// ------------------------------------------------------------------------------------------ RecordSet

RecordSet::RecordSet(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

RecordSet::~RecordSet()
{
    close();
    if (m_master) {
        auto &d = m_master->m_details;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    for (RecordSet *detail : m_details)
        detail->m_master = nullptr;
    if (m_conn)
        m_conn->detach(this);
}

void RecordSet::fail(const QString &message) const
{
    throw StoreError(QStringLiteral("%1: %2").arg(name(), message));
}

void RecordSet::checkActive() const
{
    if (m_state == DataState::Inactive)
        fail(QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"));
}

void RecordSet::checkEditable() const
{
    if (m_table.isEmpty())
        fail(QStringLiteral("Die Ergebnisse einer Abfrage können nicht geändert werden"));
}

void RecordSet::setConnection(Connection *connection)
{
    if (m_conn == connection)
        return;
    close();
    if (m_conn)
        m_conn->detach(this);
    m_conn = connection;
    if (m_conn)
        m_conn->attach(this);
}

void RecordSet::setTableName(const QString &table)
{
    close();
    m_table = table;
    m_sql.clear();
}

void RecordSet::setSql(const QStringList &lines)
{
    close();
    m_sql = lines;
    m_table.clear();
}

QString RecordSet::sqlText() const
{
    QString text;
    for (const QString &line : m_sql) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

void RecordSet::setFieldDefs(const std::vector<FieldDef> &defs)
{
    close();
    m_declared = defs;
}

void RecordSet::setMasterLink(RecordSet *master, const QString &masterField, const QString &detailField)
{
    if (m_master) {
        auto &d = m_master->m_details;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    m_master = master;
    m_masterField = masterField;
    m_detailField = detailField;
    m_linkedValid = false;
    if (m_master)
        m_master->m_details.push_back(this);
    if (isOpen()) {
        checkBrowseMode();
        resetView();
    }
}

// ---------------------------------------------------------------------------------------------- open

void RecordSet::open()
{
    if (isOpen())
        return;
    if (!m_conn)
        fail(QStringLiteral("Keine Verbindung zur Datenbank angegeben"));
    if (m_table.isEmpty() && m_sql.isEmpty())
        fail(QStringLiteral("Weder Tabelle noch SQL-Anweisung angegeben"));
    m_conn->ensureConnected();
    try {
        loadSnapshot();
        if (m_filtered)
            parseFilter();
    } catch (...) {
        m_cells.clear();
        m_keys.clear();
        m_deleted.clear();
        m_fields.clear();
        m_indexes.clear();
        throw;
    }
    m_state = DataState::Browse;
    m_linkedValid = false;
    emit stateChanged(m_state);
    resetView();
}

void RecordSet::loadSnapshot()
{
    TranslatedSql query;
    const bool isTable = !m_table.isEmpty();
    if (isTable) {
        query.sql = QStringLiteral("SELECT rowid, * FROM %1").arg(quotedName(m_table));
    } else {
        query = m_conn->translate(sqlText());
        if (query.kind != TranslatedSql::Kind::Select)
            fail(QStringLiteral("Die Anweisung liefert keine Datenmenge"));
    }
    Connection::PreparedEntry &entry = m_conn->prepareEntry(query.sql);
    sqlite3_stmt *stmt = entry.stmt.get();
    StmtReset reset(stmt);
    for (size_t i = 0; i < query.params.size(); ++i)
        bindValue(stmt, static_cast<int>(i + 1), query.params[i]);

    // What the result columns are does not change while the statement stays prepared.
    // The first step comes before the columns are looked at: it is where SQLite prepares the statement
    // again when another program has changed the table meanwhile.
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_conn->raise(rc);
    const int first = isTable ? 1 : 0;
    const int columns = sqlite3_column_count(stmt);
    // Another program may have changed the table while the statement stayed prepared: SQLite prepares it
    // again by itself, and the columns then have to be learnt again too.
    bool stale = !entry.described || static_cast<size_t>(columns) != entry.columnNamesUtf8.size();
    for (int c = 0; !stale && c < columns; ++c)
        stale = entry.columnNamesUtf8[static_cast<size_t>(c)] != sqlite3_column_name(stmt, c);
    if (stale) {
        entry.columnNamesUtf8.clear();
        entry.columnNames.clear();
        entry.discovered.clear();
        for (int c = 0; c < columns; ++c)
            entry.columnNamesUtf8.emplace_back(sqlite3_column_name(stmt, c));
        const std::vector<ColumnInfo> none;
        const std::vector<ColumnInfo> &info = isTable ? m_conn->columns(m_table) : none;
        for (int c = first; c < columns; ++c) {
            FieldDef def;
            def.name = QString::fromUtf8(sqlite3_column_name(stmt, c));
            const char *decl = sqlite3_column_decltype(stmt, c);
            const QString declared = decl ? QString::fromUtf8(decl) : QString();
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
        entry.described = true;
    }
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

    m_cells.clear();
    m_keys.clear();
    m_deleted.clear();
    m_indexes.clear();
    const size_t nf = m_fields.size();
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
        if (isTable)
            m_keys.push_back(sqlite3_column_int64(stmt, 0));
        for (size_t f = 0; f < nf; ++f)
            m_cells.push_back(readColumn(stmt, m_columnOf[f], m_fields[f].type));
    }
    if (rc != SQLITE_DONE)
        m_conn->raise(rc);
    m_deleted.assign(nf ? m_cells.size() / nf : 0, 0);
}

QVariant RecordSet::readColumn(void *rawStmt, int c, FieldType type) const
{
    auto *stmt = static_cast<sqlite3_stmt *>(rawStmt);
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER: {
        const qint64 v = sqlite3_column_int64(stmt, c);
        switch (type) {
        case FieldType::Boolean:
            return QVariant(v != 0);
        case FieldType::Text:
            return QVariant(QString::number(v));
        default:
            if (v >= INT32_MIN && v <= INT32_MAX)
                return QVariant(static_cast<int>(v));
            return QVariant(v);
        }
    }
    case SQLITE_FLOAT:
        if (type == FieldType::Text)
            return QVariant(QString::number(sqlite3_column_double(stmt, c)));
        return QVariant(sqlite3_column_double(stmt, c));
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
        const QString s = QString::fromUtf8(text, sqlite3_column_bytes(stmt, c));
        if (type == FieldType::Boolean) {
            bool ok = false;
            const bool b = parseBool(s, &ok);
            return ok ? QVariant(b) : QVariant();
        }
        return QVariant(s);
    }
    }
}

void RecordSet::close() noexcept
{
    if (m_state == DataState::Inactive)
        return;
    emit viewAboutToReset();
    m_state = DataState::Inactive;
    m_buffer.clear();
    m_changed.clear();
    m_modified = false;
    m_view.clear();
    m_cells.clear();
    m_keys.clear();
    m_deleted.clear();
    m_indexes.clear();
    m_cur = -1;
    m_eof = m_bof = true;
    m_linkedValid = false;
    emit viewReset();
    emit stateChanged(m_state);
    emit currentChanged(-1);
    // Details lose their master row: they drop what is pending and show the rows without a master.
    for (RecordSet *detail : m_details) {
        if (detail->isOpen()) {
            detail->dropPending();
            detail->resetView();
        }
    }
}

int RecordSet::execute()
{
    if (!m_conn)
        fail(QStringLiteral("Keine Verbindung zur Datenbank angegeben"));
    return m_conn->execute(sqlText());
}

// ---------------------------------------------------------------------------------------------- view

int RecordSet::recordCount() const
{
    const int n = static_cast<int>(m_view.size());
    return m_state == DataState::Insert ? n - 1 : n;
}

bool RecordSet::isPendingRow(int row) const
{
    return row >= 0 && row < rowCount() && m_view[static_cast<size_t>(row)] == kPending;
}

QVariant RecordSet::valueAt(int row, int f) const
{
    if (row < 0 || row >= rowCount() || f < 0 || f >= static_cast<int>(m_fields.size()))
        return QVariant();
    if (row == m_cur && (m_state == DataState::Edit || m_state == DataState::Insert))
        return m_buffer[static_cast<size_t>(f)];
    const int s = m_view[static_cast<size_t>(row)];
    return s == kPending ? QVariant() : cell(s, f);
}

QVariant RecordSet::value(int f) const
{
    if (f < 0 || f >= static_cast<int>(m_fields.size()))
        fail(QStringLiteral("Feld Nr. %1 nicht gefunden").arg(f));
    return valueAt(m_cur, f);
}

QVariant RecordSet::oldValue(int f) const
{
    if (m_cur < 0 || f < 0 || f >= static_cast<int>(m_fields.size()))
        return QVariant();
    const int s = m_view[static_cast<size_t>(m_cur)];
    return s == kPending ? QVariant() : cell(s, f);
}

int RecordSet::fieldIndex(const QString &fieldName) const
{
    // Callers mostly spell names as declared: an exact match is the cheap first try.
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name == fieldName)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

Field RecordSet::field(const QString &fieldName)
{
    const int i = fieldIndex(fieldName);
    if (i < 0) {
        if (!isOpen() && !m_declared.empty()) {
            fail(QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"));
        }
        fail(QStringLiteral("Feld %1 nicht gefunden").arg(quoted(fieldName)));
    }
    return Field(this, i);
}

IntIndex &RecordSet::indexFor(int f)
{
    auto it = m_indexes.find(f);
    if (it != m_indexes.end())
        return it->second;
    std::vector<std::pair<qint64, int>> entries;
    std::vector<int> nulls;
    const int rows = static_cast<int>(m_deleted.size());
    entries.reserve(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        if (m_deleted[static_cast<size_t>(r)])
            continue;
        const QVariant &v = cell(r, f);
        bool ok = false;
        const qint64 key = v.isValid() && !v.isNull() ? v.toLongLong(&ok) : 0;
        if (ok)
            entries.emplace_back(key, r);
        else if (!v.isValid() || v.isNull())
            nulls.push_back(r);
    }
    IntIndex &idx = m_indexes[f];
    idx.build(std::move(entries), std::move(nulls));
    return idx;
}

void RecordSet::indexAdd(int s)
{
    for (auto &[f, idx] : m_indexes)
        idx.add(cell(s, f), s);
}

void RecordSet::indexRemove(int s)
{
    for (auto &[f, idx] : m_indexes)
        idx.remove(cell(s, f), s);
}

void RecordSet::indexMove(int s, int f, const QVariant &from, const QVariant &to)
{
    auto it = m_indexes.find(f);
    if (it == m_indexes.end())
        return;
    it->second.remove(from, s);
    it->second.add(to, s);
}

QVariant RecordSet::linkKey() const
{
    if (!m_master || !m_master->isOpen() || m_master->m_cur < 0)
        return QVariant();
    const int mf = m_master->fieldIndex(m_masterField);
    return mf < 0 ? QVariant() : m_master->valueAt(m_master->m_cur, mf);
}

bool RecordSet::matchesFilter(int s) const
{
    if (!m_filtered || m_filterField < 0)
        return true;
    const QVariant &v = cell(s, m_filterField);
    bool ok = false;
    return v.isValid() && !v.isNull() && v.toLongLong(&ok) == m_filterValue && ok;
}

void RecordSet::rebuildView()
{
    m_view.clear();
    const int detailField = m_master ? fieldIndex(m_detailField) : -1;
    if (m_master && detailField < 0)
        fail(QStringLiteral("Feld %1 nicht gefunden").arg(quoted(m_detailField)));
    if (detailField >= 0) {
        m_linked = linkKey();
        m_linkedValid = true;
        const std::span<const int> rows = indexFor(detailField).rows(m_linked);
        m_view.reserve(rows.size());
        for (int s : rows) {
            if (matchesFilter(s))
                m_view.push_back(s);
        }
    } else if (m_filtered && m_filterField >= 0) {
        const std::span<const int> rows = indexFor(m_filterField).rows(m_filterValue);
        m_view.assign(rows.begin(), rows.end());
    } else {
        const int rows = static_cast<int>(m_deleted.size());
        m_view.reserve(static_cast<size_t>(rows));
        for (int r = 0; r < rows; ++r) {
            if (!m_deleted[static_cast<size_t>(r)])
                m_view.push_back(r);
        }
    }
}

// Shows the rows anew from the first; nothing may be pending.
void RecordSet::resetView()
{
    emit viewAboutToReset();
    try {
        rebuildView();
    } catch (...) {
        m_view.clear();
        m_cur = -1;
        m_bof = m_eof = true;
        emit viewReset();
        throw;
    }
    m_cur = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    emit viewReset();
    emit currentChanged(m_cur);
    notifyDetails();
}

void RecordSet::parseFilter()
{
    m_filterField = -1;
    const QString text = m_filter.trimmed();
    if (text.isEmpty())
        return;
    static const QRegularExpression form(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*(-?[0-9]+)$"));
    const QRegularExpressionMatch m = form.match(text);
    bool ok = false;
    const qint64 v = m.hasMatch() ? m.captured(2).toLongLong(&ok) : 0;
    const int f = m.hasMatch() ? fieldIndex(m.captured(1)) : -1;
    if (!ok || f < 0)
        fail(QStringLiteral("Ungültiger Filter %1").arg(quoted(m_filter)));
    m_filterField = f;
    m_filterValue = v;
}

void RecordSet::setFilter(const QString &filter)
{
    if (filter == m_filter)
        return;
    if (!isOpen() || !m_filtered) {
        m_filter = filter;
        return;
    }
    checkBrowseModeWithDetails();
    const QString previous = m_filter;
    m_filter = filter;
    try {
        parseFilter();
    } catch (...) {
        m_filter = previous;
        parseFilter();
        throw;
    }
    resetView();
}

void RecordSet::setFiltered(bool filtered)
{
    if (filtered == m_filtered)
        return;
    if (!isOpen()) {
        m_filtered = filtered;
        return;
    }
    checkBrowseModeWithDetails();
    m_filtered = filtered;
    if (filtered) {
        try {
            parseFilter();
        } catch (...) {
            m_filtered = false;
            throw;
        }
    }
    resetView();
}

void RecordSet::notifyDetails()
{
    for (RecordSet *detail : m_details)
        detail->masterMoved();
}

void RecordSet::masterMoved()
{
    if (!isOpen())
        return;
    const QVariant key = linkKey();
    if (m_linkedValid && sameValue(key, m_linked))
        return;
    // The master has moved already; rows of another master must never stay on show, so a pending row
    // that cannot be stored now is dropped (its error still reaches the user).
    try {
        checkBrowseMode();
    } catch (...) {
        dropPending();
        resetView();
        throw;
    }
    resetView();
}

// ---------------------------------------------------------------------------------------- navigation

void RecordSet::setCurrent(int row)
{
    m_cur = row;
    emit currentChanged(row);
    notifyDetails();
}

void RecordSet::first()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_bof = true;
    m_eof = m_view.empty();
    setCurrent(m_view.empty() ? -1 : 0);
}

void RecordSet::last()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_eof = true;
    m_bof = m_view.empty();
    setCurrent(static_cast<int>(m_view.size()) - 1);
}

void RecordSet::next()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_bof = false;
    if (m_cur + 1 < rowCount()) {
        m_eof = false;
        setCurrent(m_cur + 1);
    } else {
        m_eof = true;
    }
}

void RecordSet::prior()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_eof = false;
    if (m_cur > 0) {
        m_bof = false;
        setCurrent(m_cur - 1);
    } else {
        m_bof = true;
    }
}

void RecordSet::moveTo(int row)
{
    checkActive();
    if (row == m_cur || row < 0 || row >= rowCount())
        return;
    const bool wasInsert = m_state == DataState::Insert;
    const int pendingAt = m_cur;
    const int before = rowCount();
    checkBrowseModeWithDetails();
    // A dropped new row no longer stands before the target.
    if (wasInsert && rowCount() < before && row > pendingAt)
        --row;
    m_bof = m_eof = false;
    if (row != m_cur)
        setCurrent(std::clamp(row, 0, rowCount() - 1));
}

// --------------------------------------------------------------------------------------------- edits

void RecordSet::updateRecord()
{
    m_refused = false;
    m_updating = true;
    emit updatingRecord();
    m_updating = false;
    if (m_refused) {
        m_refused = false;
        throw Abort();
    }
}

void RecordSet::refusePost()
{
    if (m_updating)
        m_refused = true;
}

void RecordSet::holdControls()
{
    if (m_held++ == 0) {
        emit viewAboutToReset();
        blockSignals(true);
    }
}

void RecordSet::releaseControls()
{
    if (m_held == 0 || --m_held > 0)
        return;
    blockSignals(false);
    emit viewReset();
    emit stateChanged(m_state);
    emit currentChanged(m_cur);
}

void RecordSet::checkBrowseModeWithDetails()
{
    checkBrowseMode();
    for (RecordSet *detail : m_details) {
        if (detail->isOpen())
            detail->checkBrowseModeWithDetails();
    }
}

void RecordSet::checkBrowseMode()
{
    if (m_state == DataState::Edit || m_state == DataState::Insert) {
        updateRecord();
        if (m_modified)
            post();
        else
            cancel();
    }
}

void RecordSet::insert()
{
    checkActive();
    checkEditable();
    checkBrowseModeWithDetails();
    const int pos = m_cur < 0 ? 0 : m_cur;
    emit rowAboutToBeInserted(pos);
    m_view.insert(m_view.begin() + pos, kPending);
    m_buffer.assign(m_fields.size(), QVariant());
    m_changed.assign(m_fields.size(), 0);
    m_modified = false;
    // A new detail row belongs to the master's current row.
    if (m_master) {
        const int df = fieldIndex(m_detailField);
        if (df >= 0)
            m_buffer[static_cast<size_t>(df)] = linkKey();
    }
    m_state = DataState::Insert;
    m_cur = pos;
    m_eof = m_bof = false;
    emit rowInserted(pos);
    emit stateChanged(m_state);
    emit currentChanged(pos);
    notifyDetails();
    if (m_afterInsert)
        m_afterInsert(*this);
}

void RecordSet::append()
{
    checkActive();
    checkEditable();
    checkBrowseModeWithDetails();
    if (!m_view.empty())
        m_cur = static_cast<int>(m_view.size());
    insert();
}

void RecordSet::edit()
{
    checkActive();
    if (m_state == DataState::Edit || m_state == DataState::Insert)
        return;
    if (m_view.empty()) {
        insert();
        return;
    }
    checkEditable();
    const int s = m_view[static_cast<size_t>(m_cur)];
    m_buffer.assign(m_fields.size(), QVariant());
    for (size_t f = 0; f < m_fields.size(); ++f)
        m_buffer[f] = cell(s, static_cast<int>(f));
    m_changed.assign(m_fields.size(), 0);
    m_modified = false;
    m_state = DataState::Edit;
    emit stateChanged(m_state);
    if (m_afterEdit)
        m_afterEdit(*this);
}

QVariant RecordSet::normalize(int f, const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    const FieldDef &def = m_fields[static_cast<size_t>(f)];
    switch (def.type) {
    case FieldType::Text: {
        QString s = value.typeId() == QMetaType::Bool ? booleanText(value.toBool()) : value.toString();
        if (def.size > 0 && s.size() > def.size)
            s.truncate(def.size);
        return s;
    }
    case FieldType::Boolean:
        if (value.typeId() == QMetaType::QString) {
            if (value.toString().isEmpty())
                return QVariant();
            bool ok = false;
            const bool b = parseBool(value.toString(), &ok);
            if (!ok)
                fail(QStringLiteral("%1 ist kein gültiger Wahrheitswert für das Feld %2")
                         .arg(quoted(value.toString()), quoted(def.name)));
            return b;
        }
        return value.toBool();
    case FieldType::Integer:
    case FieldType::AutoInc: {
        if (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty())
            return QVariant();
        bool ok = false;
        const qint64 v = value.typeId() == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                              : value.toLongLong(&ok);
        if (!ok || v < INT32_MIN || v > INT32_MAX)
            fail(QStringLiteral("%1 ist kein gültiger Ganzzahlwert für das Feld %2")
                     .arg(quoted(value.toString()), quoted(def.name)));
        return static_cast<int>(v);
    }
    }
    return value;
}

void RecordSet::setValue(int f, const QVariant &value)
{
    checkActive();
    if (f < 0 || f >= static_cast<int>(m_fields.size()))
        fail(QStringLiteral("Feld Nr. %1 nicht gefunden").arg(f));
    if (m_state != DataState::Edit && m_state != DataState::Insert)
        fail(msgNotEditing());
    if (m_fields[static_cast<size_t>(f)].type == FieldType::AutoInc)
        fail(QStringLiteral("Feld %1 kann nicht geändert werden")
                 .arg(quoted(m_fields[static_cast<size_t>(f)].name)));
    m_buffer[static_cast<size_t>(f)] = normalize(f, value);
    m_changed[static_cast<size_t>(f)] = 1;
    m_modified = true;
    emit fieldChanged(f);
    emit rowChanged(m_cur);
}

void RecordSet::post()
{
    checkActive();
    if (m_posting || (m_state != DataState::Edit && m_state != DataState::Insert))
        return;
    struct Posting
    {
        bool &flag;
        explicit Posting(bool &f) : flag(f) { flag = true; }
        ~Posting() { flag = false; }
    } posting(m_posting);
    updateRecord();
    if (m_beforePost)
        m_beforePost(*this);
    // A handler may have ended the row itself (cancel); then there is nothing left to store.
    if (m_state != DataState::Edit && m_state != DataState::Insert)
        return;
    const bool inserting = m_state == DataState::Insert;
    if (inserting)
        postInsert();
    else
        postUpdate();
    m_state = DataState::Browse;
    m_modified = false;
    m_buffer.clear();
    m_changed.clear();
    emit stateChanged(m_state);
    emit rowChanged(m_cur);
    if (inserting)
        notifyDetails();
    if (m_afterPost)
        m_afterPost(*this);
}

void RecordSet::postInsert()
{
    m_conn->ensureConnected();
    QStringList names;
    std::vector<QVariant> values;
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].type == FieldType::AutoInc || !m_buffer[f].isValid() || m_buffer[f].isNull())
            continue;
        names << quotedName(m_fields[f].name);
        values.push_back(m_buffer[f]);
    }
    const QString table = quotedName(m_table);
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(table, names.join(u','),
                                                   QStringLiteral("?,").repeated(names.size()).chopped(1));
    qint64 rowid = 0;
    {
        sqlite3_stmt *stmt = m_conn->prepare(sql);
        StmtReset reset(stmt);
        for (size_t i = 0; i < values.size(); ++i)
            bindValue(stmt, static_cast<int>(i + 1), values[i]);
        m_conn->stepDone(stmt, QStringLiteral("(%1)").arg(name()));
        rowid = sqlite3_last_insert_rowid(m_conn->handle());
    }
    // Read the stored row back: the store fills the id and any defaults.
    const QString reread = QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid=?").arg(table);
    sqlite3_stmt *stmt = m_conn->prepare(reread);
    StmtReset reset(stmt);
    sqlite3_bind_int64(stmt, 1, rowid);
    const int rc = sqlite3_step(stmt);
    const int s = static_cast<int>(m_deleted.size());
    if (rc == SQLITE_ROW) {
        for (size_t f = 0; f < m_fields.size(); ++f)
            m_cells.push_back(readColumn(stmt, m_columnOf[f], m_fields[f].type));
    } else {
        // Another program removed it at once; keep what we wrote.
        for (size_t f = 0; f < m_fields.size(); ++f)
            m_cells.push_back(m_buffer[f]);
    }
    m_keys.push_back(rowid);
    m_deleted.push_back(0);
    indexAdd(s);
    m_view[static_cast<size_t>(m_cur)] = s;
}

void RecordSet::postUpdate()
{
    const int s = m_view[static_cast<size_t>(m_cur)];
    QStringList sets;
    std::vector<QVariant> newValues;
    std::vector<int> changedFields;
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (!m_changed[f] || sameValue(cell(s, static_cast<int>(f)), m_buffer[f]))
            continue;
        sets << quotedName(m_fields[f].name) + QStringLiteral("=?");
        newValues.push_back(m_buffer[f]);
        changedFields.push_back(static_cast<int>(f));
    }
    if (changedFields.empty())
        return;
    m_conn->ensureConnected();
    const QString context = QStringLiteral("(%1)").arg(name());
    // Read the row again and compare the changed fields as this set reads them, all under one write lock:
    // a field another program changed since the snapshot is not overwritten, whatever form it is stored in.
    Connection::Transaction transaction(*m_conn, context);
    {
        sqlite3_stmt *stmt =
            m_conn->prepare(QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid=?").arg(quotedName(m_table)));
        StmtReset reset(stmt);
        sqlite3_bind_int64(stmt, 1, m_keys[static_cast<size_t>(s)]);
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_conn->raise(rc, context);
        bool unchanged = rc == SQLITE_ROW;
        for (size_t i = 0; unchanged && i < changedFields.size(); ++i) {
            const int f = changedFields[i];
            unchanged = sameValue(
                readColumn(stmt, m_columnOf[static_cast<size_t>(f)], m_fields[static_cast<size_t>(f)].type),
                cell(s, f));
        }
        if (!unchanged)
            fail(QStringLiteral(
                "Der Datensatz wurde inzwischen von einem anderen Programm geändert oder gelöscht. "
                "Die Änderung wurde nicht gespeichert; bitte die Daten neu laden."));
    }
    {
        sqlite3_stmt *stmt = m_conn->prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(quotedName(m_table), sets.join(u',')));
        StmtReset reset(stmt);
        int p = 1;
        for (const QVariant &v : newValues)
            bindValue(stmt, p++, v);
        sqlite3_bind_int64(stmt, p, m_keys[static_cast<size_t>(s)]);
        m_conn->stepDone(stmt, context);
    }
    transaction.commit();
    for (int f : changedFields) {
        const QVariant old = cell(s, f);
        cell(s, f) = m_buffer[static_cast<size_t>(f)];
        indexMove(s, f, old, m_buffer[static_cast<size_t>(f)]);
    }
}

void RecordSet::dropPending() noexcept
{
    const bool wasEditing = m_state == DataState::Edit || m_state == DataState::Insert;
    const bool inserting = m_state == DataState::Insert;
    // Browse before anyone hears of the removal: views reading the rows then see stored values only.
    m_buffer.clear();
    m_changed.clear();
    m_modified = false;
    if (wasEditing)
        m_state = DataState::Browse;
    if (inserting) {
        const int pos = m_cur;
        emit rowAboutToBeRemoved(pos);
        m_view.erase(m_view.begin() + pos);
        m_cur = m_view.empty() ? -1 : std::min(pos, static_cast<int>(m_view.size()) - 1);
        m_eof = m_view.empty();
        emit rowRemoved(pos);
    }
    if (wasEditing) {
        emit stateChanged(m_state);
        emit rowChanged(m_cur);
        emit currentChanged(m_cur);
    }
}

void RecordSet::cancel()
{
    if (m_state != DataState::Edit && m_state != DataState::Insert)
        return;
    const bool inserting = m_state == DataState::Insert;
    dropPending();
    if (inserting)
        notifyDetails();
}

void RecordSet::remove()
{
    checkActive();
    if (m_state == DataState::Insert) {
        cancel();
        return;
    }
    if (m_view.empty() || m_cur < 0)
        fail(QStringLiteral("Operation bei leerer Datenmenge nicht ausführbar"));
    checkEditable();
    if (m_state == DataState::Edit)
        dropPending();
    for (RecordSet *detail : m_details) {
        if (detail->isOpen())
            detail->checkBrowseModeWithDetails();
    }
    const int pos = m_cur;
    const int s = m_view[static_cast<size_t>(pos)];
    m_conn->ensureConnected();
    {
        sqlite3_stmt *stmt =
            m_conn->prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quotedName(m_table)));
        StmtReset reset(stmt);
        sqlite3_bind_int64(stmt, 1, m_keys[static_cast<size_t>(s)]);
        m_conn->stepDone(stmt, QStringLiteral("(%1)").arg(name()));
        // No row changed: another program deleted it already, which is what was asked for.
    }
    indexRemove(s);
    m_deleted[static_cast<size_t>(s)] = 1;
    emit rowAboutToBeRemoved(pos);
    m_view.erase(m_view.begin() + pos);
    emit rowRemoved(pos);
    m_eof = m_view.empty();
    m_bof = m_view.empty();
    setCurrent(m_view.empty() ? -1 : std::min(pos, static_cast<int>(m_view.size()) - 1));
}

void RecordSet::insertRecord(const std::vector<QVariant> &values)
{
    insert();
    for (size_t i = 0; i < values.size() && i < m_fields.size(); ++i) {
        if (values[i].isValid())
            setValue(static_cast<int>(i), values[i]);
    }
    post();
}

} // namespace store
