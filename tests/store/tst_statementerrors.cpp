// The store's statement type when a call on it fails: the error it raises, in the connection's words and
// with its context, and that the statement lets go of the file afterwards.

#include "Sqlite.h"
#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include "Statement.h"

#include <QTest>

using namespace testsupport;

namespace {

enum class Misuse
{
    Prepare,
    BindPastLast,
    BindWhileStepping,
    ReadPastLastColumn,
    ReadAfterLastRow,
    NamePastLastColumn,
    Step,
};

const QString kSelect = QStringLiteral("SELECT Titel FROM Funktionen WHERE id>=? ORDER BY id");
const QString kContext = QStringLiteral("(Probe)");

void insertFunction(store::Connection &conn, qint64 id)
{
    store::Statement insert(
        conn, QStringLiteral("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (?, ?, 0)"), kContext);
    insert.bind(1, id);
    insert.bind(2, QVariant(QStringLiteral("Titel %1").arg(id)));
    insert.run();
}

void misuse(store::Connection &conn, Misuse how)
{
    if (how == Misuse::Prepare) {
        store::Statement(conn, QStringLiteral("SELEC Titel FROM Funktionen"), kContext);
        return;
    }
    if (how == Misuse::Step) {
        insertFunction(conn, 1);
        return;
    }
    store::Statement s(conn, kSelect, kContext);
    s.bind(1, qint64(0));
    switch (how) {
    case Misuse::BindPastLast:
        s.bind(2, qint64(0));
        break;
    case Misuse::BindWhileStepping:
        s.step();
        s.bind(1, qint64(1));
        break;
    case Misuse::ReadPastLastColumn:
        s.step();
        s.text(1);
        break;
    case Misuse::ReadAfterLastRow:
        while (s.step()) {
        }
        s.int64(0);
        break;
    case Misuse::NamePastLastColumn:
        s.step();
        s.columnName(1);
        break;
    default:
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Misuse)

class TestStatementErrors : public QObject
{
    Q_OBJECT

private slots:
    void raisesTheConnectionsErrorAndLetsGoOfTheFile_data()
    {
        QTest::addColumn<Misuse>("how");
        QTest::addColumn<QString>("expected"); // %1: the file in quotes

        const QString failed = QStringLiteral("Fehler in der Datenbankdatei %1 (%2). ") + kContext;
        const QString range =
            failed.arg(QStringLiteral("%1"), QString::fromUtf8(sqlite3_errstr(SQLITE_RANGE)));
        QTest::newRow("prepare") << Misuse::Prepare
                                 << QStringLiteral(
                                        "Syntaxfehler in der SQL-Anweisung (near \"SELEC\": syntax "
                                        "error).");
        QTest::newRow("bind past the last parameter") << Misuse::BindPastLast << range;
        QTest::newRow("bind while stepping")
            << Misuse::BindWhileStepping
            << failed.arg(QStringLiteral("%1"), QString::fromUtf8(sqlite3_errstr(SQLITE_MISUSE)));
        QTest::newRow("read past the last column") << Misuse::ReadPastLastColumn << range;
        QTest::newRow("read after the last row") << Misuse::ReadAfterLastRow << range;
        QTest::newRow("name past the last column") << Misuse::NamePastLastColumn << range;
        QTest::newRow("step") << Misuse::Step
                              << failed.arg(QStringLiteral("%1"),
                                            QStringLiteral("UNIQUE constraint failed: Funktionen.id"));
    }

    void raisesTheConnectionsErrorAndLetsGoOfTheFile()
    {
        FILE_ONLY(); // SQLite's own statements and words
        QFETCH(Misuse, how);
        QFETCH(QString, expected);
        Db db;
        for (qint64 id : {1, 2})
            insertFunction(db.conn, id);
        EXPECT_STORE_ERROR(misuse(db.conn, how), expected.arg(store::quoted(db.file)));

        // A statement left standing on a row would keep another program from writing.
        store::Connection other;
        other.setConnectionString(connectionString(db.file));
        other.connect();
        sqlite3_busy_timeout(store::sqliteHandle(other), 10);
        QCOMPARE(other.execute(QStringLiteral("DELETE FROM Funktionen")), 2);
    }
};

int runStatementErrorTests(int argc, char **argv)
{
    TestStatementErrors t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_statementerrors.moc"
