// The functions page driven as an administrator uses it: walking the groups, adding groups and standard
// rights, deleting functions, assigning users; the outcome checked in the window and in the file.

#include "MainDriver.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "DemoData.h"
#include "GruppenBaum.h"
#include "Main.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using driver::Script;
using maindriver::answerInput;
using maindriver::answerRights;
using maindriver::clickRow;
using maindriver::doubleClickRow;
using maindriver::FileView;
using maindriver::focus;
using maindriver::rowOf;
using maindriver::withMain;
using store::DataState;

namespace {

QStringList titles(TFMain *m)
{
    QStringList out;
    for (int row = 0; row < m->Funktionen->rowCount(); ++row)
        out << m->Funktionen->valueAt(row, m->Funktionen->fieldIndex(QStringLiteral("Titel"))).toString();
    return out;
}

// Double-clicks the function of that title in the functions grid.
void drillInto(TFMain *m, const QString &title)
{
    const int row = rowOf(m->Funktionen, "Titel", title);
    QVERIFY2(row >= 0, qPrintable(title));
    doubleClickRow(m->DBGrid3, row, 1);
}

// Insert in the functions grid, the title typed into its cell, and the row left by Down.
void typeNewFunction(TFMain *m, const QString &title)
{
    focus(m->DBGrid3);
    QTest::keyClick(m->DBGrid3, Qt::Key_Insert);
    QCOMPARE(m->Funktionen->state(), DataState::Insert);
    m->DBGrid3->setCurrentIndex(m->DBGrid3->model()->index(m->Funktionen->currentRow(), 1));
    QTest::keyClick(m->DBGrid3, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    driver::type(editor, title);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(m->DBGrid3, Qt::Key_Down);
}

// The control that Tab leads to from w, past w's own parts.
QWidget *nextTabStop(QWidget *w)
{
    for (QWidget *next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && !w->isAncestorOf(next))
            return next;
    }
    return nullptr;
}

void clickNode(QTreeWidget *tree, QTreeWidgetItem *node)
{
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(node).center());
}

qint32 currentId(TFMain *m)
{
    return m->Funktionen->field(QStringLiteral("id")).asInteger();
}

} // namespace

class TestFunctionsPage : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void aDoubleClickWalksDownAndAnEmptyGridLeadsBackToTheTop()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            QCOMPARE(m->PageControl1->currentWidget(), m->TabSheet2);
            QCOMPARE(titles(m), QStringList({QStringLiteral("Kunden"), QStringLiteral("Artikel"),
                                             QStringLiteral("Buchhaltung"), QStringLiteral("Personal"),
                                             QStringLiteral("Auswertungen")}));
            drillInto(m, QStringLiteral("Kunden"));
            const qint32 kunden = m->currentGroup();
            QVERIFY(kunden != 0);
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Kunden"));
            QCOMPARE(m->Funktionen->filter(), QStringLiteral("ingruppe =%1").arg(kunden));
            QCOMPARE(titles(m), QStringList({QStringLiteral("Kundenstamm"), QStringLiteral("Adressen")}));
            QCOMPARE(m->Funktionen->currentRow(), 0);
            drillInto(m, QStringLiteral("Kundenstamm"));
            // The assigned users follow the first function of the group.
            const qint32 first = currentId(m);
            for (int row = 0; row < m->FunktionenBenutzer->rowCount(); ++row)
                QCOMPARE(m->FunktionenBenutzer->valueAt(row, 1).toInt(), first);
            QVERIFY(m->DBGrid4->model()->rowCount() > 0);
            maindriver::screenshot(m, QStringLiteral("functions-page.png"));
            drillInto(m, QStringLiteral("Hinzufügen"));
            // A function without members: an empty grid, its title in the caption.
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Hinzufügen"));
            QCOMPARE(m->Funktionen->rowCount(), 0);
            QCOMPARE(m->DBGrid4->model()->rowCount(), 0);
            // A double click on the empty grid reads nothing: back to the top level, with an empty caption.
            QTest::mouseDClick(m->DBGrid3->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: "));
            QCOMPARE(m->currentGroup(), 0);
            QCOMPARE(m->Funktionen->filter(), QStringLiteral("ingruppe =0"));
            QCOMPARE(m->Funktionen->rowCount(), 5);
        });
    }

    void aSubGroupIsAskedForAndStoredInTheGroupOnShow()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        qint32 group = 0;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, QStringLiteral("Auswertungen"));
            group = m->currentGroup();
            QCOMPARE(m->Funktionen->rowCount(), 0);
            QStringList seen;
            answerInput(s, QStringLiteral("nie"), QStringLiteral("Abbrechen"), &seen);
            m->GroupAdd->click();
            QCOMPARE(seen, QStringList({QStringLiteral("Gruppe hinzufügen"), QStringLiteral("Titel"),
                                        QStringLiteral("255"), QStringLiteral("1"), QStringLiteral("1")}));
            QCOMPARE(m->Funktionen->rowCount(), 0);

            const QString sixty = QStringLiteral("Umsatz je Monat und Kunde, mit Vorjahr und Plan, ") +
                                  QStringLiteral("12345678901");
            QCOMPARE(sixty.size(), 60);
            answerInput(s, sixty, QStringLiteral("OK"));
            m->GroupAdd->click();
            QCOMPARE(m->Funktionen->rowCount(), 1);
            QCOMPARE(m->Funktionen->state(), DataState::Browse);
            QCOMPARE(m->Funktionen->field(QStringLiteral("Titel")).asString(), sixty.left(50));
            answerInput(s, QString(), QStringLiteral("OK"));
            m->GroupAdd->click();
            QCOMPARE(m->Funktionen->rowCount(), 2);
            QCOMPARE(m->Funktionen->field(QStringLiteral("Titel")).asString(), QString());
            QVERIFY(s.boxes.isEmpty());
        });
        QVERIFY(s.done());
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where inGruppe=%1").arg(group)), 2);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where Titel=\"\" and inGruppe=%1")
                             .arg(group)),
                 1);
    }

    void standardRightsCreateTheCheckedFunctionsInOrder()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        qint32 group = 0;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, QStringLiteral("Buchhaltung"));
            drillInto(m, QStringLiteral("Mahnwesen"));
            group = m->currentGroup();
            answerRights(s, {}, QStringLiteral("Button1"));
            m->ToolButton6->click();
            QCOMPARE(m->Funktionen->rowCount(), 0);
            answerRights(s, {QStringLiteral("add"), QStringLiteral("delete")}, QStringLiteral("Button2"));
            m->ToolButton6->click();
            answerRights(s, {QStringLiteral("change")}, QStringLiteral("close"));
            m->ToolButton6->click();
            QCOMPARE(m->Funktionen->rowCount(), 0);
            // A fresh dialog each time: nothing stays ticked from the last use.
            answerRights(s,
                         {QStringLiteral("Print"), QStringLiteral("delete"), QStringLiteral("change"),
                          QStringLiteral("add")},
                         QStringLiteral("Button1"));
            m->ToolButton6->click();
            answerRights(s, {QStringLiteral("Print")}, QStringLiteral("Button1"));
            m->ToolButton6->click();
            QCOMPARE(m->Funktionen->rowCount(), 5);
        });
        QVERIFY(s.done());
        FileView f(file);
        store::RecordSet q(QStringLiteral("Query"));
        q.setConnection(&f.conn);
        q.setSql({QStringLiteral("select Titel from Funktionen where inGruppe=%1 order by id").arg(group)});
        q.open();
        QStringList stored;
        for (q.first(); !q.eof(); q.next())
            stored << q.value(0).toString();
        QCOMPARE(stored, QStringList({QStringLiteral("Hinzufügen"), QStringLiteral("Ändern"),
                                      QStringLiteral("Löschen"), QStringLiteral("Drucken"),
                                      QStringLiteral("Drucken")}));
    }

    void deletingAFunctionAsksAndLeavesItsMembersInTheFile()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        qint32 kunden = 0;
        int members = 0;
        withMain(s, file, [&](TFMain *m) {
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Kunden")), 1);
            kunden = currentId(m);
            s.answerBox(QStringLiteral("No"));
            m->GroupDel->click();
            QCOMPARE(s.boxes.last().text,
                     QStringLiteral("Wollen Sie wirklich die Funktion \"Kunden\" löschen"));
            QCOMPARE(s.boxes.last().title, QStringLiteral("Bestätigung"));
            QCOMPARE(m->Funktionen->rowCount(), 5);
            s.answerBox(QStringLiteral("Yes"));
            m->GroupDel->click();
            QCOMPARE(m->Funktionen->rowCount(), 4);
            // On an empty group the store refuses, and says so.
            drillInto(m, QStringLiteral("Auswertungen"));
            s.answerBox(QStringLiteral("Yes")).answerBox();
            m->GroupDel->click();
            QCOMPARE(s.boxes.last().text,
                     QStringLiteral("Funktionen: Operation bei leerer Datenmenge nicht ausführbar."));
            QCOMPARE(s.boxes[s.boxes.size() - 2].text,
                     QStringLiteral("Wollen Sie wirklich die Funktion \"\" löschen"));
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where id=%1").arg(kunden)), 0);
        members = f.count(QStringLiteral("select count(*) from Funktionen where inGruppe=%1").arg(kunden));
        QCOMPARE(members, 2);
    }

    void usersAreAssignedOneOrAllAndRemovedWithoutAQuestion()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        qint32 function = 0;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, QStringLiteral("Personal"));
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Drucken")), 1);
            function = currentId(m);
            const int before = m->FunktionenBenutzer->rowCount();
            // A double click in all users assigns that user, twice if asked twice.
            const int weber = rowOf(m->UserList, "User", QStringLiteral("kweber"));
            doubleClickRow(m->DBGrid2, weber);
            doubleClickRow(m->DBGrid2, weber);
            QCOMPARE(m->FunktionenBenutzer->rowCount(), before + 2);
            QCOMPARE(m->DBGrid4->model()->rowCount(), before + 2);
            QCOMPARE(m->FunktionenBenutzer->field(QStringLiteral("User")).asString(), QStringLiteral("KW"));
            // All users, twice: two more rows for each; the first user is current afterwards.
            m->UserList->moveTo(2);
            m->UserAddall->click();
            m->UserAddall->click();
            QCOMPARE(m->FunktionenBenutzer->rowCount(), before + 2 + 8);
            QCOMPARE(m->UserList->currentRow(), 0);
            QCOMPARE(m->DBGrid2->currentIndex().row(), 0);
            // A double click on an assignment removes it at once.
            doubleClickRow(m->DBGrid4, 0);
            QCOMPARE(m->FunktionenBenutzer->rowCount(), before + 9);
            m->UserDEL->click();
            QCOMPARE(m->FunktionenBenutzer->rowCount(), before + 8);
            QVERIFY(s.boxes.isEmpty());
            // An empty list of assignments: the store's refusal.
            drillInto(m, QStringLiteral("Drucken"));
            s.answerBox();
            m->UserDEL->click();
            QCOMPARE(s.boxes.last().text,
                     QStringLiteral("FunktionenBenutzer: Operation bei leerer Datenmenge nicht ausführbar."));
            // No function to assign to: nothing is made, by either button.
            m->UserAdd->click();
            m->UserAddall->click();
            QCOMPARE(m->FunktionenBenutzer->rowCount(), 0);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where Funktion=0")), 0);
        QCOMPARE(f.count(QStringLiteral(
                             "select count(*) from Funktionen_Benutzer where Funktion=%1 and User=\"KW\"")
                             .arg(function)) >= 3,
                 true);
    }

    void assigningAllStopsWhenTheUsersPageCannotSave()
    {
        const QString file = m_folder.freshDemo();
        int total = 0;
        {
            FileView f(file);
            total = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer"));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            clickRow(m->DBGrid1, 2);
            focus(m->DBEdit1);
            m->DBEdit1->selectAll();
            QTest::keyClick(m->DBEdit1, Qt::Key_Delete);
            m->PageControl1->setCurrentWidget(m->TabSheet2);
            s.answerBox(QStringLiteral("Cancel"));
            m->UserAddall->click();
            QCOMPARE(s.boxes.last().text, QStringLiteral("Kein Benutzer eingegeben!"));
            QCOMPARE(m->UserList->state(), DataState::Edit);
            QCOMPARE(m->UserList->currentRow(), 2);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), total);
    }

    // Another administrator deletes, after this program read it, what a click then names: the write looks
    // again under the write lock and stores nothing that names what is gone.
    void aClickNamesNothingAnotherProgramRemovedMeanwhile_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("counted");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("message");
        const QString assignments = QStringLiteral("select count(*) from Funktionen_Benutzer");
        const QString user = QStringLiteral(
            "Der Benutzer \"kweber\" mit den Initialien \"KW\" wurde inzwischen von einem anderen Programm "
            "gelöscht oder hat andere Initialien bekommen; die Zuordnung wurde nicht gespeichert.");
        const QString deleteWeber = QStringLiteral("delete from Benutzer where User=\"kweber\"");
        QTest::newRow("one, user deleted") << "UserAdd" << deleteWeber << assignments << 0 << user;
        QTest::newRow("one, other initials")
            << "UserAdd"
            << "update Benutzer set Initialien=\"XY\" where User=\"kweber\"" << assignments << 0 << user;
        QTest::newRow("one, initials given to another user")
            << "UserAdd"
            << "update Benutzer set id=id+1000 where User=\"kweber\"" << assignments << 0 << user;
        QTest::newRow("one, function deleted")
            << "UserAdd"
            << "delete from Funktionen where Titel=\"Drucken\"" << assignments << 0
            << QStringLiteral(
                   "Die Funktion \"Drucken\" wurde inzwischen von einem anderen Programm gelöscht; "
                   "die Zuordnung wurde nicht gespeichert.");
        QTest::newRow("all, one user deleted")
            << "UserAddall" << deleteWeber << assignments << 3 << QString();
        const QString group = QStringLiteral(
            "Die Gruppe \"Personal\" wurde inzwischen von einem anderen Programm gelöscht; %1");
        const QString deletePersonal = QStringLiteral("delete from Funktionen where Titel=\"Personal\"");
        const QString functions = QStringLiteral("select count(*) from Funktionen");
        QTest::newRow("group") << "GroupAdd" << deletePersonal << functions << 0
                               << group.arg(QStringLiteral("die Gruppe wurde nicht hinzugefügt."));
        QTest::newRow("standard rights") << "ToolButton6" << deletePersonal << functions << 0
                                         << group.arg(QStringLiteral("die Rechte wurden nicht angelegt."));
        QTest::newRow("typed into the grid")
            << "DBGrid3" << deletePersonal << functions << 0
            << group.arg(QStringLiteral("die Funktion wurde nicht angelegt."));
    }

    void aClickNamesNothingAnotherProgramRemovedMeanwhile()
    {
        QFETCH(QString, button);
        QFETCH(QString, other);
        QFETCH(QString, counted);
        QFETCH(int, added);
        QFETCH(QString, message);
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, QStringLiteral("Personal"));
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Drucken")), 1);
            clickRow(m->DBGrid2, rowOf(m->UserList, "User", QStringLiteral("kweber")));
            FileView f(file);
            f.conn.execute(other);
            const int before = f.count(counted);
            if (button == QStringLiteral("GroupAdd"))
                answerInput(s, QStringLiteral("neu"), QStringLiteral("OK"));
            else if (button == QStringLiteral("ToolButton6"))
                answerRights(s, {QStringLiteral("Print")}, QStringLiteral("Button1"));
            if (!message.isEmpty())
                s.answerBox();
            if (button == QStringLiteral("DBGrid3"))
                typeNewFunction(m, QStringLiteral("neu"));
            else
                m->findChild<QAbstractButton *>(button)->click();
            QCOMPARE(f.count(counted), before + added);
            QCOMPARE(s.boxes.isEmpty() ? QString() : s.boxes.last().text, message);
            QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"XY\"")),
                     0);
            m->Funktionen->cancel(); // a typed row that was refused
        });
        QVERIFY(s.done());
    }

    void aUserStillBeingTypedIsStoredBeforeTheAssignment()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            maindriver::retype(m->DBEdit1, QStringLiteral("neu"));
            maindriver::retype(m->DBEdit4, QStringLiteral("neu"));
            maindriver::retype(m->DBEdit3, QStringLiteral("NZ"));
            m->PageControl1->setCurrentWidget(m->TabSheet2);
            drillInto(m, QStringLiteral("Personal"));
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Drucken")), 1);
            m->UserAdd->click();
            QCOMPARE(s.boxes.size(), 1); // the question of "Neu" only
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where Initialien=\"NZ\"")), 1);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"NZ\"")), 1);
    }

    void noUsersMeansNoAssignmentsButNoInitialsDo_data()
    {
        QTest::addColumn<bool>("aUserWithoutInitials");
        QTest::newRow("no users") << false;
        QTest::newRow("a user without initials") << true;
    }

    void noUsersMeansNoAssignmentsButNoInitialsDo()
    {
        QFETCH(bool, aUserWithoutInitials);
        const QString file = m_folder.filePath(QStringLiteral("ohne%1/User.mdb").arg(aUserWithoutInitials));
        QDir().mkpath(QFileInfo(file).path());
        testsupport::createEmpty(file);
        {
            FileView f(file);
            f.conn.execute(QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"Einzig\", 0)"));
            if (aUserWithoutInitials)
                f.conn.execute(QStringLiteral(
                    "insert into Benutzer (User, Initialien, NTUser) values (\"ohne\", \"\", \"o\")"));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            QCOMPARE(m->Funktionen->rowCount(), 1);
            m->UserAdd->click();
            m->UserAddall->click();
            QCOMPARE(m->FunktionenBenutzer->rowCount(), aUserWithoutInitials ? 2 : 0);
            QVERIFY(s.boxes.isEmpty());
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"\"")),
                 aUserWithoutInitials ? 2 : 0);
    }

    void theFunctionsGridEditsTitlesInPlaceAndKeepsNewRowsInTheGroup()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        qint32 group = 0;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, QStringLiteral("Artikel"));
            group = m->currentGroup();
            const int lager = rowOf(m->Funktionen, "Titel", QStringLiteral("Lager"));
            clickRow(m->DBGrid3, lager, 1);
            focus(m->DBGrid3);
            // A retyped title is stored when the row is left.
            QTest::keyClick(m->DBGrid3, Qt::Key_F2);
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(editor);
            editor->selectAll();
            driver::type(editor, QStringLiteral("Lagerhaltung"));
            QTest::keyClick(editor, Qt::Key_Return);
            QCOMPARE(m->Funktionen->state(), DataState::Edit);
            clickRow(m->DBGrid3, 1 - lager, 1);
            QCOMPARE(m->Funktionen->state(), DataState::Browse);
            // Escape drops the row's changes.
            QTest::keyClick(m->DBGrid3, Qt::Key_F2);
            editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(editor);
            editor->selectAll();
            driver::type(editor, QStringLiteral("verworfen"));
            QTest::keyClick(editor, Qt::Key_Escape);
            QCOMPARE(m->Funktionen->state(), DataState::Browse);
            // Insert starts a row; typed and left, it is stored in the group on show.
            typeNewFunction(m, QStringLiteral("Inventur"));
            QCOMPARE(m->Funktionen->state(), DataState::Browse);
            QVERIFY(titles(m).contains(QStringLiteral("Inventur")));
            QCOMPARE(
                FileView(file).count(
                    QStringLiteral("select count(*) from Funktionen where Titel=\"Inventur\" and inGruppe=%1")
                        .arg(group)),
                1);
            // Down past the last row appends one; left untouched, it is gone when the grid is left.
            m->Funktionen->last();
            QTest::keyClick(m->DBGrid3, Qt::Key_Down);
            QCOMPARE(m->Funktionen->state(), DataState::Insert);
            focus(m->DBGrid2);
            QCOMPARE(m->Funktionen->state(), DataState::Browse);
            QCOMPARE(m->Funktionen->rowCount(), 3);
            // Ctrl+Del asks first.
            focus(m->DBGrid3);
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Inventur")), 1);
            s.answerBox(QStringLiteral("OK"));
            QTest::keyClick(m->DBGrid3, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(s.boxes.last().text, QStringLiteral("Datensatz löschen?"));
            QCOMPARE(m->Funktionen->rowCount(), 2);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral(
                             "select count(*) from Funktionen where Titel=\"Lagerhaltung\" and inGruppe=%1")
                             .arg(group)),
                 1);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where Titel=\"verworfen\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where inGruppe is null")), 0);
    }

    void theGroupTreeChoosesTheGroupOnShowAndUpdatesOnlyWhenAsked()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            QTreeWidget *tree = fGruppen->Struktur;
            QTreeWidgetItem *root = tree->topLevelItem(0);
            QTreeWidgetItem *artikel = nullptr;
            for (int i = 0; i < root->childCount(); ++i) {
                if (root->child(i)->text(0).startsWith(QStringLiteral("Artikel (")))
                    artikel = root->child(i);
            }
            QVERIFY(artikel);
            const qint32 id = TfGruppen::recordOf(artikel).id;
            clickNode(tree, artikel);
            QCOMPARE(m->Funktionen->filter(), QStringLiteral("ingruppe =%1").arg(id));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Artikel"));
            QCOMPARE(m->currentGroup(), id);
            QCOMPARE(titles(m), QStringList({QStringLiteral("Preislisten"), QStringLiteral("Lager")}));
            // A second click on the same node leaves the functions where they are.
            clickRow(m->DBGrid3, 1, 1);
            clickNode(tree, artikel);
            QCOMPARE(m->Funktionen->currentRow(), 1);

            // A new group shows in the tree only after "Update"; the page keeps its group.
            answerInput(s, QStringLiteral("Zubehör"), QStringLiteral("OK"));
            m->GroupAdd->click();
            QCOMPARE(artikel->childCount(), 2);
            fGruppen->Update->click();
            root = tree->topLevelItem(0);
            QTreeWidgetItem *again = nullptr;
            for (int i = 0; i < root->childCount(); ++i) {
                if (TfGruppen::recordOf(root->child(i)).id == id)
                    again = root->child(i);
            }
            QVERIFY(again);
            QCOMPARE(again->childCount(), 3);
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Artikel"));
            QCOMPARE(m->currentGroup(), id);
            QCOMPARE(m->Funktionen->rowCount(), 3);

            // The root leads back to the top level.
            clickNode(tree, root);
            QCOMPARE(m->Funktionen->filter(), QStringLiteral("ingruppe =0"));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
            QCOMPARE(m->currentGroup(), 0);
            QCOMPARE(m->Funktionen->rowCount(), 5);
        });
    }

    void theTreeNeverLeadsToAFunctionTheFileLacks_data()
    {
        QTest::addColumn<QString>("deletedBy");
        QTest::newRow("GroupDel") << QStringLiteral("GroupDel");
        QTest::newRow("Ctrl+Del in the grid") << QStringLiteral("Ctrl+Del");
        QTest::newRow("another program") << QStringLiteral("another program");
    }

    void theTreeNeverLeadsToAFunctionTheFileLacks()
    {
        QFETCH(QString, deletedBy);
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            QTreeWidget *tree = fGruppen->Struktur;
            QTreeWidgetItem *kunden = tree->topLevelItem(0)->child(3);
            QCOMPARE(kunden->text(0).section(u' ', 0, 0), QStringLiteral("Kunden"));
            clickRow(m->DBGrid3, rowOf(m->Funktionen, "Titel", QStringLiteral("Kunden")), 1);
            const qint32 id = currentId(m);
            if (deletedBy == u"GroupDel") {
                s.answerBox(QStringLiteral("Yes"));
                m->GroupDel->click();
            } else if (deletedBy == u"Ctrl+Del") {
                focus(m->DBGrid3);
                s.answerBox(QStringLiteral("OK"));
                QTest::keyClick(m->DBGrid3, Qt::Key_Delete, Qt::ControlModifier);
            } else {
                FileView(file).conn.execute(QStringLiteral("delete from Funktionen where id=%1").arg(id));
                // A click on its node applies nothing and reads the tree again.
                drillInto(m, QStringLiteral("Artikel"));
                clickNode(tree, kunden);
                QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Artikel"));
                QCOMPARE(fGruppen->SelectedId, 0);
            }
            QStringList labels;
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                labels << (*it)->text(0);
            QCOMPARE(labels.size(), 36 - 11); // Kunden with its two groups and their eight rights
            QVERIFY(!labels.join(u',').contains(QStringLiteral("Kunden")));
            // Nor can the tree be closed: nothing would bring it back.
            fGruppen->close();
            QVERIFY(fGruppen->isVisible());
        });
    }

    void theCaptionShowsATitleAsWrittenAndStaysWhileANewRowCannotBeStored()
    {
        const QString file = m_folder.freshDemo();
        const QString title = QStringLiteral("<b>Fett</b>");
        {
            FileView f(file);
            f.conn.execute(
                QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"%1\", 0)").arg(title));
            f.refuse(QStringLiteral("INSERT"), QStringLiteral("Funktionen"));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            drillInto(m, title);
            // Drawn with its brackets, not as markup.
            QVERIFY(m->Gruppe->sizeHint().width() >=
                    m->Gruppe->fontMetrics().horizontalAdvance(m->Gruppe->text()));
            const qint32 group = m->currentGroup();
            m->Funktionen->insert();
            m->Funktionen->field(QStringLiteral("Titel")).setAsString(QStringLiteral("Neu"));
            s.answerBox();
            clickNode(fGruppen->Struktur, fGruppen->Struktur->topLevelItem(0));
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(m->Funktionen->state(), DataState::Insert);
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: ") + title);
            QCOMPARE(m->currentGroup(), group);
        });
    }

    void thePageIsLaidOutAsDesigned()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            QCOMPARE(m->GroupAdd->toolTip(), QStringLiteral("Unter-Gruppe hinzufügen"));
            QCOMPARE(m->GroupDel->toolTip(), QStringLiteral("Unter-Gruppe löschen"));
            QCOMPARE(m->ToolButton6->toolTip(), QString());
            QCOMPARE(m->UserDEL->toolTip(), QStringLiteral("Benutzer aus Gruppe löschen"));
            QCOMPARE(m->UserAdd->toolTip(), QStringLiteral("Benutzer in Gruppe hinzufügen"));
            QCOMPARE(m->UserAddall->toolTip(), QStringLiteral("alle Benutzer in Gruppe hinzufügen"));
            QVERIFY(!m->GroupChange->isVisible());
            m->GroupChange->click();
            QVERIFY(s.boxes.isEmpty());
            QCOMPARE(m->DBGrid3->width(), 316);
            QCOMPARE(m->DBGrid2->width(), 161);
            // Tab order: all users, functions, assigned users.
            focus(m->DBGrid2);
            QCOMPARE(nextTabStop(m->DBGrid2), m->DBGrid3);
            QCOMPARE(nextTabStop(m->DBGrid3), m->DBGrid4);
            QVERIFY(m->DBGrid2->options().testFlag(ui::GridOption::ReadOnly));
            QVERIFY(m->DBGrid4->options().testFlag(ui::GridOption::ReadOnly));
            QCOMPARE(m->DBGrid4->selectionBehavior(), QAbstractItemView::SelectRows);
            // Keys that would edit do nothing in the read-only grids.
            focus(m->DBGrid4);
            QTest::keyClick(m->DBGrid4, Qt::Key_Delete, Qt::ControlModifier);
            QTest::keyClick(m->DBGrid4, Qt::Key_Insert);
            QVERIFY(s.boxes.isEmpty());
            QCOMPARE(m->FunktionenBenutzer->state(), DataState::Browse);
        });
    }
};

int runFunctionsPageTests(int argc, char **argv)
{
    TestFunctionsPage tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_functions.moc"
