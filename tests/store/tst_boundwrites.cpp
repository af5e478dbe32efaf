// Rows a writer adds of its own through a bound insert, and the rows the write observer is told of: on a
// file and, in the server run, on a server.

#include "Suites.h"
#include "TestSupport.h"

#include "BoundInsert.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Statement.h"
#include "StoredRows.h"
#include "WriteObserver.h"

#include <QTest>

using namespace testsupport;
namespace b = schema::benutzer;
namespace fb = schema::funktionenBenutzer;

namespace {

struct Recorder : store::WriteObserver
{
    std::vector<store::RowWrite> rows;
    void written(store::Connection &, const store::RowWrite &row) override { rows.push_back(row); }
};

void run(Db &db, const QString &sql)
{
    store::Statement(db.conn, sql).run();
}

std::vector<std::vector<QVariant>> storedAssignments(Db &db)
{
    std::vector<std::vector<QVariant>> rows;
    store::StoredRows stored(db.conn, schema::kFunktionenBenutzer, {fb::kId, fb::kFunktion, fb::kUser});
    while (stored.next())
        rows.push_back(stored.values());
    return rows;
}

} // namespace

class TestBoundWrites : public QObject
{
    Q_OBJECT

private slots:
    void aBoundInsertStoresItsValuesUntoldInItsTransaction()
    {
        Db db;
        auto recorder = std::make_shared<Recorder>();
        db.conn.setWriteObserver(recorder);
        const store::BoundInsert insert(schema::kFunktionenBenutzer.toLower(),
                                        {fb::kId, fb::kFunktion, fb::kUser.toUpper()});
        const QString text = QStringLiteral("O'Brien \"Ä\" ") + QChar(0) + QStringLiteral("€");
        const std::vector<std::vector<QVariant>> rows = {
            {qint64{1}, 7, text}, {qint64{2}, QVariant(), QString()}, {qint64{3}, qint64{-5}, QVariant()}};
        insert.insert(db.conn, rows[0]); // a transaction of its own
        {
            store::Connection::Transaction transaction(db.conn, QString());
            insert.insert(db.conn, rows[1]);
            insert.insert(db.conn, rows[2]);
            transaction.commit();
        }
        const std::vector<std::vector<QVariant>> stored = storedAssignments(db);
        QCOMPARE(stored.size(), std::size_t{3});
        QCOMPARE(stored[0], (std::vector<QVariant>{qint64{1}, qint64{7}, text}));
        QCOMPARE(stored[1], (std::vector<QVariant>{qint64{2}, QVariant(), QString()}));
        QCOMPARE(stored[2], (std::vector<QVariant>{qint64{3}, qint64{-5}, QVariant()}));
        QVERIFY(recorder->rows.empty());

        // A transaction rolled back keeps none of its rows; the statement serves the next one.
        {
            store::Connection::Transaction transaction(db.conn, QString());
            insert.insert(db.conn, {qint64{4}, 1, QStringLiteral("AN")});
        }
        insert.insert(db.conn, {qint64{5}, 2, QStringLiteral("BE")});
        QCOMPARE(storedAssignments(db).size(), std::size_t{4});
    }

    // The observer is told each row as the database holds it, whether the store made it from the values it
    // bound or read it: also where the database adds to what was sent.
    void theObserverIsToldTheRowAsStored_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("as sent") << QString();
        QTest::newRow("a default for a column left out") << QStringLiteral("default");
        QTest::newRow("a trigger that changes the row") << QStringLiteral("trigger");
    }

    void theObserverIsToldTheRowAsStored()
    {
        QFETCH(QString, change);
        Db db;
        const QString table = db.conn.plumbing().tableName(schema::kBenutzer);
        if (change == u"default") {
            run(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN Extra VARCHAR(10) DEFAULT 'x'").arg(table));
        } else if (change == u"trigger" && !onServer()) {
            run(db, QStringLiteral("CREATE TRIGGER nachher AFTER UPDATE ON %1 BEGIN UPDATE %1 SET NTUser = "
                                   "'nachher' WHERE rowid = new.rowid; END")
                        .arg(table));
        } else if (change == u"trigger") {
            const QString function =
                store::quotedServerName(db.conn.serverSchema()) + QStringLiteral(".nachher");
            run(db, QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                   "$$BEGIN NEW.\"NTUser\" := 'nachher'; RETURN NEW; END$$")
                        .arg(function));
            run(db, QStringLiteral("CREATE TRIGGER nachher BEFORE UPDATE ON %1 FOR EACH ROW EXECUTE "
                                   "FUNCTION %2()")
                        .arg(table, function));
        }
        auto recorder = std::make_shared<Recorder>();
        db.conn.setWriteObserver(recorder);
        auto users = db.users();
        users->open();
        const auto expectToldAsStored = [&] {
            QVERIFY(!recorder->rows.empty());
            const store::RowWrite &told = recorder->rows.back();
            const std::optional<store::RowImage> stored =
                store::storedRow(db.conn, schema::kBenutzer, told.key, QString());
            QVERIFY(stored);
            QCOMPARE(told.fields, stored->fields);
            QCOMPARE(told.after, stored->values);
        };
        // Each kind twice: the first row of a table made from what was bound is read as well.
        for (const QString &name : {QStringLiteral("Anna"), QStringLiteral("Bernd")}) {
            users->insertRecord({QVariant(), name, QStringLiteral("Ä'") + name.left(1), QVariant(),
                                 QVariant(), QVariant(), true});
            expectToldAsStored();
        }
        for (const QString &realName : {QStringLiteral("Anna Ärger"), QStringLiteral("  ")}) {
            users->edit();
            users->field(b::kRealName).setValue(realName);
            users->field(b::kAdmin).setValue(false);
            users->post();
            expectToldAsStored();
        }
        QCOMPARE(recorder->rows.size(), std::size_t{4});
    }
};

int runBoundWriteTests(int argc, char **argv)
{
    TestBoundWrites t;
    return QTest::qExec(&t, suiteArguments(argc, argv));
}

#include "tst_boundwrites.moc"
