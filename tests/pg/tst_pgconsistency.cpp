// What the tool reads from and writes to a server is whole: a copy is one moment of the database, an init
// is all or nothing, a database that cannot hold the text exactly is refused, and so is text that the
// other side could not hold.

#include "PgServer.h"
#include "TestSupport.h"

#include "Pg.h"
#include "SDaten.h"
#include "ServerPassword.h"
#include "StoreError.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using testsupport::PgServer;

class TestPgConsistency : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!m_server.start()) {
            if (!m_server.skipReason().isEmpty())
                QSKIP(qPrintable(m_server.skipReason()));
            QFAIL(qPrintable(m_server.failure()));
        }
        m_admin.connect(m_server.uri());
    }

    // Another administrator deletes a user with their assignments while the copy reads: the copy holds
    // both or neither, never the user without them.
    void aCopyIsOneMomentOfTheServer()
    {
        dropTables();
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.mdb"));
        const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
        QCOMPARE(tool({QStringLiteral("demo"), demo}), 0);
        QCOMPARE(tool({QStringLiteral("copy"), demo, m_server.uri()}), 0);
        const int held =
            count(QStringLiteral("SELECT count(*) FROM \"Funktionen_Benutzer\" WHERE \"User\" = 'MM'"));
        QVERIFY(held > 0);

        // The functions held locked: the copy has read the users and waits for them.
        exec(QStringLiteral("BEGIN; LOCK TABLE \"Funktionen\" IN ACCESS EXCLUSIVE MODE"));
        QProcess copying;
        copying.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"),
                      {QStringLiteral("copy"), m_server.uri(), copy});
        QElapsedTimer waited;
        waited.start();
        while (count(QStringLiteral("SELECT count(*) FROM pg_locks WHERE NOT granted")) == 0 &&
               waited.elapsed() < 20000)
            QTest::qWait(20);
        exec(QStringLiteral("DELETE FROM \"Benutzer\" WHERE \"Initialien\" = 'MM'; DELETE FROM "
                            "\"Funktionen_Benutzer\" WHERE \"User\" = 'MM'; COMMIT"));
        QVERIFY(copying.waitForFinished(30000));
        QCOMPARE(copying.exitCode(), 0);

        QByteArray exported;
        QCOMPARE(tool({QStringLiteral("export"), copy}, &exported), 0);
        const QJsonObject tables = QJsonDocument::fromJson(exported).object();
        const auto rowsOf = [&tables](const char *table, const char *field) {
            int n = 0;
            for (const QJsonValue &row : tables.value(QLatin1String(table)).toArray())
                n += row.toObject().value(QLatin1String(field)).toString() == u"MM";
            return n;
        };
        QCOMPARE(rowsOf("Benutzer", "Initialien"), 1);
        QCOMPARE(rowsOf("Funktionen_Benutzer", "User"), held);
    }

    // Tables made, the administrator refused: nothing stays, and the next init works.
    void anInitThatFailsLeavesNothingBehind()
    {
        dropTables();
        exec(QStringLiteral(
            "CREATE FUNCTION trap() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RAISE EXCEPTION ''Falle''; "
            "END';"
            "CREATE FUNCTION arm() RETURNS event_trigger LANGUAGE plpgsql AS 'BEGIN "
            "IF EXISTS (SELECT 1 FROM pg_event_trigger_ddl_commands() WHERE object_identity LIKE "
            "''%\"Benutzer\"'') THEN CREATE TRIGGER trap BEFORE INSERT ON \"Benutzer\" FOR EACH ROW "
            "EXECUTE FUNCTION trap(); END IF; END';"
            "CREATE EVENT TRIGGER arm ON ddl_command_end WHEN TAG IN ('CREATE TABLE') EXECUTE FUNCTION arm();"
            // What the server made stays made: a clean-up that drops it afterwards is refused too.
            "CREATE FUNCTION keep() RETURNS event_trigger LANGUAGE plpgsql AS "
            "'BEGIN RAISE EXCEPTION ''bleibt''; END';"
            "CREATE EVENT TRIGGER keep ON sql_drop EXECUTE FUNCTION keep()"));
        const QStringList init{QStringLiteral("init"),       m_server.uri(),
                               QStringLiteral("--admin"),    QStringLiteral("chef"),
                               QStringLiteral("--password"), QStringLiteral("geheim12"),
                               QStringLiteral("--account"),  QStringLiteral("chef")};
        QVERIFY(tool(init) != 0);
        exec(QStringLiteral("DROP EVENT TRIGGER keep; DROP EVENT TRIGGER arm; DROP FUNCTION keep(); "
                            "DROP FUNCTION arm(); DROP FUNCTION trap()"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                                      "current_schema()")),
                 0);
        QCOMPARE(tool(init), 0);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM \"Benutzer\"")), 1);
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
        const QString name = encoding.toLower();
        exec(QStringLiteral("CREATE DATABASE %1 ENCODING '%2' TEMPLATE template0").arg(name, encoding));
        store::pg::Session s;
        EXPECT_STORE_ERROR_CONTAINING(s.connect(m_server.uri(name)),
                                      QStringLiteral("Zeichenkodierung %1; eine Sicherheitsdatenbank braucht "
                                                     "UTF8. Eine Datenbank mit UTF8 legt der Befehl "
                                                     "\u201Ecreatedb -E UTF8 -T template0 %2\u201C an.")
                                          .arg(encoding, name));
        QByteArray said;
        QVERIFY(tool({QStringLiteral("init"), m_server.uri(name), QStringLiteral("--admin"),
                      QStringLiteral("chef"), QStringLiteral("--password"), QStringLiteral("geheim12")},
                     nullptr, &said) != 0);
        QVERIFY2(said.contains("createdb -E UTF8 -T template0"), said.constData());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = "
                                      "c.relnamespace WHERE n.nspname = 'public'"),
                       name),
                 0);
        exec(QStringLiteral("DROP DATABASE %1").arg(name));
    }

    // A letter neither a file nor the program can hold is refused on the way to either side, as import
    // refuses it, before anything is made.
    void aCopyRefusesTextOutsideWindows1252_data()
    {
        QTest::addColumn<bool>("toServer");
        QTest::addColumn<QString>("letter");
        QTest::newRow("file to server") << true << QStringLiteral("\u03A9");
        QTest::newRow("server to file") << false << QStringLiteral("\u1E9E");
    }
    void aCopyRefusesTextOutsideWindows1252()
    {
        QFETCH(bool, toServer);
        QFETCH(QString, letter);
        dropTables();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.mdb"));
        QCOMPARE(tool({QStringLiteral("demo"), toServer ? file : m_server.uri()}), 0);
        const QString update = QStringLiteral("update Funktionen set Titel=\"Gr%1e\" where id=1").arg(letter);
        {
            store::Connection db;
            db.setConnectionString(connectionStringFor(toServer ? file : m_server.uri()));
            QCOMPARE(db.execute(update), 1);
        }
        QByteArray said;
        QCOMPARE(
            tool({QStringLiteral("copy"), toServer ? file : m_server.uri(), toServer ? m_server.uri() : file},
                 nullptr, &said),
            2);
        QVERIFY2(QString::fromUtf8(said).contains(
                     QStringLiteral("Funktionen, Zeile 1: Titel enthält Zeichen außerhalb von Windows-1252")),
                 said.constData());
        if (toServer)
            QCOMPARE(count(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema "
                                          "= current_schema()")),
                     0);
        else
            QVERIFY(!QFileInfo::exists(file));
    }

    // The program and the tool open several connections to one server: the password is asked once.
    void aTypedPasswordIsAskedOncePerServer()
    {
        QVERIFY2(m_server.addPasswordRole(QStringLiteral("pruefer"), QStringLiteral("pw2")),
                 qPrintable(m_server.failure()));
        int asked = 0;
        store::setServerPasswordPrompt([&asked](const QString &) -> std::optional<QString> {
            ++asked;
            return QStringLiteral("pw2");
        });
        const QString uri = m_server.uriAs(QStringLiteral("pruefer"));
        store::pg::Session first, second;
        first.connect(uri);
        second.connect(uri);
        store::Connection third;
        third.setConnectionString(connectionStringFor(uri));
        third.connect();
        store::setServerPasswordPrompt(nullptr);
        QCOMPARE(asked, 1);
        QVERIFY(third.isConnected());
    }

private:
    int tool(const QStringList &args, QByteArray *output = nullptr, QByteArray *errors = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), args);
        if (!p.waitForFinished(60000))
            return -1;
        if (output)
            *output = p.readAllStandardOutput();
        if (errors)
            *errors = p.readAllStandardError();
        return p.exitCode();
    }

    // Several statements in one text, as the server's own client sends them.
    void exec(const QString &sql)
    {
        const store::pg::ResultPtr r(PQexec(m_admin.handle(), sql.toUtf8().constData()));
        const ExecStatusType status = PQresultStatus(r.get());
        QVERIFY2(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK, PQresultErrorMessage(r.get()));
    }
    void dropTables() { store::Connection::dropServerTables(m_server.uri(), schema::tableNames()); }
    // Through libpq alone, which also reaches a database the store refuses.
    int count(const QString &sql, const QString &database = QStringLiteral("sicherheit"))
    {
        const store::pg::ConnPtr conn(PQconnectdb(m_server.uri(database).toUtf8().constData()));
        const store::pg::ResultPtr r(PQexec(conn.get(), sql.toUtf8().constData()));
        return PQntuples(r.get()) == 1 ? QByteArray(PQgetvalue(r.get(), 0, 0)).toInt() : -1;
    }

    PgServer m_server;
    store::pg::Session m_admin;
};

QTEST_GUILESS_MAIN(TestPgConsistency)
#include "tst_pgconsistency.moc"
