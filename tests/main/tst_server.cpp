// The whole program on a database server, reached through a link file named like a database file: the
// designed statements run in the server's dialect, and what the pages change is on the server.

#include "MainDriver.h"
#include "Suites.h"

#include "DemoData.h"
#include "GruppenBaum.h"
#include "Main.h"
#include "PgServer.h"
#include "RecordSet.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using driver::Script;
using maindriver::FileView;
using maindriver::retype;
using maindriver::selectUser;
using maindriver::withMain;

class TestServerProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.setUp());
        if (!m_server.start()) {
            if (!m_server.skipReason().isEmpty())
                QSKIP(qPrintable(m_server.skipReason()));
            QFAIL(qPrintable(m_server.failure()));
        }
    }

    void thePagesWorkOnAServerAsOnAFile()
    {
        demo::createDemo(m_server.uri());
        QDir().mkpath(m_folder.filePath(QStringLiteral("server")));
        const QString link = m_folder.filePath(QStringLiteral("server/User.mdb"));
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_server.uri().toUtf8() + '\n');
        file.close();

        Script s;
        withMain(s, link, [&](TFMain *m) {
            QCOMPARE(m->UserList->rowCount(), 4);
            // The tree's levels come sorted by the server as the file sorts them: Ä with A.
            const auto titles = [](const QTreeWidgetItem *node) {
                QStringList out;
                for (int i = 0; i < node->childCount(); ++i)
                    out << TfGruppen::recordOf(node->child(i)).title;
                return out;
            };
            const QTreeWidgetItem *root = fGruppen->Struktur->topLevelItem(0);
            QCOMPARE(titles(root), (QStringList{QStringLiteral("Artikel"), QStringLiteral("Auswertungen"),
                                                QStringLiteral("Buchhaltung"), QStringLiteral("Kunden"),
                                                QStringLiteral("Personal")}));
            const QTreeWidgetItem *lager = root->child(0)->child(0);
            QCOMPARE(TfGruppen::recordOf(lager).title, QStringLiteral("Lager"));
            QCOMPARE(titles(lager), (QStringList{QStringLiteral("Ändern"), QStringLiteral("Drucken"),
                                                 QStringLiteral("Hinzufügen"), QStringLiteral("Löschen")}));

            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit2, QStringLiteral("Klaus Wéber"));
            m->Bsave->click();
            // Deleting a user takes the assignments of their initials along (the designed delete).
            selectUser(m, QStringLiteral("mmueller"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(m->UserList->rowCount(), 3);
        });
        // Looked up as the logon looks up: without regard to case.
        FileView f(link);
        QCOMPARE(f.scalar(QStringLiteral("select RealName from Benutzer where User=\"KWEBER\"")).toString(),
                 QStringLiteral("Klaus Wéber"));
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"mm\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer")), 3);
    }

private:
    maindriver::DemoFolder m_folder;
    testsupport::PgServer m_server;
};

int runServerProgramTests(int argc, char **argv)
{
    TestServerProgram t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_server.moc"
