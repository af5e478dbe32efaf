#include "SqliteBackend.h"

#include "Connection.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "SqliteErrors.h"
#include "StoreError.h"
#include "SystemError.h"

#include <QFileInfo>

namespace store {

void SqliteBackend::checkStillThere(bool)
{
    // Another program may have deleted, moved or replaced the file since it was opened: SQLite would go on
    // reading the old one. Looking costs a system call, which would be a good part of each of the thousands
    // of small queries that build the group tree; so reads look again once a moment has passed since the
    // last look. A replacement can always come just after a look, so this only widens by that moment a
    // window there is anyway. Writes are not left to it: SQLite compares the path with the open file at
    // the start of every write (SQLITE_READONLY_DBMOVED).
    if (std::chrono::steady_clock::now() - m_fileChecked < kFileRecheck)
        return;
    if (fileMoved())
        throw StoreError(movedMessage(m_file));
    m_fileChecked = std::chrono::steady_clock::now();
}

qint64 SqliteBackend::storedBytes()
{
    return QFileInfo(m_file).size();
}

bool SqliteBackend::fileMoved() const
{
    return !isSameFile(m_nativePath, m_id);
}

void SqliteBackend::exec(const char *sql, const QString &context, bool writing)
{
    const int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc, context, writing);
}

bool SqliteBackend::inTransaction()
{
    return sqlite3_get_autocommit(m_db.get()) == 0;
}

void SqliteBackend::begin(Begin kind, const QString &context)
{
    switch (kind) {
    case Begin::Write:
        return exec("BEGIN IMMEDIATE", context, false);
    case Begin::Read:
        return exec("BEGIN", context, false);
    case Begin::Savepoint:
        return exec("SAVEPOINT nested", context, false);
    }
}

void SqliteBackend::commit(bool savepoint, const QString &context)
{
    // SQLite ends a transaction by itself after some errors; committing then would store nothing and
    // report only that there was nothing to commit.
    if (!inTransaction())
        throw StoreError(QStringLiteral("Die Änderungen an der Datenbankdatei %1 wurden nach einem Fehler "
                                        "verworfen und nicht gespeichert. %2")
                             .arg(quoted(m_file), context));
    exec(savepoint ? "RELEASE nested" : "COMMIT", context, true);
}

void SqliteBackend::rollback(bool savepoint) noexcept
{
    // After an I/O error or a full disk SQLite may have rolled back already; the statements then fail
    // harmlessly.
    if (!inTransaction())
        return;
    sqlite3_exec(m_db.get(), savepoint ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK", nullptr, nullptr,
                 nullptr);
}

QStringList SqliteBackend::tables()
{
    QStringList found;
    const std::unique_ptr<Cursor> list =
        prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"), QString());
    while (list->step())
        found << QString::fromUtf8(list->utf8(0));
    return found;
}

std::vector<ColumnInfo> SqliteBackend::columns(const QString &table)
{
    // A pragma takes no bound parameter, and the SQLite inside SQLCipher 3 has no pragma_table_info().
    QString name = table;
    const std::unique_ptr<Cursor> info =
        prepare(QStringLiteral("PRAGMA table_info(\"%1\")").arg(name.replace(u'"', QStringLiteral("\"\""))),
                QString());
    std::vector<ColumnInfo> found;
    while (info->step())
        found.push_back(ColumnInfo{QString::fromUtf8(info->utf8(1)), QString::fromUtf8(info->utf8(2)),
                                   info->int64(5) != 0, info->type(4) != CellType::Null});
    return found;
}

bool SqliteBackend::hasTriggers(const QString &table)
{
    const std::unique_ptr<Cursor> found =
        prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='trigger' AND "
                               "tbl_name=? COLLATE NOCASE"),
                QString());
    found->bind(1, table);
    return found->step() && found->int64(0) > 0;
}

QString SqliteBackend::tableName(const QString &table) const
{
    return quotedName(table);
}

QString SqliteBackend::keyColumn(const QString &, const std::vector<ColumnInfo> &) const
{
    return QStringLiteral("rowid");
}

void SqliteBackend::createTables(const QStringList &statements, const QStringList &tables)
{
    // Called inside the write transaction, so the tables looked for are those the statements would meet.
    const QStringList present = this->tables();
    for (const QString &table : tables) {
        if (present.contains(table, Qt::CaseInsensitive))
            throw StoreError(
                QStringLiteral("Die Datenbank %1 enthält schon Tabellen der Sicherheitsdatenbank; "
                               "sie wird nicht überschrieben.")
                    .arg(quoted(m_file)));
    }
    for (const QString &s : statements)
        exec(s.toUtf8().constData(), QString(), true);
}

QStringList SqliteBackend::dropIndexes(const QStringList &tables)
{
    // A million rows go in twice as fast without them, and an index made at once from all rows is made in
    // a third of the time its rows take one by one.
    QStringList names, statements;
    {
        const std::unique_ptr<Cursor> list = prepare(
            QStringLiteral(
                "SELECT name, sql, tbl_name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"),
            QString());
        list->setPartOfWrite();
        while (list->step()) {
            if (!tables.contains(QString::fromUtf8(list->utf8(2)), Qt::CaseInsensitive))
                continue;
            names << QString::fromUtf8(list->utf8(0));
            statements << QString::fromUtf8(list->utf8(1));
        }
    }
    for (const QString &name : names)
        prepare(QStringLiteral("DROP INDEX %1").arg(quotedName(name)), QString())->step();
    return statements;
}

void SqliteBackend::setBulkLoading(bool on)
{
    // A quarter of a gigabyte of pages: the tables and indexes of a million rows stay in memory.
    constexpr qint64 kLoadCacheKiB = 262144;
    if (on && !m_usualCache) {
        const std::unique_ptr<Cursor> size = prepare(QStringLiteral("PRAGMA cache_size"), QString());
        m_usualCache = size->step() ? size->int64(0) : -2000;
        prepare(QStringLiteral("PRAGMA cache_size=-%1").arg(kLoadCacheKiB), QString())->step();
    } else if (!on && m_usualCache) {
        prepare(QStringLiteral("PRAGMA cache_size=%1").arg(*m_usualCache), QString())->step();
        m_usualCache.reset();
    }
}

void SqliteBackend::raise(int rc, const QString &context, bool writing, const char *message) const
{
    // Every fact is gathered though each message uses only some: failures are rare, and so the words
    // depend on nothing but what is passed.
    SqliteFailure failure;
    failure.rc = rc;
    failure.systemErrno = sqlite3_system_errno(m_db.get());
    failure.file = m_file;
    failure.writing = writing;
    failure.sqliteMessage = message ? QString::fromUtf8(message) : sqliteText(m_db.get(), rc);
    failure.fileMoved = fileMoved();
    failure.folder = folderOf(m_file);
    failure.folderErrno = folderWriteError(failure.folder);
    const FailureText text = describeFailure(failure);
    if (text.fileGone)
        m_fileChecked = {}; // every later read looks too
    throw StoreError(context.isEmpty() ? text.message : text.message + u' ' + context);
}

sqlite3 *sqliteHandle(const Connection &connection)
{
    const Plumbing &p = connection.plumbing();
    if (!p.hasBackend())
        return nullptr;
    const auto *file = dynamic_cast<const SqliteBackend *>(&p.backend());
    return file ? file->handle() : nullptr;
}

} // namespace store
