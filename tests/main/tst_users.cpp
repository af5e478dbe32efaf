// The users page driven as an administrator uses it: real message boxes, real focus changes, the outcome
// checked in the window and in the file.

#include "MainDriver.h"
#include "Suites.h"

#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGrid.h"
#include "DemoData.h"
#include "GruppenBaum.h"
#include "LogonServices.h"
#include "Main.h"
#include "MessageBoxes.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using driver::Script;
using maindriver::clickRow;
using maindriver::FileView;
using maindriver::focus;
using maindriver::retype;
using maindriver::rowOf;
using maindriver::selectUser;
using maindriver::withMain;
using store::DataState;

namespace {

const QString kNewUser = QStringLiteral("Wollen Sie wirklich einen neuen Benutzer anlegen?");
const QString kNoUser = QStringLiteral("Kein Benutzer eingegeben!");
const QString kNoAccount = QStringLiteral("Kein NT-Logon eingegeben!");

QString value(TFMain *m, const char *field)
{
    return m->UserList->field(QString::fromLatin1(field)).asString();
}

int assignedTo(const QString &file, qint32 function)
{
    return FileView(file).count(
        QStringLiteral("select count(*) from Funktionen_Benutzer where Funktion=%1").arg(function));
}

// Puts the functions page on the first function that the file assigns to `initials`.
qint32 showFunctionOf(TFMain *m, const QString &file, const QString &initials)
{
    FileView f(file);
    const qint32 id =
        f.scalar(
             QStringLiteral("select min(Funktion) from Funktionen_Benutzer where User=\"%1\"").arg(initials))
            .toInt();
    m->showGroup(f.scalar(QStringLiteral("select inGruppe from Funktionen where id=%1").arg(id)).toInt(), {});
    m->Funktionen->moveTo(rowOf(m->Funktionen, "id", QString::number(id)));
    return id;
}

} // namespace

class TestUsersPage : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void anlegenAsksFirstAndStartsAnEmptyUser()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("eschmidt"));
            QVERIFY(!m->Bsave->isEnabled());
            focus(m->DBEdit2);
            s.answerBox(QStringLiteral("No"));
            m->Bneu->click();
            QCOMPARE(s.boxes.last().text, kNewUser);
            QCOMPARE(s.boxes.last().title, QStringLiteral("Bestätigung"));
            QCOMPARE(s.boxes.last().buttons, QStringList({QStringLiteral("Yes"), QStringLiteral("No")}));
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->UserList->rowCount(), 4);

            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            QCOMPARE(m->UserList->state(), DataState::Insert);
            QCOMPARE(m->UserList->rowCount(), 5);
            QCOMPARE(m->UserList->currentRow(), 2); // at the current position
            QCOMPARE(m->DBGrid1->currentIndex().row(), 2);
            QVERIFY(m->UserList->field(QStringLiteral("Admin")).asBoolean() == false);
            QVERIFY(!m->UserList->field(QStringLiteral("Admin")).isNull());
            QVERIFY(!m->DBCheckBox1->isChecked());
            QVERIFY(m->DBEdit1->text().isEmpty());
            QVERIFY(m->Bsave->isEnabled());
            QCOMPARE(m->focusWidget(), m->DBEdit2); // the focus stays where it was
        });
    }

    void aSaveChecksTheNameThenTheAccountAndKeepsTheInput()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            retype(m->DBEdit2, QStringLiteral("Neu Mann"));
            s.answerBox(QStringLiteral("Cancel"), [](QMessageBox *box) {
                maindriver::screenshot(FMain, QStringLiteral("users-warning-window.png"));
                maindriver::screenshot(box, QStringLiteral("users-warning.png"));
            });
            m->Bsave->click();
            QCOMPARE(s.boxes.size(), 2);
            QCOMPARE(s.boxes.last().text, kNoUser);
            QCOMPARE(s.boxes.last().title, QStringLiteral("Warnung"));
            QCOMPARE(s.boxes.last().buttons, QStringList{QStringLiteral("Cancel")});
            QCOMPARE(m->UserList->state(), DataState::Insert);
            QCOMPARE(value(m, "RealName"), QStringLiteral("Neu Mann"));
            QVERIFY(m->Bsave->isEnabled());

            // A single blank is a name; now the account is missing.
            retype(m->DBEdit1, QStringLiteral(" "));
            s.answerBox(QStringLiteral("Cancel"));
            m->Bsave->click();
            QCOMPARE(s.boxes.size(), 3);
            QCOMPARE(s.boxes.last().text, kNoAccount);
            QCOMPARE(m->UserList->state(), DataState::Insert);

            // A name another user has, in any letter case: the logon could tell neither apart.
            retype(m->DBEdit4, QStringLiteral("neu"));
            retype(m->DBEdit1, QStringLiteral("MMueller"));
            s.answerBox(QStringLiteral("Cancel"));
            m->Bsave->click();
            QCOMPARE(s.boxes.size(), 4);
            QCOMPARE(s.boxes.last().text, QStringLiteral("Benutzername bereits vergeben!"));
            QCOMPARE(value(m, "User"), QStringLiteral("MMueller"));
            retype(m->DBEdit1, QStringLiteral(" "));

            m->Bsave->click();
            QCOMPARE(s.boxes.size(), 4); // stored without a word
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QVERIFY(!m->Bsave->isEnabled());
            // The next change enables it again.
            retype(m->DBEdit3, QStringLiteral("NM"));
            QCOMPARE(m->UserList->state(), DataState::Edit);
            QVERIFY(m->Bsave->isEnabled());
            m->Bsave->click();
        });
        FileView f(file);
        QCOMPARE(
            f.count(QStringLiteral("select count(*) from Benutzer where User=\" \" and NTUser=\"neu\" and "
                                   "Initialien=\"NM\" and RealName=\"Neu Mann\" and Admin=false")),
            1);
    }

    void selectingAnotherUserSavesThroughTheChecksOnEitherPage()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit2, QStringLiteral("Max Mustermann"));
            QVERIFY(m->Bsave->isEnabled());
            clickRow(m->DBGrid1, 3);
            QVERIFY(s.boxes.isEmpty());
            QCOMPARE(m->UserList->currentRow(), 3);
            QVERIFY(!m->Bsave->isEnabled());

            // An empty account stops the move: the warning, and the selection stays on the user.
            retype(m->DBEdit4, QString());
            s.answerBox(QStringLiteral("Cancel"));
            clickRow(m->DBGrid1, 0);
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(s.boxes.last().text, kNoAccount);
            QCOMPARE(m->UserList->currentRow(), 3);
            QCOMPARE(m->DBGrid1->currentIndex().row(), 3);
            QCOMPARE(m->UserList->state(), DataState::Edit);

            // The same check from the functions page's users grid.
            m->PageControl1->setCurrentWidget(m->TabSheet2);
            s.answerBox(QStringLiteral("Cancel"));
            clickRow(m->DBGrid2, 1);
            QCOMPARE(s.boxes.size(), 2);
            QCOMPARE(m->UserList->currentRow(), 3);
            QCOMPARE(m->DBGrid2->currentIndex().row(), 3);

            // Esc in the users grid abandons the change; the save button keeps its state.
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            focus(m->DBGrid1);
            QTest::keyClick(m->DBGrid1, Qt::Key_Escape);
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->DBEdit4->text(), QStringLiteral("kweber"));
            QVERIFY(m->Bsave->isEnabled());
            m->Bsave->click(); // finds nothing to save
            QCOMPARE(s.boxes.size(), 2);
        });
        FileView f(file);
        QCOMPARE(f.scalar(QStringLiteral("select RealName from Benutzer where User=\"mmueller\"")).toString(),
                 QStringLiteral("Max Mustermann"));
        QCOMPARE(f.scalar(QStringLiteral("select NTUser from Benutzer where User=\"kweber\"")).toString(),
                 QStringLiteral("kweber"));
    }

    void anlegenWithAnUnsavableChangeStartsNothing()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit1, QString());
            s.answerBox(QStringLiteral("Yes")).answerBox(QStringLiteral("Cancel"));
            m->Bneu->click();
            QCOMPARE(s.boxes.size(), 2);
            QCOMPARE(s.boxes.last().text, kNoUser);
            QCOMPARE(m->UserList->state(), DataState::Edit);
            QCOMPARE(m->UserList->rowCount(), 4);
        });
    }

    void aTypedPasswordIsScrambledOnceAndOnlyOnce()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("eschmidt"));
            const QString stored = value(m, "Passwort");
            // Tabbing through the password of an unchanged user changes and shows nothing.
            focus(m->DBEdit4);
            QTest::keyClick(m->DBEdit4, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), m->DBEdit5);
            QTest::keyClick(m->DBEdit5, Qt::Key_Tab);
            QVERIFY(s.boxes.isEmpty());
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(value(m, "Passwort"), stored);

            // Typed and left: scrambled in the record and in the edit; the button shows it in the clear.
            retype(m->DBEdit5, QStringLiteral("Sommer1"));
            QTest::keyClick(m->DBEdit5, Qt::Key_Tab);
            QCOMPARE(value(m, "Passwort"), ScramblePasswordText(QStringLiteral("Sommer1")));
            QCOMPARE(m->DBEdit5->text(), ScramblePasswordText(QStringLiteral("Sommer1")));
            s.answerBox();
            m->SpeedButton1->click();
            QCOMPARE(s.boxes.last().text, QStringLiteral("Sommer1"));
            QCOMPARE(s.boxes.last().title, QStringLiteral("Sicherheitsbeschreibungen"));
            QCOMPARE(s.boxes.last().icon, QMessageBox::NoIcon);
            QCOMPARE(s.boxes.last().buttons, QStringList{QStringLiteral("OK")});
            // Entering and leaving again without typing keeps it scrambled.
            focus(m->DBEdit5);
            QTest::keyClick(m->DBEdit5, Qt::Key_Tab);
            QCOMPARE(value(m, "Passwort"), ScramblePasswordText(QStringLiteral("Sommer1")));
            // Typed, then Esc: the field's value is back and nothing is scrambled twice.
            focus(m->DBEdit5);
            driver::type(m->DBEdit5, QStringLiteral("x"));
            QTest::keyClick(m->DBEdit5, Qt::Key_Escape);
            QTest::keyClick(m->DBEdit5, Qt::Key_Tab);
            QCOMPARE(value(m, "Passwort"), ScramblePasswordText(QStringLiteral("Sommer1")));
            m->Bsave->click();
            QCOMPARE(m->UserList->state(), DataState::Browse);

            // Typed and saved at once, with the focus still in the password edit.
            retype(m->DBEdit5, QStringLiteral("Winter2"));
            m->Bsave->click();
            QCOMPARE(value(m, "Passwort"), ScramblePasswordText(QStringLiteral("Winter2")));

            // Typed, then another user started with the focus still in the password edit: the record that
            // is saved on the way holds the scrambled form too.
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit5, QStringLiteral("Herbst3"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            QCOMPARE(m->UserList->state(), DataState::Insert);
            // An empty password shows an empty box.
            s.answerBox();
            m->SpeedButton1->click();
            QCOMPARE(s.boxes.last().text, QString());
        });
        FileView f(file);
        QCOMPARE(f.scalar(QStringLiteral("select Passwort from Benutzer where User=\"eschmidt\"")).toString(),
                 ScramblePasswordText(QStringLiteral("Winter2")));
        QCOMPARE(f.scalar(QStringLiteral("select Passwort from Benutzer where User=\"mmueller\"")).toString(),
                 ScramblePasswordText(QStringLiteral("Herbst3")));
    }

    void aWindowThatStopsBeingActiveDoesNotEndThePasswordTyping_data()
    {
        QTest::addColumn<bool>("question");
        QTest::newRow("a question answered No") << true;
        QTest::newRow("the group tree clicked") << false;
    }

    void aWindowThatStopsBeingActiveDoesNotEndThePasswordTyping()
    {
        QFETCH(bool, question);
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit5, QStringLiteral("ab"));
            if (question) {
                s.answerBox(QStringLiteral("No"));
                m->Bdel->click();
            } else {
                fGruppen->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(fGruppen));
            }
            m->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m));
            QCOMPARE(QApplication::focusWidget(), m->DBEdit5);
            QCOMPARE(m->DBEdit5->text(), QStringLiteral("ab"));
            driver::type(m->DBEdit5, QStringLiteral("cd"));
            m->Bsave->click();
        });
        FileView f(file);
        QCOMPARE(f.scalar(QStringLiteral("select Passwort from Benutzer where User=\"mmueller\"")).toString(),
                 ScramblePasswordText(QStringLiteral("abcd")));
    }

    void changedInitialsTakeTheUsersRightsAlong_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("the user's own") << false;
        QTest::newRow("shared with another user") << true;
    }

    void changedInitialsTakeTheUsersRightsAlong()
    {
        QFETCH(bool, shared);
        const QString file = m_folder.freshDemo();
        int mm = 0;
        {
            FileView f(file);
            if (shared)
                f.conn.execute(QStringLiteral(
                    "insert into Benutzer (User, Initialien, NTUser) values (\"zweit\", \"mm\", \"z\")"));
            mm = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\""));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            const qint32 function = showFunctionOf(m, file, QStringLiteral("MM"));
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit3, QStringLiteral("MX"));
            m->Bsave->click();
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->FunktionenBenutzer->rowCount(), assignedTo(file, function));
            QCOMPARE(rowOf(m->FunktionenBenutzer, "User", QStringLiteral("MX")) >= 0, !shared);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MX\"")),
                 shared ? 0 : mm);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\"")),
                 shared ? mm : 0);
    }

    void loeschenAsksAndTakesTheUsersAssignmentsAlong()
    {
        const QString file = m_folder.freshDemo();
        int othersBefore = 0;
        {
            FileView f(file);
            othersBefore =
                f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User<>\"MM\""));
            QVERIFY(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\"")) >
                    0);
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            const qint32 function = showFunctionOf(m, file, QStringLiteral("MM"));
            selectUser(m, QStringLiteral("mmueller"));
            s.answerBox(QStringLiteral("No"));
            m->Bdel->click();
            QCOMPARE(s.boxes.last().text,
                     QStringLiteral("Wollen Sie den Benutzer mmueller (Max Müller) wirklich löschen"));
            QCOMPARE(s.boxes.last().title, QStringLiteral("Bestätigung"));
            QCOMPARE(m->UserList->rowCount(), 4);

            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(m->UserList->rowCount(), 3);
            QCOMPARE(value(m, "User"), QStringLiteral("eschmidt")); // the neighbour
            QCOMPARE(m->FunktionenBenutzer->rowCount(), assignedTo(file, function));
            QCOMPARE(rowOf(m->FunktionenBenutzer, "User", QStringLiteral("MM")), -1);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where User=\"mmueller\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), othersBefore);
    }

    void ctrlDelInTheGridAsksItsOwnQuestionAndCleansUpTheSameWay()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("eschmidt"));
            focus(m->DBGrid1);
            s.answerBox(QStringLiteral("Cancel"));
            QTest::keyClick(m->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(s.boxes.last().text, QStringLiteral("Datensatz löschen?"));
            QCOMPARE(s.boxes.last().title, QStringLiteral("Bestätigung"));
            QCOMPARE(s.boxes.last().buttons, QStringList({QStringLiteral("OK"), QStringLiteral("Cancel")}));
            QCOMPARE(m->UserList->rowCount(), 4);
            s.answerBox(QStringLiteral("OK"));
            QTest::keyClick(m->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(m->UserList->rowCount(), 3);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where User=\"eschmidt\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"ES\"")), 0);
    }

    void assignmentsSharedWithAnotherUserStay()
    {
        const QString file = m_folder.freshDemo();
        int mm = 0;
        {
            FileView f(file);
            // A second user with the same initials in other letters.
            f.conn.execute(QStringLiteral(
                "insert into Benutzer (User, Initialien, NTUser) values (\"zweit\", \"mm\", \"z\")"));
            mm = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\""));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("zweit"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(m->UserList->rowCount(), 4);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where User=\"zweit\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"MM\"")), mm);
    }

    void theCleanUpTakesTheInitialsAnotherProgramGaveMeanwhile()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("kweber"));
            FileView f(file);
            f.conn.execute(QStringLiteral("update Benutzer set Initialien=\"XY\" where User=\"kweber\""));
            f.conn.execute(QStringLiteral("update Funktionen_Benutzer set User=\"XY\" where User=\"KW\""));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(s.boxes.size(), 1);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where User=\"kweber\"")), 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"XY\"")), 0);
    }

    void loeschenOnANewOrEditedRecordNeverTouchesAnotherUsersRights()
    {
        const QString file = m_folder.freshDemo();
        int total = 0;
        {
            FileView f(file);
            total = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer"));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            // A new record with someone else's initials is only abandoned.
            selectUser(m, QStringLiteral("admin"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            retype(m->DBEdit3, QStringLiteral("KW"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(s.boxes.last().text, QStringLiteral("Wollen Sie den Benutzer  () wirklich löschen"));
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->UserList->rowCount(), 4);
            // Edited, unsaved initials: the clean-up goes by the stored ones.
            selectUser(m, QStringLiteral("eschmidt"));
            retype(m->DBEdit3, QStringLiteral("AA"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            QCOMPARE(m->UserList->rowCount(), 3);
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"KW\"")) > 0,
                 true);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"AA\"")) > 0,
                 true);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"ES\"")), 0);
        QVERIFY(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")) < total);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer")), 3);
    }

    void aFailingCleanUpKeepsTheUser_data()
    {
        QTest::addColumn<QString>("refusing");
        QTest::newRow("the clean-up fails") << QStringLiteral("Funktionen_Benutzer");
        QTest::newRow("the user's delete fails after it") << QStringLiteral("Benutzer");
    }

    void aFailingCleanUpKeepsTheUser()
    {
        QFETCH(QString, refusing);
        const QString file = m_folder.freshDemo();
        int assigned = 0;
        {
            FileView f(file);
            assigned = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"KW\""));
            f.refuse(QStringLiteral("DELETE"), refusing);
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("kweber"));
            s.answerBox(QStringLiteral("Yes")).answerBox();
            m->Bdel->click();
            QCOMPARE(s.boxes.size(), 2);
            QCOMPARE(s.boxes.last().title, QStringLiteral("Sicherheitsbeschreibungen"));
            QCOMPARE(s.boxes.last().icon, QMessageBox::Critical);
            // The list it concerns closes the sentence in brackets, not as a stray word.
            QVERIFY2(!s.boxes.last().text.contains(QRegularExpression(QStringLiteral("[^(]UserList"))),
                     qPrintable(s.boxes.last().text));
            QCOMPARE(m->UserList->rowCount(), 4);
            QCOMPARE(value(m, "User"), QStringLiteral("kweber"));
        });
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Benutzer where User=\"kweber\"")), 1);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User=\"KW\"")),
                 assigned);
    }

    void loeschenOnAnEmptyListShowsTheStoresRefusal()
    {
        const QString file = m_folder.filePath(QStringLiteral("leer/User.mdb"));
        QDir().mkpath(QFileInfo(file).path());
        testsupport::createEmpty(file);
        Script s;
        withMain(s, file, [&](TFMain *m) {
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            s.answerBox(QStringLiteral("Yes")).answerBox();
            m->Bdel->click();
            QCOMPARE(s.boxes.size(), 2);
            QCOMPARE(s.boxes[0].text, QStringLiteral("Wollen Sie den Benutzer  () wirklich löschen"));
            QCOMPARE(s.boxes[1].text,
                     QStringLiteral("UserList: Operation bei leerer Datenmenge nicht ausführbar."));
            // The grid's own delete asks nothing when there is nothing.
            focus(m->DBGrid1);
            QTest::keyClick(m->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(s.boxes.size(), 2);
        });
    }

    void theGridOnlySelectsAndTheKeysPressTheirButtons()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("kweber"));
            focus(m->DBGrid1);
            // The grid never starts a record: not by Insert, not by Down on the last row, not by typing.
            QTest::keyClick(m->DBGrid1, Qt::Key_Insert);
            QTest::keyClick(m->DBGrid1, Qt::Key_Down);
            QTest::keyClick(m->DBGrid1, Qt::Key_X);
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->UserList->rowCount(), 4);
            QVERIFY(m->DBGrid1->selectionModel()->isRowSelected(3, QModelIndex()));
            // Typing the start of another user's name in either users grid neither moves to that user nor
            // saves what is pending.
            retype(m->DBEdit2, QStringLiteral("K. W."));
            for (ui::DBGrid *grid : {m->DBGrid1, m->DBGrid2}) {
                m->PageControl1->setCurrentWidget(grid->parentWidget());
                focus(grid);
                driver::type(grid, QStringLiteral("es"));
                QCOMPARE(m->UserList->currentRow(), 3);
                QCOMPARE(m->UserList->state(), DataState::Edit);
            }
            m->PageControl1->setCurrentWidget(m->TabSheet1);
            focus(m->DBGrid1);
            QTest::keyClick(m->DBGrid1, Qt::Key_Escape);

            // Alt+N asks for a new user; Esc in the grid abandons it.
            QVERIFY(QTest::qWaitForWindowActive(m));
            s.answerBox(QStringLiteral("Yes"));
            QTest::keyClick(m, Qt::Key_N, Qt::AltModifier);
            QTRY_COMPARE(s.boxes.size(), 1); // a mnemonic presses its button a moment later, as it is seen
            QCOMPARE(m->focusWidget(), m->DBGrid1);
            QCOMPARE(m->UserList->state(), DataState::Insert);
            focus(m->DBGrid1);
            QTest::keyClick(m->DBGrid1, Qt::Key_Escape);
            QCOMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(m->UserList->rowCount(), 4);

            // Alt+S saves.
            m->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m));
            retype(m->DBEdit2, QStringLiteral("K. Weber"));
            QTest::keyClick(m, Qt::Key_S, Qt::AltModifier);
            QTRY_COMPARE(m->UserList->state(), DataState::Browse);
            QCOMPARE(value(m, "RealName"), QStringLiteral("K. Weber"));
            QCOMPARE(QApplication::focusWidget(), m->DBEdit1);

            // "Rechte-Kopie" does nothing.
            m->ToolButton2->click();
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(m->UserList->state(), DataState::Browse);

            // The button without caption never takes the focus by a click (Tab reaches it) and shows its
            // frame only under the mouse.
            QCOMPARE(m->SpeedButton1->focusPolicy(), Qt::TabFocus);
            QVERIFY(m->SpeedButton1->autoRaise());
            QVERIFY(m->SpeedButton1->text().isEmpty());
        });
    }

    void theNoteReadsWholeAtTheDesignedSize()
    {
        const QString file = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("eschmidt"));
            QLabel *note = m->Label1;
            const QRect seen = note->geometry().intersected(m->GroupBox2->rect());
            QCOMPARE(seen, note->geometry());
            QVERIFY(note->height() >= note->heightForWidth(note->width()));
            QVERIFY(note->geometry().bottom() < m->GroupBox2->height());
            for (const QString &word : note->text().split(u' '))
                QVERIFY2(note->fontMetrics().horizontalAdvance(word) <= note->width(), qPrintable(word));
            maindriver::screenshot(m, QStringLiteral("users-page.png"));
        });
    }
};

int runUsersPageTests(int argc, char **argv)
{
    TestUsersPage tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_users.moc"
