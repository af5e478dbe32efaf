#include "RecordSet.h"

#include "Cells.h"
#include "Connection.h"
#include "FieldValues.h"
#include "JetSql.h"
#include "Plumbing.h"
#include "StoreError.h"

#include <algorithm>

namespace store {

namespace {

constexpr int kPending = -1;

QString msgNotEditing()
{
    return QStringLiteral("Datenmenge weder im Editier- noch im Einfügemodus");
}

} // namespace

// ------------------------------------------------------------------------------------------ RecordSet

RecordSet::RecordSet(const QString &name, QObject *parent)
    : QObject(parent), m_cells(std::make_unique<Cells>())
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
        m_conn->plumbing().detach(this);
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

void RecordSet::checkPending() const noexcept
{
    // A row is pending exactly in Edit or Insert, with a value and a changed-mark for each field; the new
    // row of an insert stands on show at the current place.
    Q_ASSERT(!isEditing() || (m_buffer.size() == m_fields.size() && m_changed.size() == m_fields.size()));
    Q_ASSERT(isEditing() || (m_buffer.empty() && m_changed.empty()));
    Q_ASSERT(m_state != DataState::Insert ||
             (m_cur >= 0 && m_cur < rowCount() && m_view[static_cast<size_t>(m_cur)] == kPending));
    Q_ASSERT(m_state != DataState::Edit ||
             (m_cur >= 0 && m_cur < rowCount() && m_view[static_cast<size_t>(m_cur)] != kPending));
}

void RecordSet::setConnection(Connection *connection)
{
    if (m_conn == connection)
        return;
    close();
    if (m_conn)
        m_conn->plumbing().detach(this);
    m_conn = connection;
    if (m_conn)
        m_conn->plumbing().attach(this);
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
    return statementText(m_sql);
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
        m_cells->reset({});
        m_fields.clear();
        m_indexes.clear();
        throw;
    }
    m_state = DataState::Browse;
    m_linkedValid = false;
    emit stateChanged(m_state);
    resetView();
}

void RecordSet::close() noexcept
{
    if (m_state == DataState::Inactive)
        return;
    emit viewAboutToReset();
    if (m_conn)
        m_conn->plumbing().forgetSnapshotChanges(this);
    m_state = DataState::Inactive;
    m_buffer.clear();
    m_changed.clear();
    m_modified = false;
    m_view.clear();
    m_cells->reset({});
    m_indexes.clear();
    m_cur = -1;
    m_eof = true;
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

QVariant RecordSet::cell(int storageRow, int field) const
{
    return m_cells->value(storageRow, field);
}

void RecordSet::setCell(int storageRow, int field, const QVariant &value)
{
    m_cells->set(storageRow, field, value);
}

QVariant RecordSet::valueAt(int row, int f) const
{
    if (row < 0 || row >= rowCount() || f < 0 || f >= static_cast<int>(m_fields.size()))
        return QVariant();
    if (row == m_cur && isEditing())
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
    return indexOfField(m_fields, fieldName);
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

// ---------------------------------------------------------------------------------------- navigation

void RecordSet::setCurrent(int row)
{
    Q_ASSERT(row >= -1 && row < rowCount());
    m_cur = row;
    emit currentChanged(row);
    notifyDetails();
}

void RecordSet::first()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_eof = m_view.empty();
    setCurrent(m_view.empty() ? -1 : 0);
}

void RecordSet::last()
{
    checkActive();
    checkBrowseModeWithDetails();
    m_eof = true;
    setCurrent(static_cast<int>(m_view.size()) - 1);
}

void RecordSet::next()
{
    checkActive();
    checkBrowseModeWithDetails();
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
    if (m_cur > 0)
        setCurrent(m_cur - 1);
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
    m_eof = false;
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
    if (isEditing()) {
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
    m_eof = false;
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
    if (isEditing())
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

void RecordSet::setValue(int f, const QVariant &value)
{
    checkActive();
    if (f < 0 || f >= static_cast<int>(m_fields.size()))
        fail(QStringLiteral("Feld Nr. %1 nicht gefunden").arg(f));
    if (!isEditing())
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

void RecordSet::dropPending() noexcept
{
    checkPending();
    const bool wasEditing = isEditing();
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
    if (!isEditing())
        return;
    const bool inserting = m_state == DataState::Insert;
    dropPending();
    if (inserting)
        notifyDetails();
}

} // namespace store
