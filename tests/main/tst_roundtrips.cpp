// What the program's actions cost in round trips to a database server, on a demo large enough that a cost
// per row or per node would show: none of them may grow with the database.

#include "MainDriver.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "GruppenBaum.h"
#include "Main.h"
#include "PgServer.h"
#include "RecordSet.h"
#include "Rights.h"
#include "SDaten.h"
#include "TestSupport.h"

#include <QDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using driver::Script;
using maindriver::doubleClickRow;
using maindriver::retype;
using maindriver::withMain;

namespace {

constexpr int kUsers = 2000;
constexpr int kFunctions = 5000;
constexpr int kAssignments = 20000;

// The most a start-up and any one action may cost.
constexpr quint64 kStartUp = 50;
constexpr quint64 kAction = 20;

quint64 roundTrips()
{
    return SData->SecureDB.roundTrips();
}

// Round trips that `act` costs on the program's connection.
template <typename Act> quint64 costOf(Act &&act)
{
    const quint64 before = roundTrips();
    act();
    return roundTrips() - before;
}

} // namespace

class TestRoundTrips : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void aFileHasNone()
    {
        if (testsupport::onServer())
            QSKIP("a database file's own behaviour");
        Script s;
        withMain(s, m_folder.freshDemo(), [&](TFMain *m) {
            m->UserAddall->click();
            QCOMPARE(roundTrips(), quint64{0});
        });
    }

    void noActionGrowsWithTheDatabase()
    {
        if (!testsupport::onServer())
            QSKIP("round trips are a server's");
        const QString uri = testsupport::freshServerDatabase(false);
        QByteArray errors;
        QCOMPARE(testsupport::runTool({QStringLiteral("demo"), uri, QStringLiteral("--users"),
                                       QString::number(kUsers), QStringLiteral("--functions"),
                                       QString::number(kFunctions), QStringLiteral("--assignments"),
                                       QString::number(kAssignments)},
                                      nullptr, &errors),
                 0);
        const QString link = m_folder.filePath(QStringLiteral("gross/User.mdb"));
        QVERIFY(QDir().mkpath(QFileInfo(link).path()));
        testsupport::linkTo(link, uri);

        Script s;
        withMain(s, link, [&](TFMain *m) {
            // The three tables and the whole tree are read by now.
            const quint64 startUp = roundTrips();
            QCOMPARE(m->UserList->rowCount(), kUsers);
            QVERIFY(fGruppen->Struktur->topLevelItem(0)->childCount() > 0);

            m->PageControl1->setCurrentWidget(m->TabSheet2);
            const quint64 drillDown = costOf([&] { doubleClickRow(m->DBGrid3, 0, 1); });
            QVERIFY(m->currentGroup() != 0);
            const quint64 back = costOf([&] { fGruppen->rebuild(); });
            const int before = m->FunktionenBenutzer->rowCount();
            const quint64 addAll = costOf([&] { m->UserAddall->click(); });
            QCOMPARE(m->FunktionenBenutzer->rowCount(), before + kUsers);

            m->PageControl1->setCurrentWidget(m->TabSheet1);
            m->UserList->moveTo(kUsers / 2);
            retype(m->DBEdit2, QStringLiteral("Neu Name"));
            const quint64 save = costOf([&] { m->Bsave->click(); });
            QCOMPARE(m->UserList->field(QStringLiteral("RealName")).asString(), QStringLiteral("Neu Name"));

            // The rights of the user holding the most to the one holding the fewest.
            const rights::Snapshot file = rights::Snapshot::read(SData->SecureDB);
            const rights::User *source = &file.users().front();
            const rights::User *target = source;
            for (const rights::User &u : file.users()) {
                if (file.held(u).size() > file.held(*source).size())
                    source = &u;
                if (file.held(u).size() < file.held(*target).size())
                    target = &u;
            }
            int copied = 0;
            const quint64 copy =
                costOf([&] { copied = rights::copyRights(SData->SecureDB, file, *source, *target); });
            QVERIFY(copied > 1);

            qInfo("round trips: start-up %llu, drill-down %llu, tree %llu, alle Benutzer %llu, save %llu, "
                  "Rechte übernehmen %llu (%d)",
                  startUp, drillDown, back, addAll, save, copy, copied);
            QVERIFY2(startUp < kStartUp, qPrintable(QString::number(startUp)));
            for (const quint64 cost : {drillDown, back, save, addAll, copy})
                QVERIFY2(cost <= kAction, qPrintable(QString::number(cost)));
        });
        QVERIFY(s.boxes.isEmpty());
    }
};

int runRoundTripTests(int argc, char **argv)
{
    TestRoundTrips t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_roundtrips.moc"
