// What the tool reads from and writes to a server is whole: one moment of it, all or nothing, and only what
// both sides hold exactly.

#include "PgServer.h"
#include "TestSupport.h"

#include "Pg.h"
#include "SDaten.h"
#include "ServerPassword.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using testsupport::runTool;

class TestPgConsistency : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!m_server.start() && !m_server.skipReason().isEmpty())
            QSKIP(qPrintable(m_server.skipReason()));
        QVERIFY2(m_server.isRunning(), qPrintable(m_server.failure()));
        m_admin.connect(m_server.uri());
    }

    // A user deleted with their assignments while the copy waits for a locked table: both or neither.
    void aCopyIsOneMomentOfTheServer()
    {
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.mdb")),
                      copy = dir.filePath(QStringLiteral("c.mdb"));
        QCOMPARE(runTool({QStringLiteral("demo"), demo}), 0);
        QCOMPARE(runTool({QStringLiteral("copy"), demo, m_server.uri()}), 0);
        exec(QStringLiteral("BEGIN; LOCK TABLE \"Funktionen\" IN ACCESS EXCLUSIVE MODE"));
        QProcess copying;
        copying.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"),
                      {QStringLiteral("copy"), m_server.uri(), copy});
        QElapsedTimer waited;
        for (waited.start();
             count("SELECT count(*) FROM pg_locks WHERE NOT granted") == 0 && waited.elapsed() < 20000;)
            QTest::qWait(20);
        exec(QStringLiteral("DELETE FROM \"Benutzer\" WHERE \"Initialien\" = 'MM'; "
                            "DELETE FROM \"Funktionen_Benutzer\" WHERE \"User\" = 'MM'; COMMIT"));
        QVERIFY(copying.waitForFinished(30000) && copying.exitCode() == 0);
        QByteArray users, held;
        QCOMPARE(runTool({QStringLiteral("users"), copy}, &users), 0);
        QCOMPARE(runTool({QStringLiteral("rights"), copy, QStringLiteral("mmueller")}, &held), 0);
        QVERIFY2(users.contains("mmueller") && held.contains("Kunden"), (users + held).constData());
    }

    // Tables made, the administrator refused, the clean-up refused too: nothing stays, the next init works.
    void anInitThatFailsLeavesNothingBehind()
    {
        dropTables();
        exec(QStringLiteral(
            "CREATE FUNCTION trap() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RAISE EXCEPTION ''x''; END';"
            "CREATE FUNCTION arm() RETURNS event_trigger LANGUAGE plpgsql AS 'BEGIN IF EXISTS (SELECT FROM "
            "pg_event_trigger_ddl_commands() WHERE object_identity LIKE ''%\"Benutzer\"'') THEN CREATE "
            "TRIGGER "
            "trap BEFORE INSERT ON \"Benutzer\" FOR EACH ROW EXECUTE FUNCTION trap(); END IF; END';"
            "CREATE EVENT TRIGGER arm ON ddl_command_end WHEN TAG IN ('CREATE TABLE') EXECUTE FUNCTION arm();"
            "CREATE FUNCTION keep() RETURNS event_trigger LANGUAGE plpgsql AS 'BEGIN RAISE EXCEPTION ''y''; "
            "END';"
            "CREATE EVENT TRIGGER keep ON sql_drop EXECUTE FUNCTION keep()"));
        const QStringList init{QStringLiteral("init"),       m_server.uri(),
                               QStringLiteral("--admin"),    QStringLiteral("chef"),
                               QStringLiteral("--password"), QStringLiteral("geheim12")};
        QVERIFY(runTool(init) != 0);
        exec(QStringLiteral("DROP EVENT TRIGGER keep; DROP EVENT TRIGGER arm; DROP FUNCTION keep(), arm(), "
                            "trap() CASCADE"));
        QCOMPARE(count("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), 0);
        QCOMPARE(runTool(init), 0);
    }

    void onlyAUtf8DatabaseIsUsed_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::newRow("SQL_ASCII") << QStringLiteral("SQL_ASCII");
        QTest::newRow("LATIN1") << QStringLiteral("LATIN1");
    }
    void onlyAUtf8DatabaseIsUsed()
    {
        QFETCH(QString, encoding);
        exec(QStringLiteral("CREATE DATABASE x%1 ENCODING '%1' TEMPLATE template0").arg(encoding));
        const QString uri = m_server.uri(QStringLiteral("x") + encoding.toLower());
        QByteArray said;
        QVERIFY(runTool({QStringLiteral("init"), uri, QStringLiteral("--admin"), QStringLiteral("chef"),
                         QStringLiteral("--password"), QStringLiteral("geheim12")},
                        nullptr, &said) != 0);
        QVERIFY2(
            QString::fromUtf8(said).contains(QStringLiteral("Zeichenkodierung %1; eine Sicherheitsdatenbank "
                                                            "braucht UTF8. Eine Datenbank mit UTF8 legt der "
                                                            "Befehl \u201Ecreatedb -E UTF8 -T template0 x")
                                                 .arg(encoding)),
            said.constData());
    }

    // As import refuses it, with exit code 2 before anything is made.
    void aCopyFromAServerRefusesTextOutsideWindows1252()
    {
        dropTables();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.mdb")), uri = m_server.uri();
        QCOMPARE(runTool({QStringLiteral("demo"), uri}), 0);
        store::Connection db;
        db.setConnectionString(connectionStringFor(uri));
        QCOMPARE(db.execute(QStringLiteral("update Funktionen set Titel=\"\u03A9 \u1E9E\" where id=1")), 1);
        db.disconnect();
        QCOMPARE(runTool({QStringLiteral("copy"), uri, file}), 2);
        QVERIFY(!QFileInfo::exists(file));
    }

    // A value the server's typed column would change (3.5 to 4, 2 to true) or refuse half-way: copy and
    // import refuse it before anything is changed. A file takes it exactly, unless it is text outside
    // Windows-1252.
    void whatAServerCannotHoldExactlyIsRefused_data()
    {
        QTest::addColumn<QString>("update");
        QTest::addColumn<QString>("says");
        QTest::newRow("text outside Windows-1252")
            << "update Funktionen set Titel=\"\u03A9 \u1E9E\" where id=1"
            << "Zeile 1: Titel enthält Zeichen außerhalb von Windows-1252";
        QTest::newRow("a real function")
            << "update Funktionen_Benutzer set Funktion=3.5 where id=5"
            << "Funktionen_Benutzer, Zeile 5: Funktion „3.5“ ist keine ganze Zahl; ein Datenbankserver kann "
               "sie nicht genau speichern.\n";
        QTest::newRow("a real group") << "update Funktionen set inGruppe=2.5 where id=7"
                                      << "Funktionen, Zeile 7: inGruppe „2.5“ ist keine ganze Zahl";
        QTest::newRow("an Admin of 2") << "update Benutzer set Admin=2 where id=3"
                                       << "Benutzer, Zeile 3: Admin „2“ ist kein Wahrheitswert";
        QTest::newRow("a text function") << "update Funktionen_Benutzer set Funktion='abc' where id=5"
                                         << "Zeile 5: Funktion „abc“ ist keine ganze Zahl;";
    }
    void whatAServerCannotHoldExactlyIsRefused()
    {
        QFETCH(QString, update);
        QFETCH(QString, says);
        dropTables();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.mdb")), uri = m_server.uri(),
                      json = dir.filePath(QStringLiteral("d.json"));
        QCOMPARE(runTool({QStringLiteral("demo"), file}), 0);
        store::Connection db;
        db.setConnectionString(connectionStringFor(file));
        QCOMPARE(db.execute(update), 1);
        db.disconnect();
        QCOMPARE(runTool({QStringLiteral("export"), file, QStringLiteral("--out"), json}), 0);
        for (const QStringList &args : {QStringList{QStringLiteral("import"), uri, json},
                                        QStringList{QStringLiteral("copy"), file, uri}}) {
            QByteArray said;
            QCOMPARE(runTool(args, nullptr, &said), 2);
            QVERIFY2(said.count('\n') == 1 && QString::fromUtf8(said).contains(says), said.constData());
        }
        QCOMPARE(count("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), 0);
        if (says.contains(u"Windows-1252")) { // no file takes it either
            QCOMPARE(runTool({QStringLiteral("copy"), file, file + u'2'}), 2);
            QVERIFY(!QFileInfo::exists(file + u'2'));
            return;
        }
        QByteArray original, copied;
        QCOMPARE(runTool({QStringLiteral("copy"), file, file + u'2'}) +
                     runTool({QStringLiteral("export"), file}, &original),
                 0);
        QCOMPARE(runTool({QStringLiteral("export"), file + u'2'}, &copied), 0);
        QCOMPARE(copied, original);
    }

    void aTypedPasswordIsAskedOncePerServer()
    {
        QVERIFY2(m_server.addPasswordRole(QStringLiteral("pruefer"), QStringLiteral("pw2")),
                 qPrintable(m_server.failure()));
        int asked = 0;
        store::setServerPasswordPrompt([&asked](const QString &) {
            ++asked;
            return std::optional(QStringLiteral("pw2"));
        });
        store::Connection first, second;
        for (store::Connection *c : {&first, &second}) {
            c->setConnectionString(connectionStringFor(m_server.uriAs(QStringLiteral("pruefer"))));
            c->connect();
        }
        store::setServerPasswordPrompt(nullptr);
        QCOMPARE(asked, 1);
    }

private:
    // Several statements in one text, as the server's own client sends them, in the schema of the tables (a
    // store session searches none).
    void exec(const QString &sql)
    {
        PQclear(PQexec(m_admin.handle(), "SET search_path = public"));
        const store::pg::ResultPtr r(PQexec(m_admin.handle(), sql.toUtf8().constData()));
        QVERIFY2(PQresultStatus(r.get()) == PGRES_COMMAND_OK, PQresultErrorMessage(r.get()));
    }
    int count(const char *sql)
    {
        store::pg::Session s;
        s.connect(m_server.uri());
        return QByteArray(PQgetvalue(s.exec(QString::fromLatin1(sql), {}).get(), 0, 0)).toInt();
    }
    void dropTables() { store::Connection::dropServerTables(m_server.uri(), schema::allTableNames()); }

    testsupport::PgServer m_server;
    store::pg::Session m_admin;
};

QTEST_GUILESS_MAIN(TestPgConsistency)
#include "tst_pgconsistency.moc"
