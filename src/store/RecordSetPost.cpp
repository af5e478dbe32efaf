// Storing a record set's rows: posting a new or changed row and deleting one, each durable by itself; and
// taking them back from the snapshot when the transaction they were made in rolls back.

#include "Cells.h"
#include "Connection.h"
#include "FieldValues.h"
#include "Observed.h"
#include "Plumbing.h"
#include "RecordSet.h"
#include "Statement.h"
#include "StoreError.h"

#include <algorithm>
#include <optional>

namespace store {

void RecordSet::post()
{
    checkActive();
    if (m_posting || !isEditing())
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
    if (!isEditing())
        return;
    checkPending();
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
    Plumbing &p = m_conn->plumbing();
    QStringList names, bound;
    std::vector<QVariant> values;
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].type == FieldType::AutoInc || !m_buffer[f].isValid() || m_buffer[f].isNull())
            continue;
        bound << m_fields[f].name;
        names << quotedName(m_fields[f].name);
        values.push_back(m_buffer[f]);
    }
    const QString table = p.tableName(m_table);
    const QString key = p.keyColumn(m_table);
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(table, names.join(u','),
                                                   QStringLiteral("?,").repeated(names.size()).chopped(1));
    const QString context = errorContext();
    qint64 rowid = 0;
    // The row, what the observer records of it and what the before-commit handler checks or writes are
    // stored together or not at all. Inside a transaction the one reading of the new row serves both;
    // alone, the row is told and committed before the set shows it, so that a failure leaves the typed row
    // pending as it was.
    const bool observed = p.observer() != nullptr;
    const bool alone = p.depth() == 0;
    {
        std::optional<Connection::Transaction> own;
        if (alone && (observed || m_beforeCommit))
            own.emplace(*m_conn, context);
        {
            Statement insert(*m_conn, sql + p.backend().returningKey(key), context);
            insert.bindAll(values);
            insert.run();
            rowid = insert.insertedRowid();
        }
        if (observed && alone)
            tellInserted(rowid, insertedRow(*m_conn, m_table, rowid, bound, values, context));
        if (m_beforeCommit)
            m_beforeCommit(*this);
        if (own)
            own->commit();
    }
    // Read the stored row back: the store fills the id and any defaults.
    Statement reread(*m_conn, QStringLiteral("SELECT %1, * FROM %2 WHERE %1=?").arg(key, table));
    reread.bind(1, rowid);
    const int s = m_cells->rows();
    const bool read = reread.tryStep();
    // Told before the set shows the row: what the observer throws then finds the set as it was.
    if (observed && !alone)
        tellInserted(rowid, read ? std::optional<RowImage>(imageOf(reread, 1))
                                 : storedRow(*m_conn, m_table, rowid, context));
    if (read) {
        m_cells->appendRead(reread, rowid, m_columnOf);
    } else {
        // Another program removed it at once, or it cannot be read now: it is stored, so what we wrote is
        // kept, and the post is not failed for it.
        m_cells->append(rowid, m_buffer);
    }
    indexAdd(s);
    m_view[static_cast<size_t>(m_cur)] = s;
    p.noteSnapshotChange({this, SnapshotChange::Kind::Added, s, -1, QVariant()});
}

void RecordSet::tellInserted(qint64 rowid, const std::optional<RowImage> &row)
{
    // A row that cannot be read back under the lock was removed again at once: nothing to tell of.
    if (!row)
        return;
    Plumbing &p = m_conn->plumbing();
    p.tell({RowWrite::Kind::Inserted, p.storedName(m_table), rowid, row->fields, {}, row->values});
}

std::vector<int> RecordSet::changedFields(int storageRow) const
{
    std::vector<int> changed;
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (m_changed[f] && !sameValue(cell(storageRow, static_cast<int>(f)), m_buffer[f]))
            changed.push_back(static_cast<int>(f));
    }
    return changed;
}

void RecordSet::postUpdate()
{
    const int s = m_view[static_cast<size_t>(m_cur)];
    const std::vector<int> changed = changedFields(s);
    if (changed.empty())
        return;
    m_conn->ensureConnected();
    const QString context = errorContext();
    // Read the row again and compare the changed fields as this set reads them, all under one write lock:
    // a field another program changed since the snapshot is not overwritten, whatever form it is stored in.
    Connection::Transaction transaction(*m_conn, context);
    Plumbing &p = m_conn->plumbing();
    std::optional<RowImage> before;
    requireUnchangedSince(s, changed, context, p.observer() ? &before : nullptr);
    storeFields(s, changed, context);
    if (before) {
        QStringList names;
        std::vector<QVariant> values;
        for (int f : changed) {
            names << m_fields[static_cast<size_t>(f)].name;
            values.push_back(m_buffer[static_cast<size_t>(f)]);
        }
        if (const std::optional<RowImage> after =
                updatedRow(*m_conn, m_table, m_cells->key(s), *before, names, values, context))
            p.tell({RowWrite::Kind::Updated, p.storedName(m_table), m_cells->key(s), before->fields,
                    std::move(before->values), after->values});
    }
    if (m_beforeCommit)
        m_beforeCommit(*this);
    transaction.commit();
    for (int f : changed) {
        const QVariant old = cell(s, f);
        setCell(s, f, m_buffer[static_cast<size_t>(f)]);
        indexMove(s, f, old, m_buffer[static_cast<size_t>(f)]);
        m_conn->plumbing().noteSnapshotChange({this, SnapshotChange::Kind::Changed, s, f, old});
    }
}

void RecordSet::requireUnchangedSince(int storageRow, const std::vector<int> &fields, const QString &context,
                                      std::optional<RowImage> *image)
{
    Plumbing &p = m_conn->plumbing();
    // The row stays as read until the commit, even against a change made outside a transaction.
    Statement reread(*m_conn,
                     QStringLiteral("SELECT %1, * FROM %2 WHERE %1=?%3")
                         .arg(p.keyColumn(m_table), p.tableName(m_table), p.backend().lockingRead()),
                     context);
    reread.setPartOfWrite();
    reread.bind(1, m_cells->key(storageRow));
    if (!reread.step())
        throw StoreError(QStringLiteral("Der Datensatz wurde inzwischen von einem anderen Programm gelöscht. "
                                        "Ihre Änderung wurde nicht gespeichert."));
    const bool unchanged = std::all_of(fields.begin(), fields.end(), [&](int f) {
        return sameValue(
            Cells::read(reread, m_columnOf[static_cast<size_t>(f)], m_fields[static_cast<size_t>(f)].type),
            cell(storageRow, f));
    });
    if (unchanged) {
        if (image)
            *image = imageOf(reread, 1);
        return;
    }
    // The row as it is stored now stands behind the edit, so that Esc shows it and the user decides.
    takeStoredRow(reread, storageRow);
    throw StoreError(
        QStringLiteral("Der Datensatz wurde inzwischen von einem anderen Programm geändert. "
                       "Ihre Änderung wurde nicht gespeichert; Esc zeigt den gespeicherten Stand."));
}

void RecordSet::storeFields(int storageRow, const std::vector<int> &fields, const QString &context)
{
    Plumbing &p = m_conn->plumbing();
    QStringList sets;
    std::vector<QVariant> values;
    for (int f : fields) {
        sets << quotedName(m_fields[static_cast<size_t>(f)].name) + QStringLiteral("=?");
        values.push_back(m_buffer[static_cast<size_t>(f)]);
    }
    values.emplace_back(m_cells->key(storageRow));
    Statement update(*m_conn,
                     QStringLiteral("UPDATE %1 SET %2 WHERE %3=?")
                         .arg(p.tableName(m_table), sets.join(u','), p.keyColumn(m_table)),
                     context);
    update.bindAll(values);
    update.run();
}

void RecordSet::takeStoredRow(const Statement &stored, int storageRow)
{
    for (size_t f = 0; f < m_fields.size(); ++f) {
        const int field = static_cast<int>(f);
        const QVariant now = Cells::read(stored, m_columnOf[f], m_fields[f].type);
        if (sameValue(now, cell(storageRow, field)))
            continue;
        const QVariant old = cell(storageRow, field);
        setCell(storageRow, field, now);
        indexMove(storageRow, field, old, now);
    }
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
        Plumbing &p = m_conn->plumbing();
        const QString context = errorContext();
        const bool observed = p.observer() != nullptr;
        std::optional<Connection::Transaction> own;
        if (observed && p.depth() == 0)
            own.emplace(*m_conn, context);
        const std::optional<RowImage> gone =
            observed ? storedRow(*m_conn, m_table, m_cells->key(s), context) : std::nullopt;
        {
            Statement del(
                *m_conn,
                QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(p.tableName(m_table), p.keyColumn(m_table)),
                context);
            del.bind(1, m_cells->key(s));
            // No row changed: another program deleted it already, which is what was asked for.
            del.run();
        }
        if (gone)
            p.tell({RowWrite::Kind::Deleted,
                    p.storedName(m_table),
                    m_cells->key(s),
                    gone->fields,
                    gone->values,
                    {}});
        if (own)
            own->commit();
    }
    indexRemove(s);
    m_cells->setDeleted(s, true);
    m_conn->plumbing().noteSnapshotChange({this, SnapshotChange::Kind::Removed, s, -1, QVariant()});
    emit rowAboutToBeRemoved(pos);
    m_view.erase(m_view.begin() + pos);
    emit rowRemoved(pos);
    m_eof = m_view.empty();
    setCurrent(m_view.empty() ? -1 : std::min(pos, static_cast<int>(m_view.size()) - 1));
}

void RecordSet::insertRecord(const std::vector<QVariant> &values)
{
    insert();
    try {
        for (size_t i = 0; i < values.size() && i < m_fields.size(); ++i) {
            if (values[i].isValid())
                setValue(static_cast<int>(i), values[i]);
        }
        post();
    } catch (...) {
        // Nobody typed this row: left pending, it would be stored by the next move without a word.
        cancel();
        throw;
    }
}

void RecordSet::insertRecords(const std::vector<std::vector<QVariant>> &rows)
{
    checkActive();
    checkEditable();
    checkBrowseModeWithDetails();
    if (rows.empty())
        return;
    m_conn->ensureConnected();
    Plumbing &p = m_conn->plumbing();
    const QString context = errorContext();
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(*m_conn, context);
    if (m_afterInsert || m_beforePost || m_afterPost) {
        for (const std::vector<QVariant> &row : rows)
            insertRecord(row);
        if (own)
            own->commit();
        return;
    }
    // Each row as insert and setValue would make it: the master's key, then the values given.
    const int linked = m_master ? fieldIndex(m_detailField) : -1;
    std::vector<std::vector<QVariant>> buffers;
    buffers.reserve(rows.size());
    for (const std::vector<QVariant> &values : rows) {
        std::vector<QVariant> buffer(m_fields.size());
        if (linked >= 0)
            buffer[static_cast<std::size_t>(linked)] = linkKey();
        for (std::size_t i = 0; i < values.size() && i < m_fields.size(); ++i) {
            if (!values[i].isValid())
                continue;
            if (m_fields[i].type == FieldType::AutoInc)
                fail(QStringLiteral("Feld %1 kann nicht geändert werden").arg(quoted(m_fields[i].name)));
            buffer[i] = normalize(static_cast<int>(i), values[i]);
        }
        buffers.push_back(std::move(buffer));
    }
    QStringList columns;
    std::vector<std::size_t> stored; // the fields the table takes
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].type != FieldType::AutoInc) {
            columns << m_fields[f].name;
            stored.push_back(f);
        }
    }
    std::vector<std::vector<QVariant>> values;
    values.reserve(buffers.size());
    for (const std::vector<QVariant> &buffer : buffers) {
        std::vector<QVariant> row;
        row.reserve(stored.size());
        for (std::size_t f : stored)
            row.push_back(buffer[f]);
        values.push_back(std::move(row));
    }
    std::vector<int> added;
    added.reserve(rows.size());
    insertRows(*m_conn, m_table, columns, values, context,
               [&](std::size_t i, qint64 key, const Statement *row) {
                   const int s = m_cells->rows();
                   if (row)
                       m_cells->appendRead(*row, key, m_columnOf);
                   else
                       m_cells->append(key, buffers[i]);
                   indexAdd(s);
                   added.push_back(s);
                   p.noteSnapshotChange({this, SnapshotChange::Kind::Added, s, -1, QVariant()});
               });
    if (own)
        own->commit();
    // Where insertRecord would have put them: each new row before the one inserted before it.
    const int pos = m_cur < 0 ? 0 : m_cur;
    emit viewAboutToReset();
    m_view.insert(m_view.begin() + pos, added.rbegin(), added.rend());
    m_cur = pos;
    m_eof = false;
    emit viewReset();
    emit currentChanged(m_cur);
    notifyDetails();
}

void RecordSet::undoChange(const SnapshotChange &change) noexcept
{
    const int s = change.row;
    switch (change.kind) {
    case SnapshotChange::Kind::Added:
        indexRemove(s);
        m_cells->setDeleted(s, true);
        break;
    case SnapshotChange::Kind::Removed:
        m_cells->setDeleted(s, false);
        indexAdd(s);
        m_undoneRow = s;
        break;
    case SnapshotChange::Kind::Changed: {
        const QVariant now = cell(s, change.field);
        setCell(s, change.field, change.old);
        indexMove(s, change.field, now, change.old);
        break;
    }
    }
}

void RecordSet::showUndone() noexcept
{
    const int at = m_cur;
    const int current = at >= 0 && at < rowCount() ? m_view[static_cast<size_t>(at)] : -1;
    // A new row goes with the action that failed, and so does an edit of a row that is gone again.
    if (m_state == DataState::Insert ||
        (m_state == DataState::Edit && current >= 0 && m_cells->isDeleted(current)))
        dropPending();
    const int keep = m_undoneRow >= 0 ? m_undoneRow : current;
    m_undoneRow = -1;
    emit viewAboutToReset();
    try {
        rebuildView();
    } catch (...) {
        m_view.clear();
    }
    const auto found = std::find(m_view.begin(), m_view.end(), keep);
    m_cur = found != m_view.end() ? static_cast<int>(found - m_view.begin())
            : m_view.empty()      ? -1
                                  : std::clamp(at, 0, static_cast<int>(m_view.size()) - 1);
    m_eof = m_view.empty();
    emit viewReset();
    emit currentChanged(m_cur);
    try {
        notifyDetails();
    } catch (const std::exception &error) {
        // A detail's pending row that cannot be stored now; the rollback itself must not fail for it.
        reportError(error);
    }
}

} // namespace store
