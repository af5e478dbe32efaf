// What every back end promises the store: values come back in the form they went in, a table is described
// the same way, and transactions and savepoints keep or take back exactly what they should. Runs on a file
// and, in the server run, on a server.

#include "Backend.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Suites.h"
#include "TestSupport.h"

#include <QTest>

using namespace testsupport;

namespace {

store::Backend &backendOf(store::Connection &conn)
{
    return conn.plumbing().backend();
}

int functionCount(store::Connection &conn)
{
    const std::unique_ptr<store::Cursor> count = backendOf(conn).prepare(
        QStringLiteral("SELECT count(*) FROM %1").arg(backendOf(conn).tableName(schema::kFunktionen)),
        QString());
    return count->step() ? static_cast<int>(count->int64(0)) : -1;
}

void addFunction(store::Connection &conn, int id)
{
    const std::unique_ptr<store::Cursor> insert =
        backendOf(conn).prepare(QStringLiteral("INSERT INTO %1 (`id`, `Titel`, `inGruppe`) VALUES (?, ?, 0)")
                                    .arg(backendOf(conn).tableName(schema::kFunktionen)),
                                QString());
    insert->bind(1, QVariant(id));
    insert->bind(2, QVariant(QStringLiteral("F%1").arg(id)));
    insert->step();
}

} // namespace

Q_DECLARE_METATYPE(store::CellType)

class TestBackend : public QObject
{
    Q_OBJECT

private slots:
    void aValueComesBackInItsForm_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<store::CellType>("type");
        QTest::newRow("null") << QStringLiteral("Titel") << QVariant() << store::CellType::Null;
        QTest::newRow("number") << QStringLiteral("inGruppe") << QVariant(42) << store::CellType::Integer;
        QTest::newRow("negative") << QStringLiteral("inGruppe") << QVariant(qint64{-7})
                                  << store::CellType::Integer;
        QTest::newRow("text") << QStringLiteral("Titel") << QVariant(QStringLiteral("Ändern ß"))
                              << store::CellType::Text;
        QTest::newRow("zero inside") << QStringLiteral("Titel")
                                     << QVariant(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                                     << store::CellType::Text;
        QTest::newRow("empty text") << QStringLiteral("Titel") << QVariant(QString::fromLatin1(""))
                                    << store::CellType::Text;
    }

    void aValueComesBackInItsForm()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(store::CellType, type);
        Db db;
        store::Backend &backend = backendOf(db.conn);
        const QString table = backend.tableName(schema::kFunktionen);
        {
            const std::unique_ptr<store::Cursor> insert =
                backend.prepare(QStringLiteral("INSERT INTO %1 (`id`, %2) VALUES (1, ?)")
                                    .arg(table, store::quotedName(field)),
                                QString());
            insert->bind(1, value);
            QVERIFY(insert->writes());
            QVERIFY(!insert->step());
            QCOMPARE(insert->changed(), 1);
        }
        const std::unique_ptr<store::Cursor> select = backend.prepare(
            QStringLiteral("SELECT %1 FROM %2").arg(store::quotedName(field), table), QString());
        QVERIFY(!select->writes());
        QVERIFY(select->step());
        QCOMPARE(select->rowColumns(), 1);
        QCOMPARE(select->type(0), type);
        if (type == store::CellType::Integer)
            QCOMPARE(select->int64(0), value.toLongLong());
        if (type == store::CellType::Text)
            QCOMPARE(QString::fromUtf8(select->utf8(0)), value.toString());
        QVERIFY(!select->step());
        QCOMPARE(select->rowColumns(), 0);
        EXPECT_STORE_ERROR_CONTAINING(select->refuseColumn(0), QString());
    }

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
        QCOMPARE(QString::fromUtf8(reread->utf8(0)), QStringLiteral("Neu"));
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
        QCOMPARE(functionCount(other), 2);
        backend.begin(store::Backend::Begin::Write, QString());
        addFunction(db.conn, 4);
        backend.rollback(false);
        QVERIFY(!backend.inTransaction());
        QCOMPARE(functionCount(other), 2);
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
