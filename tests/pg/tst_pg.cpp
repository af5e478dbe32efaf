// The server database's session on a real server that the suite starts for itself.

#include "PgServer.h"

#include "Pg.h"
#include "StoreError.h"

#include <QTest>

using testsupport::PgServer;

class TestPg : public QObject
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
    }

    void statementsTakeTheirValuesBound()
    {
        store::pg::Session s;
        s.connect(m_server.uri());
        s.exec(QStringLiteral("CREATE TABLE t (n integer, name text, flag boolean)"), {});
        const QString nasty = QStringLiteral("O'Brien \"; DROP TABLE t; -- Jürgen €");
        s.exec(QStringLiteral("INSERT INTO t VALUES ($1, $2, $3)"), {QVariant(7), nasty, QVariant(true)},
               true);
        s.exec(QStringLiteral("INSERT INTO t VALUES ($1, $2, $3)"), {QVariant(8), QVariant(), QVariant()},
               true);
        const store::pg::ResultPtr r = s.exec(QStringLiteral("SELECT n, name, flag FROM t ORDER BY n"), {});
        QCOMPARE(PQntuples(r.get()), 2);
        QCOMPARE(QString::fromUtf8(PQgetvalue(r.get(), 0, 1)), nasty);
        QCOMPARE(QByteArray(PQgetvalue(r.get(), 0, 2)), QByteArray("t"));
        QVERIFY(PQgetisnull(r.get(), 1, 1));
        s.exec(QStringLiteral("DROP TABLE t"), {});
    }

    void failuresAreToldInGerman_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no such database") << "nichtda"
                                          << ""
                                          << "gibt es auf dem Server nicht";
        QTest::newRow("no such table") << "sicherheit"
                                       << "SELECT * FROM fehlt"
                                       << "Eine Tabelle der Anweisung";
        QTest::newRow("no such field") << "sicherheit"
                                       << "SELECT fehlt FROM pg_class"
                                       << "Ein Feld der Anweisung";
        QTest::newRow("syntax") << "sicherheit"
                                << "SELEKT 1"
                                << "Syntaxfehler";
    }

    void failuresAreToldInGerman()
    {
        QFETCH(QString, database);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        store::pg::Session s;
        try {
            s.connect(m_server.uri(database));
            s.exec(sql, {});
            QFAIL("no error");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
            QVERIFY2(!e.message().contains(u"postgres:"), "the password part of the URI is not shown");
        }
    }

    void aServerThatWentAwayIsALostConnection()
    {
        store::pg::Session s;
        s.connect(m_server.uri());
        m_server.stop();
        try {
            s.exec(QStringLiteral("SELECT 1"), {}, true);
            QFAIL("no error");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().contains(u"unterbrochen") && e.message().contains(u"nicht gespeichert"),
                     qPrintable(e.message()));
        }
        QVERIFY2(m_server.restart(), qPrintable(m_server.failure()));
        s.connect(m_server.uri());
        QCOMPARE(PQntuples(s.exec(QStringLiteral("SELECT 1"), {}).get()), 1);
    }

private:
    PgServer m_server;
};

QTEST_GUILESS_MAIN(TestPg)
#include "tst_pg.moc"
