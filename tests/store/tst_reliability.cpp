// What survives other programs: a kill in the middle of posting, and two programs posting at once.

#include "Backup.h"
#include "Integrity.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

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

    // Every commit of another connection starts an online backup over; one that kept starting over would
    // end only once the others stop saving.
    void aBackupEndsWhileAnotherProgramKeepsSaving()
    {
        FILE_ONLY();
        Db db;
        // About 10 MB: a pass of the backup takes far longer than the pause between the other's commits.
        QCOMPARE(
            sqlite3_exec(store::sqliteHandle(db.conn),
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150000) "
                         "INSERT INTO Funktionen (Titel, inGruppe) SELECT printf('%050d', i), 0 FROM n",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        std::atomic<bool> stop = false;
        std::atomic<bool> saving = true;
        std::thread other([&] {
            sqlite3 *raw = nullptr;
            sqlite3_open_v2(QFile::encodeName(db.file).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
            const QByteArray key = databasePassword().toUtf8();
            sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
            sqlite3_busy_timeout(raw, 5000);
            // A commit every 20 ms for at most 5 s.
            for (int i = 0; i < 250 && !stop; ++i) {
                sqlite3_exec(raw, "UPDATE Funktionen SET inGruppe = inGruppe + 1 WHERE id = 1", nullptr,
                             nullptr, nullptr);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            saving = false;
            sqlite3_close_v2(raw);
        });
        const QString target = db.dir.filePath(QStringLiteral("kopie.mdb"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        store::backup(db.conn, target);
        const bool stillSaving = saving;
        stop = true;
        other.join();
        QVERIFY2(stillSaving, "the backup ended only after the other connection stopped saving");
        store::Connection copy;
        copy.setConnectionString(connectionString(target));
        copy.connect();
        QCOMPARE(integrityOf(copy), QStringLiteral("ok"));
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
