// Whole tables loaded with their own ids and read back in key order, on a file and on a server (the values
// as stored: the tool's export tests and the server's copy round trip).

#include "Suites.h"
#include "TestSupport.h"

#include "BulkLoad.h"
#include "Statement.h"
#include "StoredRows.h"

#include <QTest>

using namespace testsupport;
namespace f = schema::funktionen;

namespace {

void load(Db &db, const std::vector<std::vector<QVariant>> &rows)
{
    store::Connection::Transaction transaction(db.conn, QString());
    store::BulkLoad bulk(db.conn, schema::tableNames());
    bulk.into(schema::kFunktionen, {f::kId, f::kTitel, f::kInGruppe});
    for (const std::vector<QVariant> &row : rows)
        bulk.add(row);
    bulk.finish();
    transaction.commit();
}

// The file's indexes of the tables, by name; a server's are its own business.
QStringList indexes(Db &db)
{
    if (onServer())
        return {};
    store::Statement list(db.conn, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' "
                                                  "AND sql IS NOT NULL ORDER BY name"));
    QStringList names;
    while (list.step())
        names << list.text(0);
    return names;
}

} // namespace

class TestBulkLoad : public QObject
{
    Q_OBJECT

private slots:
    // A server takes 256 rows in one statement: a whole batch, and one with a part left over.
    void rowsKeepTheirIdsAndTheNextIdFollows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("one batch") << 256;
        QTest::newRow("a batch and a part") << 300;
    }

    void rowsKeepTheirIdsAndTheNextIdFollows()
    {
        QFETCH(int, rows);
        Db db;
        std::vector<std::vector<QVariant>> given;
        for (int i = 0; i < rows; ++i)
            given.push_back({10 + 2 * i, QStringLiteral("F%1").arg(i), 0});
        const QStringList before = indexes(db);
        QVERIFY(onServer() || !before.isEmpty());
        load(db, given);
        QCOMPARE(indexes(db), before);
        QCOMPARE(store::StoredRows::count(db.conn, schema::kFunktionen), rows);
        store::StoredRows read(db.conn, schema::kFunktionen, {f::kId, f::kTitel});
        for (int i = 0; i < rows; ++i) {
            QVERIFY(read.next());
            QCOMPARE(read.values()[0], QVariant(qint64{10 + 2 * i}));
            QCOMPARE(read.values()[1], QVariant(QStringLiteral("F%1").arg(i)));
        }
        QVERIFY(!read.next());
        QVERIFY(!read.next()); // and does not start over
        auto functions = db.functions();
        functions->open();
        functions->insertRecord({QStringLiteral("neu"), 0});
        QCOMPARE(functions->field(f::kId).asInteger(), rows == 0 ? 1 : 10 + 2 * rows - 1);
    }

    // A failed load takes back its rows, and on a file the indexes it dropped; a missing table is told
    // before the first row is read.
    void failuresLeaveTheDatabaseAsItWas()
    {
        Db db;
        load(db, {{1, QStringLiteral("da"), 0}});
        const QStringList before = indexes(db);
        QVERIFY_THROWS_EXCEPTION(
            store::StoreError, load(db, {{2, QStringLiteral("neu"), 0}, {1, QStringLiteral("doppelt"), 0}}));
        QCOMPARE(store::StoredRows::count(db.conn, schema::kFunktionen), 1);
        QCOMPARE(indexes(db), before);
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 store::StoredRows(db.conn, QStringLiteral("Fehlt"), {f::kId}));
    }
};

int runBulkLoadTests(int argc, char **argv)
{
    TestBulkLoad t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_bulkload.moc"
