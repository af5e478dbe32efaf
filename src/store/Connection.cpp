#include "Connection.h"

#include "Collation.h"
#include "FieldCatalog.h"
#include "FileChecks.h"
#include "Pg.h"
#include "Quoted.h"
#include "RecordSet.h"
#include "Sqlite.h"
#include "SqliteErrors.h"
#include "Statement.h"
#include "StoreError.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace store {

namespace {
constexpr int kCacheSize = 128;
bool isPrimaryKey(const ColumnInfo &c)
{
    return c.primaryKey;
}
// Translations are only text, far smaller than prepared statements, so several times as many are kept: the
// bound stops only a session that keeps sending new shapes of statement, and emptying the cache costs no
// more than translating each shape once again.
constexpr qsizetype kMostTranslations = 4 * kCacheSize;
constexpr std::chrono::milliseconds kFileRecheck{50};

bool isTextType(const QString &declared)
{
    const QString t = declared.toUpper();
    return t.contains(u"CHAR") || t.contains(u"TEXT") || t.contains(u"CLOB") || t.contains(u"MEMO") ||
           t.contains(u"STRING");
}

QString databaseFile(const ConnectionString &cs, const QString &defaultProvider)
{
    const QString provider = cs.provider.isEmpty() ? defaultProvider : cs.provider;
    if (provider.compare(QLatin1String(kJetProvider), Qt::CaseInsensitive) != 0)
        throw StoreError(QStringLiteral("Der Provider %1 wird nicht unterstützt.").arg(quoted(provider)));
    if (cs.dataSource.isEmpty())
        throw StoreError(
            QStringLiteral("In der Verbindungszeichenfolge ist keine Datenbankdatei angegeben."));
    return cs.dataSource;
}

StoreError cannotOpen(const QString &path, sqlite3 *db, int rc)
{
    const int err = db ? sqlite3_system_errno(db) : 0;
    return StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: %2.")
                          .arg(quoted(path), openFailureReason(err, sqliteText(db, rc))));
}

DbPtr openKeyed(const QString &path, const QByteArray &nativePath, const QString &password)
{
    // A connection is used by the thread that opened it only; without its own lock every call into SQLite
    // is cheaper, which the thousands of small statements of the group tree feel.
    sqlite3 *raw = nullptr;
    int rc =
        sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        throw cannotOpen(path, raw, rc);
    // The detail tells a file moved away (SQLITE_READONLY_DBMOVED) from one that is write-protected.
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    // Reading the schema proves the key: a wrong one fails here and not at some later read.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (primaryCode(rc) == SQLITE_NOTADB)
        refuseNotADatabase(path);
    if (primaryCode(rc) == SQLITE_BUSY || primaryCode(rc) == SQLITE_LOCKED)
        throw StoreError(lockedMessage(path));
    if (rc != SQLITE_OK)
        throw cannotOpen(path, raw, rc);
    return db;
}

QByteArray pragmaText(sqlite3 *db, const char *sql, int *rcOut)
{
    sqlite3_stmt *s = nullptr;
    QByteArray value;
    int step = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    StmtPtr guard(s);
    if (step == SQLITE_OK && (step = sqlite3_step(s)) == SQLITE_ROW)
        value = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))).toLower();
    *rcOut = step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
    return value;
}

// Several programs, also on other machines, share the file: a rollback journal works across a network share
// where WAL's shared memory does not, and a full sync makes each acknowledged write survive. Either setting
// refused would break that promise silently, so the file is not used without them.
void requireSharedDurableWrites(sqlite3 *db, const QString &path)
{
    int rc = SQLITE_OK;
    QByteArray journal = pragmaText(db, "PRAGMA journal_mode", &rc);
    if (rc == SQLITE_OK && journal == "wal")
        journal = pragmaText(db, "PRAGMA journal_mode=DELETE", &rc);
    if (rc != SQLITE_OK || journal == "wal")
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: ihr Journal lässt "
                           "sich nicht auf gemeinsamen Zugriff umstellen (%2).")
                .arg(quoted(path), rc != SQLITE_OK ? sqliteText(db, rc) : QStringLiteral("WAL")));
    rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    const QByteArray synchronous = rc == SQLITE_OK ? pragmaText(db, "PRAGMA synchronous", &rc) : "";
    if (rc != SQLITE_OK || synchronous != "2")
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: sicheres Schreiben "
                           "lässt sich nicht einschalten (%2).")
                .arg(quoted(path), rc != SQLITE_OK ? sqliteText(db, rc) : QString::fromLatin1(synchronous)));
}
} // namespace

Connection::Connection(QObject *parent) : QObject(parent), m_fieldCatalog(std::make_unique<FieldCatalog>()) {}

Connection::~Connection()
{
    disconnect();
    // The sets outlive their connection unconnected.
    const std::vector<RecordSet *> sets = m_sets;
    for (RecordSet *set : sets)
        set->setConnection(nullptr);
}

void Connection::connect()
{
    if (m_db)
        return;
    const ConnectionString cs = ConnectionString::parse(m_connectionString);
    const QString path = databaseFile(cs, m_provider);
    const QString uri = serverOf(path);
    if (!uri.isEmpty()) {
        // The connection string's password is the file's key; a server takes its own from libpq's places.
        auto server = std::make_unique<pg::Session>();
        server->connect(uri);
        m_file = server->server();
        // A link file fixes the target as it is now: a reconnect goes there, and a file changed meanwhile
        // is refused as a replaced database file is.
        m_linkFile = uri == path ? QString() : path;
        m_nativePath = QFile::encodeName(path);
        const FileId link = fileIdOf(m_nativePath);
        m_fileDevice = link.device;
        m_fileInode = link.inode;
        m_fileChecked = std::chrono::steady_clock::now();
        m_server = std::move(server);
        emit connected();
        return;
    }
    const QByteArray nativePath = QFile::encodeName(path);
    checkBeforeOpening(path, nativePath);
    DbPtr db = openKeyed(path, nativePath, cs.password);

    // The file SQLite holds open must be the one the path names now; it is compared again before every
    // read and write, so that a file deleted or replaced meanwhile is neither read nor written.
    const FileId id = fileIdOf(nativePath);
    int moved = 0;
    sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
    if (!id.valid || moved)
        throw StoreError(movedMessage(path));
    requireSharedDurableWrites(db.get(), path);
    Collation::registerOn(db.get());

    m_file = path;
    m_nativePath = nativePath;
    m_fileDevice = id.device;
    m_fileInode = id.inode;
    m_fileChecked = std::chrono::steady_clock::now();
    m_db = std::move(db);
    emit connected();
}

void Connection::createDatabase(const QString &path, const QString &password, const QStringList &statements)
{
    const QByteArray nativePath = QFile::encodeName(path);
    claimNewFile(path, nativePath);
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    // Closed before the file goes, and nothing of it is left behind.
    auto fail = [&](int failed) {
        // A full disk often leaves no error number behind.
        const int err = primaryCode(failed) == SQLITE_FULL ? ENOSPC : raw ? sqlite3_system_errno(raw) : 0;
        const QString why = openFailureReason(err, sqliteText(raw, failed));
        db.reset();
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw StoreError(
            QStringLiteral("Die Datenbank %1 kann nicht angelegt werden: %2.").arg(quoted(path), why));
    };
    if (rc != SQLITE_OK)
        fail(rc);
    sqlite3_extended_result_codes(raw, 1);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    QString script = QStringLiteral("BEGIN;");
    for (const QString &s : statements)
        script += s + u';';
    script += QStringLiteral("COMMIT;");
    const int done = sqlite3_exec(raw, script.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (done != SQLITE_OK)
        fail(done);
}

void Connection::disconnect() noexcept
{
    if (!m_db && !m_server)
        return;
    const std::vector<RecordSet *> sets = m_sets;
    for (RecordSet *set : sets)
        set->close();
    m_cacheIndex.clear();
    m_cache.clear();
    m_fieldCatalog->clear();
    m_translations.clear();
    m_tables.clear();
    m_textColumns.clear();
    m_serverNames.clear();
    m_serverTables.clear();
    m_linkFile.clear();
    m_schemaLoaded = false;
    m_db.reset();
    m_server.reset();
    emit disconnected();
}

void Connection::ensureConnected()
{
    if (m_server) {
        // A connection the server dropped (a restart, a network failure) is made again for the next step;
        // the sets keep what they showed.
        // A link file that names another target now, or was replaced, is refused as a replaced database
        // file is (looked at once a moment has passed, as a file is), and always before a reconnect.
        const auto now = std::chrono::steady_clock::now();
        const bool lost = m_transactions == 0 && !m_server->stillThere();
        if (!m_linkFile.isEmpty() && (lost || now - m_fileChecked >= kFileRecheck)) {
            if (fileMoved() || serverOf(m_linkFile) != m_server->uri())
                throw StoreError(movedMessage(m_linkFile));
            m_fileChecked = now;
        }
        // The first step after the server ended an idle session works too: the end is noticed before
        // anything is sent.
        if (lost)
            m_server->reconnect();
        return;
    }
    if (!m_db) {
        connect();
        return;
    }
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

qint64 Connection::storedBytes()
{
    if (!m_server)
        return QFileInfo(m_file).size();
    ensureConnected();
    Statement size(
        *this,
        QStringLiteral("SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0)::bigint FROM pg_class c "
                       "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind = 'r' AND "
                       "n.nspname = ?"));
    size.bind(1, m_server->schema());
    return size.step() ? size.int64(0) : 0;
}

bool Connection::fileMoved() const
{
    const FileId now = fileIdOf(m_nativePath);
    return !now.valid || now.device != m_fileDevice || now.inode != m_fileInode;
}

TranslatedSql Connection::translate(const QString &statement)
{
    std::vector<QVariant> literals;
    const QString shape = statementShape(statement, &literals);
    if (!shape.isEmpty()) {
        auto hit = m_translations.constFind(shape);
        if (hit != m_translations.constEnd())
            return TranslatedSql{hit->kind, hit->sql, std::move(literals)};
    }
    ServerDialect server;
    if (m_server) {
        if (!m_schemaLoaded)
            loadSchema();
        server.nameOf = [this](const QString &name) { return m_serverNames.value(name.toLower()); };
        server.isTable = [this](const QString &name) { return m_serverTables.contains(name.toLower()); };
        server.schema = m_server->schema();
    }
    const auto keyOf = [this](const QString &table) {
        const std::vector<ColumnInfo> &all = columns(table);
        const auto key = std::find_if(all.begin(), all.end(), isPrimaryKey);
        return key == all.end() ? QString() : quotedName(key->name);
    };
    TranslatedSql t = translateJetSql(
        statement, [this](const QString &column) { return isTextColumn(column); },
        m_server ? &server : nullptr, keyOf);
    // Reused only where the translation binds exactly the literals in their order (not so where a number
    // stays in the text, as after ORDER BY or TOP).
    if (!shape.isEmpty() && t.params.size() == literals.size() &&
        std::equal(t.params.begin(), t.params.end(), literals.begin())) {
        if (m_translations.size() > kMostTranslations)
            m_translations.clear();
        m_translations.insert(shape, CachedTranslation{t.kind, t.sql});
    }
    return t;
}

int Connection::execute(const QString &statement)
{
    ensureConnected();
    const TranslatedSql t = translate(statement);
    Statement stmt(*this, t.sql);
    stmt.bindAll(t.params);
    return stmt.run();
}

sqlite3_stmt *Connection::prepare(const QString &sql)
{
    if (!m_db)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    auto found = m_cacheIndex.constFind(sql);
    if (found != m_cacheIndex.constEnd()) {
        // A query being read holds its statement until its last row: the same text cannot run meanwhile.
        if (sqlite3_stmt_busy(found.value()->stmt.get()))
            throw StoreError(QStringLiteral("Die Anweisung wird noch gelesen: %1").arg(sql));
        m_cache.splice(m_cache.begin(), m_cache, found.value());
        return m_cache.front().stmt.get();
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(m_db.get(), utf8.constData(), static_cast<int>(utf8.size()), &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        raise(rc);
    // SQLite prepares the first statement only: whatever it leaves would never run, and must not be
    // mistaken for part of what did.
    if (!raw)
        refuseStatement(QStringLiteral("leere Anweisung"), sql);
    if (!isStatementEnd(QByteArrayView(tail, utf8.constData() + utf8.size())))
        refuseStatement(QStringLiteral("Text nach dem Ende der Anweisung"), sql);
    m_cache.push_front(PreparedEntry{sql, std::move(stmt)});
    m_cacheIndex.insert(sql, m_cache.begin());
    if (m_cache.size() > kCacheSize) {
        // The least used one that nobody is reading.
        auto last = std::prev(m_cache.end());
        while (last != m_cache.begin() && sqlite3_stmt_busy(last->stmt.get()))
            --last;
        if (!sqlite3_stmt_busy(last->stmt.get())) {
            m_cacheIndex.remove(last->sql);
            m_cache.erase(last);
        }
    }
    return m_cache.front().stmt.get();
}

Connection::Transaction::Transaction(Connection &connection, const QString &context)
    : m_connection(connection), m_context(context), m_mark(connection.m_changes.size())
{
    // Inside another transaction this one is a savepoint of it: it can be undone alone, and only the outer
    // commit makes anything durable.
    m_connection.ensureConnected();
    if (m_connection.m_server) {
        pg::Session &server = *m_connection.m_server;
        m_nested = PQtransactionStatus(server.handle()) != PQTRANS_IDLE;
        if (m_nested)
            server.exec(QStringLiteral("SAVEPOINT nested"), {});
        else
            server.beginWriting();
        ++m_connection.m_transactions;
        return;
    }
    m_nested = sqlite3_get_autocommit(m_connection.handle()) == 0;
    const int rc = sqlite3_exec(m_connection.handle(), m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE",
                                nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        m_connection.raise(rc, m_context);
    ++m_connection.m_transactions;
}

Connection::Transaction::~Transaction()
{
    if (!m_open)
        return;
    // After an I/O error or a full disk SQLite may have rolled back already; the statements then fail
    // harmlessly, and the file holds what it held before either way.
    if (m_connection.m_server) {
        // A lost connection has rolled back on the server already.
        PGconn *conn = m_connection.m_server->handle();
        if (conn && PQstatus(conn) == CONNECTION_OK)
            pg::ResultPtr(PQexec(conn, m_nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK"));
    } else if (m_nested) {
        sqlite3_exec(m_connection.handle(), "ROLLBACK TO nested; RELEASE nested", nullptr, nullptr, nullptr);
    } else {
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    --m_connection.m_transactions;
    m_connection.undoSnapshotChanges(m_mark);
}

void Connection::Transaction::commit()
{
    if (m_connection.m_server) {
        pg::Session &server = *m_connection.m_server;
        // After a failed statement the server keeps the transaction only to roll it back: a commit then
        // stores nothing.
        if (PQtransactionStatus(server.handle()) != PQTRANS_INTRANS)
            throw StoreError(QStringLiteral("Die Änderungen an der Datenbank %1 wurden nach einem Fehler "
                                            "verworfen und nicht gespeichert. %2")
                                 .arg(quoted(m_connection.m_file), m_context));
        try {
            server.exec(m_nested ? QStringLiteral("RELEASE nested") : QStringLiteral("COMMIT"), {}, true);
        } catch (const StoreError &) {
            if (m_nested || server.isConnected())
                throw;
            // The server may have stored it before its answer was lost.
            throw StoreError(QStringLiteral("Die Verbindung zum Datenbankserver %1 ist beim Speichern "
                                            "abgebrochen; ob die Änderung gespeichert wurde, ist ungewiss. "
                                            "Beim nächsten Schritt wird sie wieder aufgebaut; bitte dann "
                                            "prüfen, was gespeichert ist. %2")
                                 .arg(quoted(server.server()), m_context)
                                 .trimmed());
        }
        m_open = false;
        if (--m_connection.m_transactions == 0)
            m_connection.m_changes.clear();
        return;
    }
    // SQLite ends a transaction by itself after some errors; committing then would store nothing and
    // report only that there was nothing to commit.
    if (sqlite3_get_autocommit(m_connection.handle()))
        throw StoreError(QStringLiteral("Die Änderungen an der Datenbankdatei %1 wurden nach einem Fehler "
                                        "verworfen und nicht gespeichert. %2")
                             .arg(quoted(m_connection.m_file), m_context));
    const int rc = sqlite3_exec(m_connection.handle(), m_nested ? "RELEASE nested" : "COMMIT", nullptr,
                                nullptr, nullptr);
    if (rc != SQLITE_OK)
        m_connection.raise(rc, m_context, true);
    m_open = false;
    if (--m_connection.m_transactions == 0)
        m_connection.m_changes.clear();
}

Connection::ReadTransaction::ReadTransaction(Connection &connection) : m_connection(connection)
{
    m_connection.ensureConnected();
    if (m_connection.m_server) {
        pg::Session &server = *m_connection.m_server;
        if (PQtransactionStatus(server.handle()) != PQTRANS_IDLE)
            return;
        server.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {});
    } else {
        if (sqlite3_get_autocommit(m_connection.handle()) == 0)
            return;
        const int rc = sqlite3_exec(m_connection.handle(), "BEGIN", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            m_connection.raise(rc);
    }
    m_open = true;
    // A connection made again in between would read another moment.
    ++m_connection.m_transactions;
}

Connection::ReadTransaction::~ReadTransaction()
{
    if (!m_open)
        return;
    if (m_connection.m_server) {
        PGconn *conn = m_connection.m_server->handle();
        if (conn && PQstatus(conn) == CONNECTION_OK)
            pg::ResultPtr(PQexec(conn, "ROLLBACK"));
    } else if (m_connection.m_db && sqlite3_get_autocommit(m_connection.handle()) == 0) {
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    --m_connection.m_transactions;
}

void Connection::noteSnapshotChange(SnapshotChange change)
{
    if (m_transactions > 0)
        m_changes.push_back(std::move(change));
}

void Connection::forgetSnapshotChanges(RecordSet *set) noexcept
{
    std::erase_if(m_changes, [set](const SnapshotChange &c) { return c.set == set; });
}

void Connection::undoSnapshotChanges(size_t mark) noexcept
{
    std::vector<RecordSet *> touched;
    while (m_changes.size() > mark) {
        const SnapshotChange change = std::move(m_changes.back());
        m_changes.pop_back();
        change.set->undoChange(change);
        if (std::find(touched.begin(), touched.end(), change.set) == touched.end())
            touched.push_back(change.set);
    }
    for (RecordSet *set : touched)
        set->showUndone();
}

void Connection::stepDone(sqlite3_stmt *stmt, const QString &context)
{
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        raise(rc, context, true);
}

void Connection::loadSchema()
{
    // Which columns hold text decides how every statement compares: a look-up that failed (a lock held a
    // moment too long) is reported and made again next time, never taken for a file without text.
    QStringList tables;
    {
        Statement list(*this, m_server
                                  ? QStringLiteral("SELECT c.relname::text FROM pg_catalog.pg_class c JOIN "
                                                   "pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                                                   "WHERE n.nspname = ? AND c.relkind IN ('r', 'p', 'v') "
                                                   "AND %1")
                                        .arg(pg::trustedOwner(QStringLiteral("c.relowner")))
                                  : QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
        if (m_server)
            list.bind(1, m_server->schema());
        while (list.step())
            tables << list.text(0);
    }
    QHash<QString, bool> textColumns;
    QHash<QString, QString> names;
    for (const QString &table : tables) {
        names.insert(table.toLower(), table);
        for (const ColumnInfo &c : columns(table)) {
            bool &text = textColumns[c.name.toLower()];
            text = text || isTextType(c.declaredType);
            names.insert(c.name.toLower(), c.name);
        }
    }
    m_textColumns = std::move(textColumns);
    m_serverNames = std::move(names);
    m_serverTables.clear();
    for (const QString &table : tables)
        m_serverTables.insert(table.toLower());
    m_schemaLoaded = true;
}

const std::vector<ColumnInfo> &Connection::columns(const QString &table)
{
    static const std::vector<ColumnInfo> none;
    const QString key = table.toLower();
    auto it = m_tables.find(key);
    if (it != m_tables.end())
        return it.value();
    if (!m_db && !m_server)
        return none;
    std::vector<ColumnInfo> cols;
    if (m_server) {
        Statement info(
            *this, QStringLiteral("SELECT a.attname::text, format_type(a.atttypid, a.atttypmod), "
                                  "coalesce(i.indisprimary, false) FROM pg_attribute a "
                                  "JOIN pg_class c ON c.oid = a.attrelid "
                                  "JOIN pg_namespace n ON n.oid = c.relnamespace AND n.nspname = ? "
                                  "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
                                  "AND a.attnum = ANY (i.indkey) "
                                  "WHERE c.oid = (SELECT t.oid FROM pg_class t WHERE t.relnamespace = n.oid "
                                  "AND lower(t.relname) = lower(?) AND t.relkind IN ('r', 'p', 'v') AND %1 "
                                  "ORDER BY t.relname = ? DESC LIMIT 1) "
                                  "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum")
                       .arg(pg::trustedOwner(QStringLiteral("t.relowner"))));
        info.bind(1, m_server->schema());
        info.bind(2, table);
        info.bind(3, table);
        while (info.step())
            cols.push_back(ColumnInfo{info.text(0), info.text(1), info.int64(2) != 0});
        return m_tables.insert(key, std::move(cols)).value();
    }
    // A pragma takes no bound parameter, and the SQLite inside SQLCipher 3 has no pragma_table_info().
    QString name = table;
    Statement info(
        *this, QStringLiteral("PRAGMA table_info(\"%1\")").arg(name.replace(u'"', QStringLiteral("\"\""))));
    while (info.step())
        cols.push_back(ColumnInfo{info.text(1), info.text(2), info.int64(5) != 0});
    return m_tables.insert(key, std::move(cols)).value();
}

bool Connection::isTextColumn(const QString &column)
{
    if (!m_schemaLoaded && (m_db || m_server))
        loadSchema();
    return m_textColumns.value(column.toLower(), false);
}

QString Connection::tableName(const QString &table) const
{
    if (!m_server)
        return quotedName(table);
    return quotedName(m_server->schema()) + u'.' + quotedName(table);
}

QString Connection::serverSchema() const
{
    return m_server ? m_server->schema() : QString();
}

QString Connection::keyColumn(const QString &table)
{
    if (!m_server)
        return QStringLiteral("rowid");
    const std::vector<ColumnInfo> &all = columns(table);
    if (const auto key = std::find_if(all.begin(), all.end(), isPrimaryKey); key != all.end())
        return quotedName(key->name);
    if (all.empty())
        throw StoreError(pg::noSecurityTablesMessage(m_file));
    throw StoreError(QStringLiteral("Die Tabelle %1 hat auf dem Datenbankserver %2 keinen Primärschlüssel.")
                         .arg(quoted(table), quoted(m_file)));
}

QString Connection::serverOf(const QString &target)
{
    const auto isUri = [](const QString &text) {
        return text.startsWith(QLatin1String("postgresql://")) ||
               text.startsWith(QLatin1String("postgres://"));
    };
    QString uri;
    if (isUri(target)) {
        uri = target;
    } else {
        QFile file(target);
        // A database file begins with SQLite's (or SQLCipher's random) bytes, never with the URI.
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QString first = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (!isUri(first))
            return QString();
        uri = first;
    }
    const QUrl url(uri);
    if (!url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password")))
        throw StoreError(
            QStringLiteral("Die Verbindung %1 enthält ein Kennwort. Das Kennwort des Datenbankservers "
                           "gehört in seine Kennwortdatei (~/.pgpass) oder in PGPASSWORD, nicht in "
                           "die Verknüpfung.")
                .arg(quoted(isUri(target) ? pg::serverName(uri) : target)));
    return uri;
}

namespace {
void refuseExistingTables(pg::Session &server, const QStringList &tables)
{
    const pg::ResultPtr found =
        server.exec(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = $2 "
                                   "AND lower(table_name) = ANY (string_to_array(lower($1), ','))"),
                    {tables.join(u','), server.schema()});
    if (QByteArray(PQgetvalue(found.get(), 0, 0)).toInt() > 0)
        throw StoreError(
            QStringLiteral("Die Datenbank %1 enthält schon Tabellen der Sicherheitsdatenbank; sie "
                           "wird nicht überschrieben.")
                .arg(quoted(server.server())));
}
} // namespace

void Connection::createServerTables(const QString &target, const QStringList &statements,
                                    const QStringList &tables)
{
    const QString uri = serverOf(target);
    if (uri.isEmpty())
        throw StoreError(QStringLiteral("%1 nennt keinen Datenbankserver.").arg(quoted(target)));
    pg::Session server;
    server.connect(uri);
    refuseExistingTables(server, tables);
    server.exec(QStringLiteral("BEGIN"), {});
    try {
        // The statements name no schema: they make everything in the one the session found. Functions
        // of the server itself come first (pg_catalog is searched before the path).
        server.exec(QStringLiteral("SET LOCAL search_path = %1").arg(quotedServerName(server.schema())), {});
        for (const QString &s : statements)
            server.exec(s, {}, true);
        server.exec(QStringLiteral("COMMIT"), {}, true);
    } catch (...) {
        if (server.isConnected())
            pg::ResultPtr(PQexec(server.handle(), "ROLLBACK"));
        throw;
    }
}

void Connection::createTablesHere(const QStringList &statements, const QStringList &tables)
{
    ensureConnected();
    if (!m_server)
        throw StoreError(QStringLiteral("%1 nennt keinen Datenbankserver.").arg(quoted(m_file)));
    // Under the write lock: two programs making the tables at once cannot both find none.
    Transaction transaction(*this, QString());
    refuseExistingTables(*m_server, tables);
    // The statements name no schema: they make everything in the session's own. Functions of the server
    // itself come first (pg_catalog is searched before the path), and the rest of the transaction goes
    // back to the path no other role can write to.
    m_server->exec(QStringLiteral("SET LOCAL search_path = %1").arg(quotedServerName(m_server->schema())),
                   {});
    for (const QString &s : statements)
        m_server->exec(s, {}, true);
    m_server->exec(QStringLiteral("SET LOCAL search_path = %1").arg(QLatin1String(pg::kSearchPath)), {});
    transaction.commit();
    // What was learnt of the database before it had the tables.
    m_tables.clear();
    m_textColumns.clear();
    m_serverNames.clear();
    m_translations.clear();
    m_fieldCatalog->clear();
    m_schemaLoaded = false;
}

void Connection::continueIds(const QString &table)
{
    if (!m_server)
        return;
    ensureConnected();
    const std::vector<ColumnInfo> &all = columns(table);
    const auto key = std::find_if(all.begin(), all.end(), isPrimaryKey);
    const QString id = key == all.end() ? QString() : key->name;
    const pg::ResultPtr set = m_server->exec(
        QStringLiteral(
            "SELECT setval(pg_get_serial_sequence($1, $2), coalesce(max(%1), 0) + 1, false) FROM %2")
            .arg(quotedServerName(id), m_server->qualified(table)),
        {m_server->qualified(table), id}, true);
    if (PQgetisnull(set.get(), 0, 0))
        throw StoreError(
            QStringLiteral("Die Tabelle %1 auf dem Datenbankserver %2 vergibt ihre Nummern nicht "
                           "selbst.")
                .arg(quoted(table), quoted(m_server->server())));
}

void Connection::dropServerTables(const QString &target, const QStringList &tables) noexcept
{
    try {
        pg::Session server;
        server.connect(serverOf(target));
        for (const QString &table : tables)
            server.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(server.qualified(table)), {}, true);
    } catch (const std::exception &) {
        // What stays is told by the failure that led here.
    }
}

void Connection::attach(RecordSet *set)
{
    if (std::find(m_sets.begin(), m_sets.end(), set) == m_sets.end())
        m_sets.push_back(set);
}

void Connection::detach(RecordSet *set)
{
    m_sets.erase(std::remove(m_sets.begin(), m_sets.end(), set), m_sets.end());
}

QString Connection::describe(int rc, bool writing, const char *message) const
{
    // Every fact is gathered though each message uses only some: failures are rare, and so the words
    // depend on nothing but what is passed.
    SqliteFailure failure;
    failure.rc = rc;
    failure.systemErrno = m_db ? sqlite3_system_errno(m_db.get()) : 0;
    failure.file = m_file;
    failure.writing = writing;
    failure.sqliteMessage = message ? QString::fromUtf8(message) : sqliteText(m_db.get(), rc);
    failure.fileMoved = fileMoved();
    failure.folder = folderOf(m_file);
    failure.folderErrno = folderWriteError(failure.folder);
    const FailureText text = describeFailure(failure);
    if (text.fileGone)
        m_fileChecked = {}; // every later read looks too
    return text.message;
}

void Connection::raise(int rc, const QString &context, bool writing, const char *message) const
{
    const QString text = describe(rc, writing, message);
    throw StoreError(context.isEmpty() ? text : text + u' ' + context);
}

} // namespace store
