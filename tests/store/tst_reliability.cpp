// What survives other programs: a kill in the middle of posting, and two programs posting at once.

#include "Integrity.h"
#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <csignal>

using namespace testsupport;

namespace {

QString workerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/store_worker");
}

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private slots:
    void aKilledWriterLosesNoAcknowledgedPost()
    {
        Db db;
        db.conn.disconnect();
        QProcess worker;
        worker.start(workerPath(),
                     {QStringLiteral("post"), db.file, QStringLiteral("100000"), QStringLiteral("k")});
        QVERIFY2(worker.waitForStarted(), qPrintable(worker.errorString()));
        QSet<int> acknowledged;
        QByteArray pending;
        while (acknowledged.size() < 150 && worker.state() == QProcess::Running) {
            worker.waitForReadyRead(5000);
            pending += worker.readAllStandardOutput();
            qsizetype nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(nl);
                pending.remove(0, nl + 1);
                if (line.startsWith("ok "))
                    acknowledged.insert(line.mid(3).toInt());
            }
        }
        QVERIFY2(acknowledged.size() >= 150, worker.readAllStandardError().constData());
        ::kill(static_cast<pid_t>(worker.processId()), SIGKILL);
        worker.waitForFinished(5000);
        // Whatever the worker printed after our last read was acknowledged too.
        for (const QByteArray &line : (pending + worker.readAllStandardOutput()).split('\n')) {
            if (line.startsWith("ok "))
                acknowledged.insert(line.mid(3).toInt());
        }

        db.conn.connect();
        if (!onServer())
            QCOMPARE(integrityOf(db.conn), QStringLiteral("ok"));
        auto f = db.functions();
        f->open();
        QSet<int> stored;
        for (f->first(); !f->eof(); f->next()) {
            stored.insert(f->field(QStringLiteral("id")).asInteger());
            QVERIFY(f->field(QStringLiteral("Titel")).asString().startsWith(u'k'));
        }
        for (int id : acknowledged)
            QVERIFY2(stored.contains(id), qPrintable(QStringLiteral("post %1 lost").arg(id)));
    }

    void twoWritersBothSucceed()
    {
        Db db;
        QProcess a, b;
        a.start(workerPath(), {QStringLiteral("post"), db.file, QStringLiteral("150"), QStringLiteral("a")});
        b.start(workerPath(), {QStringLiteral("post"), db.file, QStringLiteral("150"), QStringLiteral("b")});
        // And this program posts in between.
        auto f = db.functions();
        f->open();
        for (int i = 0; i < 50; ++i)
            f->insertRecord({QStringLiteral("c%1").arg(i), 0});
        QVERIFY(a.waitForFinished(120000));
        QVERIFY(b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen")).toInt(), 350);
        if (!onServer())
            QCOMPARE(integrityOf(db.conn), QStringLiteral("ok"));
    }

    void aLockedSchemaLookUpIsReportedAndMadeAgain()
    {
        FILE_ONLY();
        Db db;
        store::Connection holder;
        holder.setConnectionString(connectionString(db.file));
        holder.connect();
        QCOMPARE(sqlite3_exec(store::sqliteHandle(holder), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_busy_timeout(store::sqliteHandle(db.conn), 10); // no need to wait for a lock that stays
        EXPECT_STORE_ERROR_CONTAINING(
            db.conn.execute(QStringLiteral("select id from Benutzer where User=\"x\"")),
            QStringLiteral("gesperrt"));
        QCOMPARE(sqlite3_exec(store::sqliteHandle(holder), "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        // Once the lock is gone, text compares as always: without regard to case.
        db.conn.execute(QStringLiteral("insert into Benutzer (User) values (\"Müller\")"));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer where User=\"MÜLLER\"")).toInt(), 1);
    }
};

int runReliabilityTests(int argc, char **argv)
{
    TestReliability t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_reliability.moc"
