// The change journal's chain and its guard, on a file and on a server: what the writer appends checks whole,
// and a row changed, deleted or slipped in (by someone who first dropped the guard) shows where it begins.

#include "TestSupport.h"

#include "Journal.h"
#include "PgBackend.h"
#include "PgServer.h"
#include "SqliteBackend.h"

#include <QTest>

namespace {

// Statements of the database's own language, past the store: what someone with the key could send.
void native(testsupport::Db &db, const QString &sql)
{
    if (testsupport::onServer())
        store::pgSession(db.conn).exec(sql, {}, true);
    else
        QCOMPARE(
            sqlite3_exec(store::sqliteHandle(db.conn), sql.toUtf8().constData(), nullptr, nullptr, nullptr),
            SQLITE_OK);
}

// Three rows: a user made, changed with text beyond Windows-1252, and a logon that names no row.
void appendThree(testsupport::Db &db)
{
    store::Connection::Transaction transaction(db.conn, QString());
    for (const auto &[aktion, zeile] : {std::pair{schema::aktion::kAngelegt, QVariant(7)},
                                        {schema::aktion::kGeaendert, QVariant(7)},
                                        {schema::aktion::kAnmeldung, QVariant()}})
        journal::append(db.conn,
                        {journal::now(), QStringLiteral("chef"), QStringLiteral("clara"),
                         QStringLiteral("pc1"), QStringLiteral("sicherheit"), schema::kBenutzer, zeile,
                         aktion, QStringLiteral("{\"RealName\":[\"A \\\"B\\\"\",\"Ä→€\\n\"]}")});
    transaction.commit();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void theGuardRefusesChanges_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("update") << QStringLiteral("update Protokoll set Aktion=\"gelöscht\" where id=2");
        QTest::newRow("delete one") << QStringLiteral("DELETE * FROM Protokoll WHERE id=3");
        QTest::newRow("delete all") << QStringLiteral("DELETE * FROM Protokoll");
    }
    void theGuardRefusesChanges()
    {
        QFETCH(QString, statement);
        testsupport::Db db;
        appendThree(db);
        try {
            db.conn.execute(statement);
            QFAIL("the journal was changed");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().contains(schema::kJournalUnchangeable), qPrintable(e.message()));
        }
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Protokoll")).toInt(), 3);
    }

    void theChainShowsTampering_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<qint64>("firstBroken"); // 0: the chain is whole
        QTest::newRow("as appended") << QString() << qint64{0};
        QTest::newRow("deleted") << QStringLiteral("DELETE FROM %1 WHERE id = 2") << qint64{3};
        QTest::newRow("changed") << QStringLiteral("UPDATE %1 SET \"Aktion\" = 'gelöscht' WHERE id = 2")
                                 << qint64{2};
        QTest::newRow("inserted") << QStringLiteral("INSERT INTO %1 (id, \"Pruefsumme\") VALUES (4, 'x')")
                                  << qint64{4};
    }
    void theChainShowsTampering()
    {
        QFETCH(QString, how);
        QFETCH(qint64, firstBroken);
        testsupport::Db db;
        QVERIFY(!journal::firstBroken(db.conn));
        appendThree(db);
        if (how.isEmpty()) {
            QVERIFY(!journal::firstBroken(db.conn));
            return;
        }
        if (testsupport::onServer()) {
            const QString table = store::pgSession(db.conn).qualified(schema::kProtokoll);
            native(db, QStringLiteral("DROP TRIGGER \"Protokoll_unveraenderlich\" ON %1").arg(table));
            native(db, how.arg(table));
        } else {
            native(db, QStringLiteral("DROP TRIGGER Protokoll_UPDATE; DROP TRIGGER Protokoll_DELETE"));
            native(db, how.arg(schema::kProtokoll));
        }
        QCOMPARE(journal::firstBroken(db.conn), std::optional<qint64>(firstBroken));
    }

    // An older server database gains the journal in one transaction, without a backup to make.
    void upgradeOnAServer()
    {
        if (!testsupport::onServer())
            QSKIP("a file's upgrade and its backup are the tool's suite's");
        const QString uri = testsupport::freshServerDatabase(false);
        QStringList older = schema::serverCreateStatements();
        const QStringList journal = schema::serverJournalCreateStatements();
        older.removeIf([&journal](const QString &s) { return journal.contains(s); });
        store::Connection::createServerTables(uri, older, schema::tableNames());
        QByteArray said;
        QCOMPARE(testsupport::runTool({QStringLiteral("upgrade"), uri}, &said), 0);
        QVERIFY2(said.contains("Keine Sicherungskopie") && said.contains("Protokoll angelegt."),
                 said.constData());
        QCOMPARE(testsupport::runTool({QStringLiteral("upgrade"), uri}, &said), 0);
        QVERIFY2(said.contains("schon"), said.constData());
    }
};

SUITE_MAIN(QCoreApplication, TestJournal)
#include "tst_journal.moc"
