// How a snapshot holds its values: every form a file may hold reads back exactly, also after a change
// taken back, and large tables outgrow the compact forms without losing a value.

#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include "Sqlite.h"

#include <QTest>

using namespace testsupport;

namespace {

void rawExec(store::Connection &conn, const QString &sql)
{
    char *message = nullptr;
    const int rc =
        sqlite3_exec(store::sqliteHandle(conn), sql.toUtf8().constData(), nullptr, nullptr, &message);
    const QString error = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    QVERIFY2(rc == SQLITE_OK, qPrintable(error));
}

// Same type and same value: an empty text is not an empty field, 1 is not true.
void compareExactly(const QVariant &actual, const QVariant &expected)
{
    QCOMPARE(actual.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(actual.typeId(), expected.typeId());
        QCOMPARE(actual, expected);
    }
}

} // namespace

class TestCells : public QObject
{
    Q_OBJECT

private slots:
    void everyStoredFormReadsBackAndSurvivesARollback_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored"); // SQL literal
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QVariant>("changed");

        const QString u = schema::kBenutzer;
        const QString f = schema::kFunktionen;
        QTest::newRow("empty text") << u << "Passwort"
                                    << "''" << QVariant(QStringLiteral(""))
                                    << QVariant(QStringLiteral("neu"));
        QTest::newRow("empty field beside it") << u << "Passwort"
                                               << "NULL" << QVariant() << QVariant(QStringLiteral(""));
        QTest::newRow("text of full length")
            << u << "User"
            << "'abcdefghijklmnopqrst'" << QVariant(QStringLiteral("abcdefghijklmnopqrst")) << QVariant();
        QTest::newRow("non-ASCII text")
            << u << "RealName"
            << "'Jürgen Öß €'" << QVariant(QStringLiteral("Jürgen Öß €")) << QVariant(QStringLiteral("x"));
        QTest::newRow("number in a text field")
            << u << "Passwort"
            << "12345" << QVariant(QStringLiteral("12345")) << QVariant(QStringLiteral("1"));
        QTest::newRow("fraction in a text field") << u << "Passwort"
                                                  << "1.5" << QVariant(QStringLiteral("1.5")) << QVariant();
        QTest::newRow("-1 as true") << u << "Admin"
                                    << "-1" << QVariant(true) << QVariant(false);
        QTest::newRow("word as true") << u << "Admin"
                                      << "'Wahr'" << QVariant(true) << QVariant();
        QTest::newRow("no truth value") << u << "Admin"
                                        << "'vielleicht'" << QVariant() << QVariant(true);
        QTest::newRow("64-bit number") << f << "inGruppe"
                                       << "5000000000" << QVariant(Q_INT64_C(5000000000)) << QVariant(7);
        QTest::newRow("fraction in a number field") << f << "inGruppe"
                                                    << "2.5" << QVariant(2.5) << QVariant(3);
        QTest::newRow("text in a number field") << f << "inGruppe"
                                                << "'abc'" << QVariant(QStringLiteral("abc")) << QVariant(0);
        QTest::newRow("zero is not empty") << f << "inGruppe"
                                           << "0" << QVariant(0) << QVariant();
    }

    void everyStoredFormReadsBackAndSurvivesARollback()
    {
        FILE_ONLY(); // forms a file may hold, written past the store
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QFETCH(QVariant, expected);
        QFETCH(QVariant, changed);
        Db db;
        rawExec(db.conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, field, stored));
        auto set = table == schema::kBenutzer ? db.users() : db.functions();
        set->open();
        compareExactly(set->field(field).value(), expected);
        {
            store::Connection::Transaction transaction(db.conn, QStringLiteral("Test"));
            set->edit();
            set->field(field).setValue(changed);
            set->post();
            QCOMPARE(set->field(field).isNull(), !changed.isValid());
        }
        // The rollback put the value read before back into the snapshot: the same as a fresh read.
        compareExactly(set->field(field).value(), expected);
        set->refresh();
        compareExactly(set->field(field).value(), expected);
    }

    void largeTablesOutgrowTheCompactForms()
    {
        FILE_ONLY(); // filled past the store, for speed
        // More distinct texts than 16 bits can count, ids that are not the row keys, and a change of an id
        // after that: every row still reads its own values and is written back where it belongs.
        Db db;
        rawExec(db.conn, QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                                        "WHERE x < 70000) INSERT INTO Funktionen (id, Titel, inGruppe) "
                                        "SELECT x * 2, 'Titel ' || x, x % 7 FROM n"));
        auto functions = db.functions();
        functions->open();
        QCOMPARE(functions->recordCount(), 70000);
        // The texts about the end of the 16-bit numbers, where the compact form turns into the wide one.
        for (int row = 65532; row <= 65536; ++row) {
            functions->moveTo(row);
            QCOMPARE(functions->field(QStringLiteral("Titel")).asString(),
                     QStringLiteral("Titel %1").arg(row + 1));
        }
        functions->moveTo(69999);
        QCOMPARE(functions->field(QStringLiteral("Titel")).asString(), QStringLiteral("Titel 70000"));
        QCOMPARE(functions->field(QStringLiteral("id")).asInteger(), 140000);
        functions->edit();
        functions->field(QStringLiteral("Titel")).setAsString(QStringLiteral("Titel neu"));
        functions->post();
        QCOMPARE(db.scalar(QStringLiteral("select Titel from Funktionen where id=140000")).toString(),
                 QStringLiteral("Titel neu"));

        rawExec(db.conn, QStringLiteral("DELETE FROM Funktionen WHERE id > 4"));
        rawExec(db.conn,
                QStringLiteral("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (5000000000, 'X', 0)"));
        functions->refresh();
        QCOMPARE(functions->recordCount(), 3);
        functions->last();
        functions->edit();
        functions->field(QStringLiteral("Titel")).setAsString(QStringLiteral("Y"));
        functions->post();
        QCOMPARE(db.scalar(QStringLiteral("select Titel from Funktionen where id=5000000000")).toString(),
                 QStringLiteral("Y"));
        functions->first();
        functions->remove();
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen where id=2")).toInt(), 0);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen")).toInt(), 2);
    }
};

int runCellTests(int argc, char **argv)
{
    TestCells t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_cells.moc"
