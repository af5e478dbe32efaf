#pragma once

// Shared by the suites: fresh security database files in a temporary folder.

#include "Connection.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "ServerMode.h"
#include "StoreError.h"

#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace testsupport {

inline QString connectionString(const QString &file, const QString &password = databasePassword())
{
    return connectionStringFor(file, password);
}

// A new, empty security database (the three tables) at path: a file, or on a server run a link file to a
// new database on the server.
inline void createEmpty(const QString &path)
{
    if (onServer())
        linkTo(path, freshServerDatabase());
    else
        store::Connection::createDatabase(path, databasePassword(), schema::createStatements());
}

// A database made before the journal, the three tables only: a file in the folder, or on a server run a new
// database there. Returns what names it.
inline QString olderDatabase(const QTemporaryDir &dir)
{
    const bool server = onServer();
    QStringList older = server ? schema::serverCreateStatements() : schema::createStatements();
    const QStringList journal =
        server ? schema::serverJournalCreateStatements() : schema::journalCreateStatements();
    older.removeIf([&journal](const QString &s) { return journal.contains(s); });
    if (server) {
        const QString uri = freshServerDatabase(false);
        store::Connection::createServerTables(uri, older, schema::tableNames());
        return uri;
    }
    const QString file = dir.filePath(QStringLiteral("alt.mdb"));
    store::Connection::createDatabase(file, databasePassword(), older);
    return file;
}

inline QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The titles of a set's rows, from the first to the last.
inline QStringList titles(store::RecordSet &rs)
{
    QStringList out;
    for (rs.first(); !rs.eof(); rs.next())
        out << rs.field(QStringLiteral("Titel")).asString();
    return out;
}

// The users' table of a connection, opened with the program's field layout.
inline std::unique_ptr<store::RecordSet> openUsers(store::Connection &conn,
                                                   const QString &setName = QStringLiteral("UserList"))
{
    auto users = std::make_unique<store::RecordSet>(setName);
    users->setConnection(&conn);
    users->setTableName(schema::kBenutzer);
    users->setFieldDefs(schema::userListFields());
    users->open();
    return users;
}

// A connected connection on a fresh file in its own temporary folder.
struct Db
{
    QTemporaryDir dir;
    QString file;
    store::Connection conn;

    explicit Db(const QString &name = QStringLiteral("user.mdb"))
    {
        if (onServer()) {
            file = freshServerDatabase();
        } else {
            file = dir.filePath(name);
            createEmpty(file);
        }
        conn.setConnectionString(connectionString(file));
        conn.connect();
    }

    std::unique_ptr<store::RecordSet> table(const QString &setName, const QString &table,
                                            const std::vector<store::FieldDef> &fields)
    {
        auto rs = std::make_unique<store::RecordSet>(setName);
        rs->setConnection(&conn);
        rs->setTableName(table);
        rs->setFieldDefs(fields);
        return rs;
    }
    std::unique_ptr<store::RecordSet> users()
    {
        return table(QStringLiteral("UserList"), schema::kBenutzer, schema::userListFields());
    }
    std::unique_ptr<store::RecordSet> functions()
    {
        return table(QStringLiteral("Funktionen"), schema::kFunktionen, schema::funktionenFields());
    }
    std::unique_ptr<store::RecordSet> assignments()
    {
        return table(QStringLiteral("FunktionenBenutzer"), schema::kFunktionenBenutzer,
                     schema::funktionenBenutzerFields());
    }
    std::unique_ptr<store::RecordSet> query(const QStringList &lines)
    {
        auto rs = std::make_unique<store::RecordSet>(QStringLiteral("Query"));
        rs->setConnection(&conn);
        rs->setSql(lines);
        return rs;
    }
    // One value of a plain SQL query, read through a statement record set.
    QVariant scalar(const QString &sql)
    {
        auto q = query({sql});
        q->open();
        return q->isEmpty() ? QVariant() : q->value(0);
    }
};

} // namespace testsupport

// Runs the expression and expects a StoreError whose text is exactly `expected`.
#define EXPECT_STORE_ERROR(expr, expected)                                                                   \
    do {                                                                                                     \
        bool thrown_ = false;                                                                                \
        try {                                                                                                \
            expr;                                                                                            \
        } catch (const store::StoreError &e_) {                                                              \
            thrown_ = true;                                                                                  \
            QCOMPARE(e_.message(), QString(expected));                                                       \
        }                                                                                                    \
        QVERIFY2(thrown_, "no StoreError from " #expr);                                                      \
    } while (false)

// Expects a StoreError whose text contains `part`.
#define EXPECT_STORE_ERROR_CONTAINING(expr, part)                                                            \
    do {                                                                                                     \
        bool thrown_ = false;                                                                                \
        try {                                                                                                \
            expr;                                                                                            \
        } catch (const store::StoreError &e_) {                                                              \
            thrown_ = true;                                                                                  \
            QVERIFY2(e_.message().contains(part), qPrintable(e_.message()));                                 \
        }                                                                                                    \
        QVERIFY2(thrown_, "no StoreError from " #expr);                                                      \
    } while (false)
