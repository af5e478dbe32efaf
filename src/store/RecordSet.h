#pragma once

#include "FieldDef.h"
#include "IntIndex.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace store {

class Cells;
class Connection;
class RecordSet;
class Statement;
struct RowImage;
struct SnapshotChange;

enum class DataState
{
    Inactive,
    Browse,
    Edit,
    Insert
};

// One field of a record set's current row, found by name or position.
//
// Reading with no current row yields an empty value (empty text, 0, false). Writing needs the set in edit
// or insert state; text is cut to the field's size.
class Field
{
public:
    Field(RecordSet *set, int index) : m_set(set), m_index(index) {}

    int index() const { return m_index; }
    const QString &name() const;
    FieldType type() const;
    int size() const;

    QVariant value() const;
    bool isNull() const;
    QString asString() const;
    qint32 asInteger() const;
    bool asBoolean() const;
    // The value as it was read from the file, before the current edit.
    QVariant oldValue() const;

    void setValue(const QVariant &value);
    void setAsString(const QString &text);
    void setAsInteger(qint32 value);
    void setAsBoolean(bool value);
    void clear();

private:
    RecordSet *m_set;
    int m_index;
};

// A snapshot of a table or of a statement's result, with one current row and an edit buffer.
//
// Open reads every row at once (a snapshot): the set's own posts show at once, other programs' changes only
// after it is opened again. The current row is a position in the rows on show, which the filter
// ("field=integer") or a master link narrows; both are served from an index, so narrowing costs the same on
// a large table as on a small one.
//
// States: Browse (nothing pending), Edit (the current row's changed values are in the edit buffer, only
// changed values are written), Insert (a new row stands at the current position, not yet stored). Moving,
// inserting, changing the filter or following the master first ends a pending row: posted when any field
// was written, dropped otherwise. Post writes only its own row and only the fields it changed, and only if
// those fields still hold the values that were read (so two programs editing different fields do not undo
// each other's work); otherwise it fails and the row stays in its edit state. Every post is durable when it
// returns, except inside a Connection::Transaction: then at its commit, and its rollback takes back what the
// set showed of it (rows added, removed or changed), so the set shows what the file holds.
//
// Errors are StoreError with the text "<set name>: <message>". An event handler may throw Abort to stop a
// post silently; the row then stays in edit or insert state.
//
// Controls follow the set through its signals (the data links): row moves, state and field changes, rows
// added or removed, and whole resets (open, close, filter, master move).
class RecordSet : public QObject
{
    Q_OBJECT
public:
    using Event = std::function<void(RecordSet &)>;

    explicit RecordSet(const QString &name, QObject *parent = nullptr);
    ~RecordSet() override;

    QString name() const { return objectName(); }
    // What a failure of a write of this set ends with, so that the user knows which list it concerns.
    QString errorContext() const { return QStringLiteral("(%1)").arg(name()); }

    // --- configuration ---
    void setConnection(Connection *connection);
    Connection *connection() const { return m_conn; }
    // A set over a whole table, in the store's order.
    void setTableName(const QString &table);
    const QString &tableName() const { return m_table; }
    // A set over a statement, given as lines (sent joined with CR LF); changing them closes the set.
    void setSql(const QStringList &lines);
    const QStringList &sql() const { return m_sql; }
    QString sqlText() const;
    // Declared fields, in order; without them the fields are the columns found on open.
    void setFieldDefs(const std::vector<FieldDef> &defs);
    void setFilter(const QString &filter);
    const QString &filter() const { return m_filter; }
    void setFiltered(bool filtered);
    bool isFiltered() const { return m_filtered; }
    // Shows only the rows whose detailField equals masterField of the master's current row.
    void setMasterLink(RecordSet *master, const QString &masterField, const QString &detailField);
    RecordSet *master() const { return m_master; }

    void setAfterInsert(Event e) { m_afterInsert = std::move(e); }
    void setAfterEdit(Event e) { m_afterEdit = std::move(e); }
    void setBeforePost(Event e) { m_beforePost = std::move(e); }
    void setAfterPost(Event e) { m_afterPost = std::move(e); }
    // Runs inside the transaction that stores a new or changed row, after the row is written: what it
    // writes goes into the file together with the row or not at all, and an error it raises stores
    // neither. state() tells a new row from a changed one; value() gives the row's new values, oldValue()
    // those that were read.
    void setBeforeCommit(Event e) { m_beforeCommit = std::move(e); }

    // --- life ---
    void open();
    void close() noexcept;
    bool isOpen() const { return m_state != DataState::Inactive; }
    // Reads the rows again, like close and open, from the first; a pending row is dropped. When they
    // cannot be read, the rows read before stay on show and the error is raised.
    void refresh();
    // Runs the statement without a result.
    int execute();

    // --- rows ---
    int recordCount() const;
    bool isEmpty() const { return m_view.empty(); }
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return m_eof; }
    // Position of the current row among the rows on show; -1 when there is none.
    int currentRow() const { return m_cur; }
    void moveTo(int row);

    // --- state ---
    DataState state() const { return m_state; }
    // Edit or Insert: a row is pending.
    bool isEditing() const { return m_state == DataState::Edit || m_state == DataState::Insert; }
    bool isModified() const { return m_modified; }
    void insert();
    void append();
    void edit();
    void post();
    void cancel();
    void remove();
    // Insert, then the values in declared field order (an invalid QVariant leaves its field alone), then
    // post. One operation: when the post fails, the new row is dropped again.
    void insertRecord(const std::vector<QVariant> &values);
    // insertRecord for each row in turn, as one operation: every row is stored or none (inside the
    // transaction open, or one of its own), and the set shows them as the rows inserted one by one would
    // stand. On a server the rows go in a few statements, not one each. A set with handlers around its
    // posts stores the rows one by one, so that each handler sees its row.
    void insertRecords(const std::vector<std::vector<QVariant>> &rows);
    // Ends a pending row: post when changed, else drop.
    void checkBrowseMode();
    // Called by a bound control from updatingRecord when it could not write its value (it has shown why):
    // the post or move that asked stops with Abort instead of storing the row without that value.
    void refusePost();
    // The same for this set and, first, for every detail below it: a master may move only when its
    // details have nothing pending.
    void checkBrowseModeWithDetails();

    // Holds the bound controls still while many rows change at once: they see one reset when the last hold
    // ends, instead of every row coming and the current row moving each time. Nothing else changes: every
    // post is stored as it happens. Use ControlsHeld.
    void holdControls();
    void releaseControls();

    // --- fields ---
    const std::vector<FieldDef> &fields() const { return m_fields; }
    int fieldIndex(const QString &name) const;
    Field field(const QString &name);
    Field field(int index) { return Field(this, index); }
    QVariant value(int field) const;
    QVariant oldValue(int field) const;
    void setValue(int field, const QVariant &value);

    // --- for views: every row on show, the pending new row included ---
    int rowCount() const { return static_cast<int>(m_view.size()); }
    QVariant valueAt(int row, int field) const;
    bool isPendingRow(int row) const;

    // --- used by the connection when a transaction rolls back ---
    void undoChange(const SnapshotChange &change) noexcept;
    // Shows the rows again once every change is undone; the current row stays where it can.
    void showUndone() noexcept;

    // Raises this set's error: "<set name>: <message>".
    [[noreturn]] void fail(const QString &message) const;

signals:
    // Before a pending row is posted or left: bound controls write what is still in them into the fields.
    void updatingRecord();
    void viewAboutToReset();
    void viewReset();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentChanged(int row);
    void stateChanged(store::DataState state);
    void fieldChanged(int field);

private:
    void checkActive() const;
    void checkEditable() const;
    void loadSnapshot();
    QVariant normalize(int field, const QVariant &value) const;
    IntIndex &indexFor(int field);
    void indexAdd(int storageRow);
    void indexRemove(int storageRow);
    void indexMove(int storageRow, int field, const QVariant &from, const QVariant &to);
    void rebuildView();
    bool matchesFilter(int storageRow) const;
    void parseFilter();
    void resetView();
    void setCurrent(int row);
    void notifyDetails();
    void masterMoved();
    void dropPending() noexcept;
    void checkPending() const noexcept;
    // Emits updatingRecord; throws Abort when a control refused.
    void updateRecord();
    void postInsert();
    void postUpdate();
    // Puts the row as the file holds it now into the snapshot, behind a pending edit.
    void takeStoredRow(const Statement &stored, int storageRow);
    // The fields of the pending edit whose values differ from the row's; the row's fields as another
    // program may have stored them since, refused if so; and the new values stored.
    std::vector<int> changedFields(int storageRow) const;
    // Refuses a row another program changed since the snapshot; gives the row as stored when asked.
    void requireUnchangedSince(int storageRow, const std::vector<int> &fields, const QString &context,
                               std::optional<RowImage> *image = nullptr);
    void tellInserted(qint64 rowid, const std::optional<RowImage> &row);
    void storeFields(int storageRow, const std::vector<int> &fields, const QString &context);
    QVariant cell(int storageRow, int field) const;
    void setCell(int storageRow, int field, const QVariant &value);
    QVariant linkKey() const;

    Connection *m_conn = nullptr;
    QString m_table;
    QStringList m_sql;
    std::vector<FieldDef> m_declared;

    // Snapshot: storage rows with their row keys (rowid) of table rows.
    std::vector<FieldDef> m_fields;
    std::vector<int> m_columnOf; // result column of each field
    std::unique_ptr<Cells> m_cells;
    std::unordered_map<int, IntIndex> m_indexes;

    // Rows on show: storage rows, and kPending where the new row of an insert stands.
    std::vector<int> m_view;
    int m_cur = -1;
    bool m_eof = true;

    DataState m_state = DataState::Inactive;
    std::vector<QVariant> m_buffer;
    std::vector<char> m_changed;
    bool m_modified = false;
    bool m_posting = false;
    bool m_updating = false; // inside the updatingRecord signal
    bool m_refused = false;
    int m_held = 0;       // holdControls() not yet released
    int m_undoneRow = -1; // a removed row that a rollback brought back: current again afterwards

    QString m_filter;
    bool m_filtered = false;
    int m_filterField = -1;
    qint64 m_filterValue = 0;

    RecordSet *m_master = nullptr;
    QString m_masterField;
    QString m_detailField;
    std::vector<RecordSet *> m_details;
    QVariant m_linked; // master key the rows on show belong to
    bool m_linkedValid = false;

    Event m_afterInsert;
    Event m_afterEdit;
    Event m_beforePost;
    Event m_afterPost;
    Event m_beforeCommit;
};

// Holds a set's controls for as long as it lives.
class ControlsHeld
{
public:
    explicit ControlsHeld(RecordSet &set) : m_set(set) { m_set.holdControls(); }
    ~ControlsHeld() { m_set.releaseControls(); }
    ControlsHeld(const ControlsHeld &) = delete;
    ControlsHeld &operator=(const ControlsHeld &) = delete;

private:
    RecordSet &m_set;
};

} // namespace store

Q_DECLARE_METATYPE(store::DataState)
