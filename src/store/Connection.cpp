#include "Connection.h"

#include "Collation.h"
#include "RecordSet.h"
#include "StoreError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace store {

namespace {
constexpr int kCacheSize = 128;
constexpr int kBusyTimeoutMs = 5000;

struct DbCloser
{
    void operator()(sqlite3 *db) const noexcept { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

bool isTextType(const QString &declared)
{
    const QString t = declared.toUpper();
    return t.contains(u"CHAR") || t.contains(u"TEXT") || t.contains(u"CLOB") || t.contains(u"MEMO") ||
           t.contains(u"STRING");
}
} // namespace

int bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(stmt, index);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, value.toDouble());
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        return sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                                 SQLITE_TRANSIENT);
    }
    }
}

Connection::Connection(QObject *parent) : QObject(parent) {}

Connection::~Connection()
{
    disconnect();
    for (RecordSet *set : m_sets)
        set->connectionGone();
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
    if (!info.exists())
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 wurde nicht gefunden.").arg(quoted(path)));
    if (!info.isFile())
        throw StoreError(
            QStringLiteral("%1 ist keine Datenbankdatei, sondern ein Ordner.").arg(quoted(path)));
    if (!info.isReadable())
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht gelesen werden: keine Berechtigung.")
                .arg(quoted(path)));
    // SQLite takes an empty file for an empty database and would write one into it.
    if (info.size() == 0)
        throw StoreError(
            QStringLiteral("Die Datei %1 ist leer und keine Sicherheitsdatenbank.").arg(quoted(path)));

    sqlite3 *raw = nullptr;
    const QByteArray nativePath = QFile::encodeName(path);
    int rc = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden (%2).")
                .arg(quoted(path), QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc))));
    sqlite3_extended_result_codes(raw, 0);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    const QByteArray key = cs.password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));

    // Reading the schema proves the key: a wrong one fails here and not at some later read.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_NOTADB) {
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
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 ist von einem anderen Programm gesperrt. Bitte "
                           "später noch einmal versuchen.")
                .arg(quoted(path)));
    if (rc != SQLITE_OK)
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden (%2).")
                             .arg(quoted(path), QString::fromUtf8(sqlite3_errmsg(raw))));

    // Several programs, also on other machines, share the file: a rollback journal works across a network
    // share where WAL's shared memory does not, and a full sync makes each acknowledged write survive.
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &s, nullptr) == SQLITE_OK) {
            StmtPtr guard(s);
            if (sqlite3_step(s) == SQLITE_ROW &&
                QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))).toLower() == "wal") {
                guard.reset();
                sqlite3_exec(raw, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
            }
        }
    }
    sqlite3_exec(raw, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    Collation::registerOn(raw);

    m_file = path;
    m_db = db.release();
    emit connected();
}

void Connection::createDatabase(const QString &path, const QString &password, const QStringList &statements)
{
    QFile file(path);
    // Taking the name exclusively first: two creators cannot both think they made the file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw StoreError(file.exists()
                             ? QStringLiteral("Die Datei %1 gibt es schon; sie wird nicht überschrieben.")
                                   .arg(quoted(path))
                             : QStringLiteral("Die Datei %1 kann nicht angelegt werden: %2")
                                   .arg(quoted(path), file.errorString()));
    file.close();
    auto fail = [&](const QString &why) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw StoreError(
            QStringLiteral("Die Datenbank %1 kann nicht angelegt werden: %2").arg(quoted(path), why));
    };
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        fail(QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    QString script = QStringLiteral("BEGIN;");
    for (const QString &s : statements)
        script += s + u';';
    script += QStringLiteral("COMMIT;");
    char *err = nullptr;
    if (sqlite3_exec(raw, script.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString why = QString::fromUtf8(err ? err : "unbekannter Fehler");
        sqlite3_free(err);
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
    m_translations.clear();
    m_tables.clear();
    m_textColumns.clear();
    m_schemaLoaded = false;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    emit disconnected();
}

void Connection::ensureConnected()
{
    if (!m_db)
        connect();
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
    sqlite3_stmt *stmt = prepare(t.sql);
    StmtReset reset(stmt);
    for (size_t i = 0; i < t.params.size(); ++i)
        bindValue(stmt, static_cast<int>(i + 1), t.params[i]);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    // sqlite3_changes() keeps the count of the last statement that changed rows; a query changed none.
    return sqlite3_stmt_readonly(stmt) ? 0 : sqlite3_changes(m_db);
}

sqlite3_stmt *Connection::prepare(const QString &sql)
{
    return prepareEntry(sql).stmt.get();
}

Connection::PreparedEntry &Connection::prepareEntry(const QString &sql)
{
    if (!m_db)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    auto found = m_cacheIndex.constFind(sql);
    if (found != m_cacheIndex.constEnd()) {
        m_cache.splice(m_cache.begin(), m_cache, found.value());
        return m_cache.front();
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), static_cast<int>(utf8.size()), &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        raise(rc);
    // SQLite prepares the first statement only: whatever it leaves would never run, and must not be
    // mistaken for part of what did.
    if (!raw)
        refuseStatement(QStringLiteral("leere Anweisung"), sql);
    if (!isStatementEnd(QByteArrayView(tail, utf8.constData() + utf8.size())))
        refuseStatement(QStringLiteral("Text nach dem Ende der Anweisung"), sql);
    m_cache.push_front(PreparedEntry{sql, std::move(stmt), false, {}, {}, {}});
    m_cacheIndex.insert(sql, m_cache.begin());
    if (m_cache.size() > kCacheSize) {
        m_cacheIndex.remove(m_cache.back().sql);
        m_cache.pop_back();
    }
    return m_cache.front();
}

Connection::Transaction::Transaction(Connection &connection, const QString &context)
    : m_connection(connection), m_context(context)
{
    // Inside another transaction this one is a savepoint of it: it can be undone alone, and only the outer
    // commit makes anything durable.
    m_nested = sqlite3_get_autocommit(m_connection.handle()) == 0;
    const int rc = sqlite3_exec(m_connection.handle(), m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE",
                                nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        m_connection.raise(rc, m_context);
}

Connection::Transaction::~Transaction()
{
    if (!m_open)
        return;
    if (m_nested)
        sqlite3_exec(m_connection.handle(), "ROLLBACK TO nested; RELEASE nested", nullptr, nullptr, nullptr);
    else
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Connection::Transaction::commit()
{
    const int rc = sqlite3_exec(m_connection.handle(), m_nested ? "RELEASE nested" : "COMMIT", nullptr,
                                nullptr, nullptr);
    if (rc != SQLITE_OK)
        m_connection.raise(rc, m_context);
    m_open = false;
}

void Connection::stepDone(sqlite3_stmt *stmt, const QString &context)
{
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        raise(rc, context);
}

void Connection::loadSchema()
{
    m_schemaLoaded = true;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &raw, nullptr) !=
        SQLITE_OK)
        return;
    StmtPtr stmt(raw);
    QStringList tables;
    while (sqlite3_step(raw) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
    stmt.reset();
    for (const QString &table : tables) {
        for (const ColumnInfo &c : columns(table)) {
            bool &text = m_textColumns[c.name.toLower()];
            text = text || isTextType(c.declaredType);
        }
    }
}

const std::vector<ColumnInfo> &Connection::columns(const QString &table)
{
    const QString key = table.toLower();
    auto it = m_tables.find(key);
    if (it != m_tables.end())
        return it.value();
    std::vector<ColumnInfo> cols;
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = "PRAGMA table_info(\"" + table.toUtf8().replace('"', "\"\"") + "\")";
    if (m_db && sqlite3_prepare_v2(m_db, sql.constData(), -1, &raw, nullptr) == SQLITE_OK) {
        StmtPtr stmt(raw);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            ColumnInfo c;
            c.name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 1)));
            c.declaredType = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 2)));
            c.primaryKey = sqlite3_column_int(raw, 5) != 0;
            cols.push_back(c);
        }
    }
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

QString Connection::describe(int rc) const
{
    const QString file = quoted(m_file);
    switch (rc) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral(
                   "Die Datenbankdatei %1 ist von einem anderen Programm gesperrt. Bitte später noch "
                   "einmal versuchen.")
            .arg(file);
    case SQLITE_READONLY:
        return QStringLiteral(
                   "Die Datenbankdatei %1 ist schreibgeschützt; die Änderung wurde nicht gespeichert.")
            .arg(file);
    case SQLITE_FULL:
        return QStringLiteral("Kein Platz mehr auf dem Datenträger der Datei %1; die Änderung wurde nicht "
                              "gespeichert.")
            .arg(file);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Die Datenbankdatei %1 ist beschädigt.").arg(file);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return QStringLiteral("Lese- oder Schreibfehler in der Datenbankdatei %1 (%2).")
            .arg(file, QString::fromUtf8(sqlite3_errstr(rc)));
    default:
        break;
    }
    const QString msg = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
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
    return QStringLiteral("Datenbankfehler: %1").arg(msg);
}

void Connection::raise(int rc, const QString &context) const
{
    const QString text = describe(rc);
    throw StoreError(context.isEmpty() ? text : text + u' ' + context);
}

} // namespace store
