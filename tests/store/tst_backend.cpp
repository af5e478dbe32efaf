// What every back end promises the store: a table is described the same way, an insert hands back its key,
// a column the row lacks is refused, and transactions and savepoints keep or take back exactly what they
// should. Runs on a file and, in the server run, on a server (the values' forms: tst_bulkload).

#include "Backend.h"
#include "Plumbing.h"
#include "StoredRows.h"
#include "Suites.h"
#include "TestSupport.h"

#include <QTest>

using namespace testsupport;

namespace {

store::Backend &backendOf(store::Connection &conn)
{
    return conn.plumbing().backend();
}

void addFunction(store::Connection &conn, int id)
{
    conn.execute(
        QStringLiteral("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (%1, \"F\", 0)").arg(id));
}

} // namespace

class TestBackend : public QObject
{
    Q_OBJECT

private slots:
    void aTableIsDescribedAlike()
    {
        Db db;
        store::Backend &backend = backendOf(db.conn);
        QStringList tables = backend.tables();
        for (QString &t : tables)
            t = t.toLower();
        for (const QString &t : schema::tableNames())
            QVERIFY2(tables.contains(t.toLower()), qPrintable(t));
        const std::vector<store::ColumnInfo> columns = backend.columns(schema::kFunktionen);
        // In the order the table declares them, the key marked.
        QStringList names, declared, keys;
        for (const store::ColumnInfo &c : columns) {
            names << c.name.toLower();
            if (c.primaryKey)
                keys << c.name.toLower();
        }
        for (const store::FieldDef &f : schema::funktionenFields())
            declared << f.name.toLower();
        QCOMPARE(names, declared);
        QCOMPARE(keys, QStringList{QStringLiteral("id")});
        QVERIFY(backend.columns(QStringLiteral("Nirgends")).empty());

        // The key an insert hands back names the row it made.
        const QString key = db.conn.plumbing().keyColumn(schema::kFunktionen);
        const std::unique_ptr<store::Cursor> insert =
            backend.prepare(QStringLiteral("INSERT INTO %1 (`Titel`, `inGruppe`) VALUES ('Neu', 0)")
                                    .arg(backend.tableName(schema::kFunktionen)) +
                                backend.returningKey(key),
                            QString());
        QVERIFY(insert->writes());
        insert->step();
        QCOMPARE(insert->changed(), 1);
        const std::unique_ptr<store::Cursor> reread =
            backend.prepare(QStringLiteral("SELECT `Titel` FROM %1 WHERE %2 = ?")
                                .arg(backend.tableName(schema::kFunktionen), key),
                            QString());
        reread->bind(1, QVariant(insert->insertedKey()));
        QVERIFY(reread->step());
        QCOMPARE(reread->rowColumns(), 1);
        QCOMPARE(reread->type(0), store::CellType::Text);
        QCOMPARE(QString::fromUtf8(reread->utf8(0)), QStringLiteral("Neu"));
        QVERIFY(!reread->step());
        QCOMPARE(reread->rowColumns(), 0);
        EXPECT_STORE_ERROR_CONTAINING(reread->refuseColumn(0), QString());
    }

    void aSavepointIsTakenBackAloneAndTheOuterCommitKeepsTheRest()
    {
        Db db;
        store::Backend &backend = backendOf(db.conn);
        QVERIFY(!backend.inTransaction());
        backend.begin(store::Backend::Begin::Write, QString());
        QVERIFY(backend.inTransaction());
        addFunction(db.conn, 1);
        backend.begin(store::Backend::Begin::Savepoint, QString());
        addFunction(db.conn, 2);
        backend.rollback(true);
        QVERIFY(backend.inTransaction());
        backend.begin(store::Backend::Begin::Savepoint, QString());
        addFunction(db.conn, 3);
        backend.commit(true, QString());
        backend.commit(false, QString());
        QVERIFY(!backend.inTransaction());

        // Another connection sees what was committed, and a transaction rolled back leaves nothing.
        store::Connection other;
        other.setConnectionString(connectionString(db.file));
        other.connect();
        QCOMPARE(store::StoredRows::count(other, schema::kFunktionen), 2);
        backend.begin(store::Backend::Begin::Write, QString());
        addFunction(db.conn, 4);
        backend.rollback(false);
        QVERIFY(!backend.inTransaction());
        QCOMPARE(store::StoredRows::count(other, schema::kFunktionen), 2);
        // Nothing to commit is said, not taken for stored.
        EXPECT_STORE_ERROR_CONTAINING(backend.commit(false, QString()), QStringLiteral("nicht gespeichert"));
    }
};

int runBackendTests(int argc, char **argv)
{
    TestBackend t;
    return QTest::qExec(&t, suiteArguments(argc, argv));
}

#include "tst_backend.moc"
