#include "Connection.h"

#include "Collation.h"
#include "FieldCatalog.h"
#include "RecordSet.h"
#include "Sqlite.h"
#include "Statement.h"
#include "StoreError.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {
constexpr int kCacheSize = 128;
constexpr int kBusyTimeoutMs = 5000;
constexpr std::chrono::milliseconds kFileRecheck{50};

// SQLite's primary result code, without the detail that extended result codes add.
int primary(int rc)
{
    return rc & 0xFF;
}

QString sqliteText(sqlite3 *db, int rc)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

// Which file a path names: the same device and inode stay the same file, whatever its name.
struct FileId
{
    bool valid = false;
    quint64 device = 0;
    quint64 inode = 0;
};

FileId fileIdOf(const QByteArray &nativePath)
{
    struct stat st = {};
    if (::stat(nativePath.constData(), &st) != 0)
        return {};
    return {true, static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

QString movedMessage(const QString &file)
{
    return QStringLiteral(
               "Die Datenbankdatei %1 wurde gelöscht, verschoben oder durch eine andere Datei "
               "ersetzt, während sie geöffnet war; sie wird nicht mehr gelesen oder geändert. Bitte "
               "die Datei neu öffnen.")
        .arg(quoted(file));
}

bool isTextType(const QString &declared)
{
    const QString t = declared.toUpper();
    return t.contains(u"CHAR") || t.contains(u"TEXT") || t.contains(u"CLOB") || t.contains(u"MEMO") ||
           t.contains(u"STRING");
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
    const QString provider = cs.provider.isEmpty() ? m_provider : cs.provider;
    if (provider.compare(QLatin1String(kJetProvider), Qt::CaseInsensitive) != 0)
        throw StoreError(QStringLiteral("Der Provider %1 wird nicht unterstützt.").arg(quoted(provider)));
    const QString path = cs.dataSource;
    if (path.isEmpty())
        throw StoreError(
            QStringLiteral("In der Verbindungszeichenfolge ist keine Datenbankdatei angegeben."));

    const QFileInfo info(path);
    if (!info.exists()) {
        const QString folder = folderOf(path);
        if (!QFileInfo(folder).isDir())
            throw StoreError(
                QStringLiteral("Die Datenbankdatei %1 wurde nicht gefunden: den Ordner %2 gibt es "
                               "nicht.")
                    .arg(quoted(path), quoted(folder)));
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 wurde nicht gefunden.").arg(quoted(path)));
    }
    if (!info.isFile())
        throw StoreError(
            QStringLiteral("%1 ist keine Datenbankdatei, sondern ein Ordner.").arg(quoted(path)));
    const QByteArray nativePath = QFile::encodeName(path);
    // Asked with this process's effective rights, not by opening the file: closing any descriptor of a
    // file drops every lock this process holds on it, also those of another connection.
    if (::faccessat(AT_FDCWD, nativePath.constData(), R_OK, AT_EACCESS) != 0) {
        const int err = errno;
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht gelesen werden: %2.")
                             .arg(quoted(path), systemReason(err)));
    }
    // SQLite takes an empty file for an empty database and would write one into it.
    if (info.size() == 0)
        throw StoreError(
            QStringLiteral("Die Datei %1 ist leer und keine Sicherheitsdatenbank.").arg(quoted(path)));

    sqlite3 *raw = nullptr;
    int rc = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    auto cannotOpen = [&] {
        const int err = raw ? sqlite3_system_errno(raw) : 0;
        return StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: %2 (%3).")
                              .arg(quoted(path), err ? systemReason(err) : QStringLiteral("Datenbankfehler"),
                                   sqliteText(raw, rc)));
    };
    if (rc != SQLITE_OK)
        throw cannotOpen();
    // The detail tells a file moved away (SQLITE_READONLY_DBMOVED) from one that is write-protected.
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    const QByteArray key = cs.password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));

    // Reading the schema proves the key: a wrong one fails here and not at some later read.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (primary(rc) == SQLITE_NOTADB) {
        QFile f(path);
        QByteArray header;
        if (f.open(QIODevice::ReadOnly))
            header = f.read(16);
        if (header == QByteArray("SQLite format 3\0", 16))
            throw StoreError(
                QStringLiteral("Die Datei %1 ist eine unverschlüsselte SQLite-Datenbank und keine "
                               "Sicherheitsdatenbank.")
                    .arg(quoted(path)));
        throw StoreError(
            QStringLiteral("Die Datei %1 kann nicht geöffnet werden: falsches Datenbankkennwort oder "
                           "keine Sicherheitsdatenbank.")
                .arg(quoted(path)));
    }
    if (primary(rc) == SQLITE_BUSY || primary(rc) == SQLITE_LOCKED)
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 ist von einem anderen Programm gesperrt. Bitte "
                           "später noch einmal versuchen.")
                .arg(quoted(path)));
    if (rc != SQLITE_OK)
        throw cannotOpen();

    // The file SQLite holds open must be the one the path names now; it is compared again before every
    // read and write, so that a file deleted or replaced meanwhile is neither read nor written.
    const FileId id = fileIdOf(nativePath);
    int moved = 0;
    sqlite3_file_control(raw, "main", SQLITE_FCNTL_HAS_MOVED, &moved);
    if (!id.valid || moved)
        throw StoreError(movedMessage(path));

    // Several programs, also on other machines, share the file: a rollback journal works across a network
    // share where WAL's shared memory does not, and a full sync makes each acknowledged write survive.
    // Either setting refused would break that promise silently, so the file is not used without them.
    const auto pragmaText = [raw](const char *sql, int *rcOut) {
        sqlite3_stmt *s = nullptr;
        QByteArray value;
        int step = sqlite3_prepare_v2(raw, sql, -1, &s, nullptr);
        StmtPtr guard(s);
        if (step == SQLITE_OK && (step = sqlite3_step(s)) == SQLITE_ROW)
            value = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))).toLower();
        *rcOut = step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
        return value;
    };
    int pragmaRc = SQLITE_OK;
    QByteArray journal = pragmaText("PRAGMA journal_mode", &pragmaRc);
    if (pragmaRc == SQLITE_OK && journal == "wal")
        journal = pragmaText("PRAGMA journal_mode=DELETE", &pragmaRc);
    if (pragmaRc != SQLITE_OK || journal == "wal")
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: ihr Journal lässt "
                                        "sich nicht auf gemeinsamen Zugriff umstellen (%2).")
                             .arg(quoted(path),
                                  pragmaRc != SQLITE_OK ? sqliteText(raw, pragmaRc) : QStringLiteral("WAL")));
    pragmaRc = sqlite3_exec(raw, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    const QByteArray synchronous = pragmaRc == SQLITE_OK ? pragmaText("PRAGMA synchronous", &pragmaRc) : "";
    if (pragmaRc != SQLITE_OK || synchronous != "2")
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: sicheres Schreiben "
                           "lässt sich nicht einschalten (%2).")
                .arg(quoted(path),
                     pragmaRc != SQLITE_OK ? sqliteText(raw, pragmaRc) : QString::fromLatin1(synchronous)));
    Collation::registerOn(raw);

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
    // Taking the name exclusively first: two creators cannot both think they made the file.
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        const QString folder = quoted(folderOf(path));
        QString why;
        switch (err) {
        case EEXIST:
            throw StoreError(QStringLiteral("Die Datei %1 gibt es schon; sie wird nicht überschrieben.")
                                 .arg(quoted(path)));
        case ENOENT:
            why = QStringLiteral("den Ordner %1 gibt es nicht").arg(folder);
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            why = QStringLiteral("im Ordner %1 kann nicht geschrieben werden (%2)")
                      .arg(folder, systemReason(err));
            break;
        default:
            why = QStringLiteral("%1 (Ordner %2)").arg(systemReason(err), folder);
            break;
        }
        throw StoreError(
            QStringLiteral("Die Datei %1 kann nicht angelegt werden: %2.").arg(quoted(path), why));
    }
    ::close(fd);
    auto fail = [&](const QString &why) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw StoreError(
            QStringLiteral("Die Datenbank %1 kann nicht angelegt werden: %2.").arg(quoted(path), why));
    };
    // In German words first; SQLite's own follow in brackets.
    auto reason = [](sqlite3 *db, int rc) {
        const int err = db ? sqlite3_system_errno(db) : 0;
        const QString words = primary(rc) == SQLITE_FULL ? systemReason(ENOSPC)
                              : err                      ? systemReason(err)
                                                         : QStringLiteral("Datenbankfehler");
        return QStringLiteral("%1 (%2)").arg(words, sqliteText(db, rc));
    };
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        fail(reason(raw, rc));
    sqlite3_extended_result_codes(raw, 1);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    QString script = QStringLiteral("BEGIN;");
    for (const QString &s : statements)
        script += s + u';';
    script += QStringLiteral("COMMIT;");
    const int done = sqlite3_exec(raw, script.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (done != SQLITE_OK) {
        const QString why = reason(raw, done);
        db.reset();
        fail(why);
    }
}

void Connection::disconnect() noexcept
{
    if (!m_db)
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
    m_schemaLoaded = false;
    m_db.reset();
    emit disconnected();
}

void Connection::ensureConnected()
{
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
    TranslatedSql t =
        translateJetSql(statement, [this](const QString &column) { return isTextColumn(column); });
    // Reused only where the translation binds exactly the literals in their order (not so where a number
    // stays in the text, as after ORDER BY or TOP).
    if (!shape.isEmpty() && t.params.size() == literals.size() &&
        std::equal(t.params.begin(), t.params.end(), literals.begin())) {
        if (m_translations.size() > 4 * kCacheSize)
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
        m_cacheIndex.remove(m_cache.back().sql);
        m_cache.pop_back();
    }
    return m_cache.front().stmt.get();
}

Connection::Transaction::Transaction(Connection &connection, const QString &context)
    : m_connection(connection), m_context(context), m_mark(connection.m_changes.size())
{
    // Inside another transaction this one is a savepoint of it: it can be undone alone, and only the outer
    // commit makes anything durable.
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
    if (m_nested)
        sqlite3_exec(m_connection.handle(), "ROLLBACK TO nested; RELEASE nested", nullptr, nullptr, nullptr);
    else
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    --m_connection.m_transactions;
    m_connection.undoSnapshotChanges(m_mark);
}

void Connection::Transaction::commit()
{
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
        Statement list(*this, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
        while (list.step())
            tables << list.text(0);
    }
    QHash<QString, bool> textColumns;
    for (const QString &table : tables) {
        for (const ColumnInfo &c : columns(table)) {
            bool &text = textColumns[c.name.toLower()];
            text = text || isTextType(c.declaredType);
        }
    }
    m_textColumns = std::move(textColumns);
    m_schemaLoaded = true;
}

const std::vector<ColumnInfo> &Connection::columns(const QString &table)
{
    static const std::vector<ColumnInfo> none;
    const QString key = table.toLower();
    auto it = m_tables.find(key);
    if (it != m_tables.end())
        return it.value();
    if (!m_db)
        return none;
    std::vector<ColumnInfo> cols;
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
    if (!m_schemaLoaded && m_db)
        loadSchema();
    return m_textColumns.value(column.toLower(), false);
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
    const QString file = quoted(m_file);
    const int err = m_db ? sqlite3_system_errno(m_db.get()) : 0;
    const QString notStored = QStringLiteral("die Änderung wurde nicht gespeichert");
    auto full = [&] {
        return QStringLiteral("Kein Platz mehr auf dem Datenträger der Datei %1; %2.").arg(file, notStored);
    };
    // A write needs the journal beside the file, so the folder must be writable as well. SQLite's error
    // number belongs to its last attempt (opening the journal read-only), so the folder is asked itself.
    auto folderNotWritable = [&] {
        const QString folder = folderOf(m_file);
        const QString why =
            ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) != 0
                ? systemReason(errno)
                : QString::fromUtf8(sqlite3_errstr(rc));
        return QStringLiteral("Im Ordner %1 kann nicht geschrieben werden (%2); die Änderung an der "
                              "Datenbankdatei %3 wurde nicht gespeichert.")
            .arg(quoted(folder), why, file);
    };
    if (rc == SQLITE_READONLY_DBMOVED) {
        m_fileChecked = {}; // every later read looks too
        return movedMessage(m_file);
    }
    switch (primary(rc)) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral(
                   "Die Datenbankdatei %1 ist von einem anderen Programm gesperrt. Bitte später noch "
                   "einmal versuchen.")
            .arg(file);
    case SQLITE_READONLY:
        return QStringLiteral("Die Datenbankdatei %1 ist schreibgeschützt; %2.").arg(file, notStored);
    case SQLITE_FULL:
        return full();
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Die Datenbankdatei %1 ist beschädigt.").arg(file);
    case SQLITE_CANTOPEN:
        // The file itself is open already: what cannot be opened is the journal in its folder.
        if (fileMoved()) {
            m_fileChecked = {};
            return movedMessage(m_file);
        }
        return folderNotWritable();
    case SQLITE_IOERR:
        if (err == ENOSPC || err == EDQUOT)
            return full();
        // Whatever SQLite had written of a change by then, it has rolled back or will roll back.
        return QStringLiteral("Lese- oder Schreibfehler in der Datenbankdatei %1: %2 (%3)%4.")
            .arg(file, err ? systemReason(err) : QStringLiteral("Fehler des Datenträgers"),
                 QString::fromUtf8(sqlite3_errstr(rc)),
                 writing ? QStringLiteral("; ") + notStored : QString());
    default:
        break;
    }
    const QString msg = message ? QString::fromUtf8(message) : sqliteText(m_db.get(), rc);
    static const struct
    {
        const char *prefix;
        const char *german;
    } known[] = {{"no such table: ", "Die Tabelle %1 gibt es in der Datenbank nicht."},
                 {"no such column: ", "Das Feld %1 gibt es in der Datenbank nicht."},
                 {"ambiguous column name: ", "Der Feldname %1 ist mehrdeutig."}};
    for (const auto &k : known) {
        if (msg.startsWith(QLatin1String(k.prefix)))
            return QString::fromUtf8(k.german).arg(quoted(msg.mid(int(qstrlen(k.prefix)))));
    }
    if (msg.contains(u"syntax error"))
        return QStringLiteral("Syntaxfehler in der SQL-Anweisung (%1).").arg(msg);
    return QStringLiteral("Fehler in der Datenbankdatei %1 (%2).").arg(file, msg);
}

void Connection::raise(int rc, const QString &context, bool writing, const char *message) const
{
    const QString text = describe(rc, writing, message);
    throw StoreError(context.isEmpty() ? text : text + u' ' + context);
}

} // namespace store
