#pragma once

// A connection's insides: its back end, what it learnt of the database (the tables, their columns, which
// columns hold text), the translations of the program's statements, the record sets on it and the changes
// they made to their snapshots while a transaction was open. Record sets, statements and queries reach the
// connection through this; the program above the store never does.
//
// Invariants:
// - backend() is valid exactly while the connection is connected.
// - depth() counts the Transaction and ReadTransaction objects open on the connection, never below 0; the
//   snapshot changes are kept only while it is above 0 and are empty when it is 0.
// - What was learnt of the database is forgotten with the back end: a connection made again learns anew.

#include "Backend.h"
#include "FieldCatalog.h"
#include "JetSql.h"
#include "WriteObserver.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

namespace store {

class Connection;
class RecordSet;

// One change a record set made to its snapshot while a transaction was open: a row it added, removed, or a
// field it changed (with the value before). A rollback takes these back, newest first.
struct SnapshotChange
{
    enum class Kind
    {
        Added,
        Removed,
        Changed
    };
    RecordSet *set = nullptr;
    Kind kind = Kind::Added;
    int row = 0; // storage row of the set
    int field = -1;
    QVariant old;
};

class Plumbing
{
public:
    explicit Plumbing(Connection &connection) : m_connection(connection) {}
    Plumbing(const Plumbing &) = delete;
    Plumbing &operator=(const Plumbing &) = delete;

    Connection &connection() const { return m_connection; }
    bool hasBackend() const { return m_backend != nullptr; }
    Backend &backend() const;
    void open(std::unique_ptr<Backend> backend);
    // The round trips of every back end the connection had, the one it has included.
    quint64 roundTrips() const { return m_roundTripsBefore + (m_backend ? m_backend->roundTrips() : 0); }
    // Drops the back end and everything learnt through it; closes the record sets first.
    void close() noexcept;

    // The program's statement in the back end's dialect, from the cache where its shape was seen before.
    TranslatedSql translate(const QString &statement);
    // What record sets learnt of their statements' result columns.
    FieldCatalog &fieldCatalog() { return m_fieldCatalog; }
    // A table's columns, from the back end once; empty for a table the database does not have.
    const std::vector<ColumnInfo> &columns(const QString &table);
    bool isTextColumn(const QString &column);
    QString tableName(const QString &table) const { return backend().tableName(table); }
    // A table's or column's name as the database spells it.
    QString storedName(const QString &name);
    QString keyColumn(const QString &table) { return backend().keyColumn(table, columns(table)); }
    // After the tables changed under the connection: everything learnt of them is learnt again.
    void forgetSchema();
    // Whether the database runs anything of its own when a row of the table is written; asked once.
    bool hasTriggers(const QString &table);
    // Whether the rows the observer is told of may be made from the values bound to the table (see
    // Observed.h): nothing until a row of it was both made and read.
    std::optional<bool> boundRowsAgree(const QString &table) const;
    void setBoundRowsAgree(const QString &table, bool agree)
    {
        m_boundRowsAgree.insert(table.toLower(), agree);
    }
    // The insert `key` names (see BoundInsert), prepared at its first use and kept with what was learnt of
    // the tables; reset when it is handed out.
    Cursor &boundInsert(const QString &key, const QString &table, const QStringList &columns, int rows = 1);

    void attach(RecordSet *set);
    void detach(RecordSet *set);
    // The sets outlive their connection unconnected.
    void releaseSets() noexcept;

    int depth() const { return m_depth; }
    void enter();
    void leave(std::size_t mark, bool rolledBack) noexcept;
    std::size_t changeMark() const { return m_changes.size(); }
    // Kept only while a transaction is open, for its rollback; a set forgets its own when it closes.
    void noteSnapshotChange(SnapshotChange change);
    void forgetSnapshotChanges(RecordSet *set) noexcept;

    // The observer to tell of a write now: none while writes go unobserved, and none while it is being
    // told, so that its own writes do not come back to it.
    WriteObserver *observer() const { return m_unobserved > 0 || m_telling ? nullptr : m_observer.get(); }
    void setObserver(std::shared_ptr<WriteObserver> observer) { m_observer = std::move(observer); }
    WriteObserver *observerSet() const { return m_observer.get(); }
    void tell(const RowWrite &row);
    void tellAll(const std::vector<RowWrite> &rows);
    void unobserve(int step) { m_unobserved += step; }

private:
    void loadSchema();
    void undoSnapshotChanges(std::size_t mark) noexcept;

    Connection &m_connection;
    std::unique_ptr<Backend> m_backend;
    quint64 m_roundTripsBefore = 0; // of the back ends dropped
    std::vector<RecordSet *> m_sets;
    int m_depth = 0;
    std::vector<SnapshotChange> m_changes;
    std::shared_ptr<WriteObserver> m_observer;
    int m_unobserved = 0;
    bool m_telling = false;

    // Translations by statement shape, kept without their values: statements that differ only in their
    // literals (a user's look-ups, the group tree read per node) share one.
    QHash<QString, TranslatedSql> m_translations;
    FieldCatalog m_fieldCatalog;
    QHash<QString, std::vector<ColumnInfo>> m_tables; // by lower-case table name
    QHash<QString, bool> m_textColumns;               // by lower-case column name
    QHash<QString, bool> m_triggers;                  // by lower-case table name
    QHash<QString, bool> m_boundRowsAgree;            // by lower-case table name
    QHash<QString, std::shared_ptr<Cursor>> m_boundInserts;
    QHash<QString, QString> m_names; // each table's and column's name, by lower case
    QSet<QString> m_tableNames;      // and which of them are tables
    bool m_schemaLoaded = false;
};

} // namespace store
