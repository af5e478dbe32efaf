// The program used with the keyboard alone: an administrator's day's work by key presses, checked in the
// file; and in every window, Tab and Shift+Tab leave each control with the focus shown on it, and Esc closes
// each dialog.

#include "MainDriver.h"
#include "ServerMode.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "GruppenBaum.h"
#include "ListPanel.h"
#include "Logon.h"
#include "LogonServices.h"
#include "Main.h"
#include "PasswordEdit.h"
#include "Rechte.h"
#include "RecordSet.h"
#include "ResultButton.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <map>

using driver::Script;
using maindriver::FileView;

namespace {

QWidget *focused()
{
    return QApplication::focusWidget();
}

// Presses the keys one after the other, each written as a shortcut is: "Ctrl+PgUp", "Space Tab Space".
void press(const QString &keys)
{
    for (const QString &name : keys.split(u' ')) {
        const QKeyCombination k = QKeySequence::fromString(name, QKeySequence::PortableText)[0];
        QWidget *target = focused() ? focused() : QApplication::activeWindow();
        QVERIFY2(target, qPrintable(QStringLiteral("no window takes ") + name));
        QTest::keyClick(target, k.key(), k.keyboardModifiers());
    }
}

// A desktop hands the keyboard back to the window under a dialog that closed; the platform the tests run
// on leaves no window active.
void backTo(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }));
}

// Tab until the focus stands on the target, as far as once round any of our windows.
bool tabTo(const QWidget *target)
{
    for (int i = 0; i < 60 && focused() != target; ++i)
        press(QStringLiteral("Tab"));
    return focused() == target;
}

QString field(store::RecordSet *set, const char *name)
{
    return set->field(QString::fromLatin1(name)).asString();
}

// Down from the first row to the row whose field holds the text, never past the last row (Down there would
// start a new one).
void downTo(store::RecordSet *set, const char *name, const QString &text)
{
    press(QStringLiteral("Ctrl+Home"));
    while (field(set, name) != text && set->currentRow() < set->rowCount() - 1)
        press(QStringLiteral("Down"));
    QCOMPARE(field(set, name), text);
}

// When the window comes: types the text into the control with the focus, then presses the keys.
void answer(Script &s, const QString &window, const QString &text, const QString &keys)
{
    s.on(window, [text, keys](QWidget *) {
        QTest::keyClicks(focused(), text);
        press(keys);
    });
}

void logOnByKeys(Script &s, bool changePassword = false)
{
    s.on(QStringLiteral("SLogon"), [changePassword](QWidget *w) {
        // A name proposed for the account puts the focus on the password.
        if (focused() == qobject_cast<TSLogon *>(w)->Pass)
            press(QStringLiteral("Shift+Tab"));
        press(QStringLiteral("Ctrl+A"));
        QTest::keyClicks(focused(), QStringLiteral("admin"));
        press(QStringLiteral("Tab"));
        QTest::keyClicks(focused(), QStringLiteral("admin"));
        press(changePassword ? QStringLiteral("Tab Space Return") : QStringLiteral("Return"));
    });
}

bool within(const QWidget *w, const QWidget *control)
{
    return w && (w == control || control->isAncestorOf(w));
}

// Puts the focus on every control of the window that Tab can reach and presses Tab, then Shift+Tab. Names
// each control that keeps the focus (a grid may keep it for the cells of its row) and each whose look does
// not change when the focus moves on. A box with one button has nowhere else to go: Enter and Esc leave it.
QStringList keyboardFaults(QWidget *window)
{
    if (QApplication::activeWindow() != window)
        backTo(window);
    press(QStringLiteral("Tab")); // from the first Tab on, a window shows where the focus is
    QList<QWidget *> controls = window->findChildren<QWidget *>();
    controls.removeIf([window](const QWidget *c) {
        return !(c->focusPolicy() & Qt::TabFocus) || c->focusProxy() || !c->isVisibleTo(window) ||
               !c->isEnabled() || c->window() != window;
    });
    QStringList faults;
    for (QWidget *c : controls) {
        const QString name = QString::fromLatin1(c->metaObject()->className()) + u' ' + c->objectName();
        for (const QString &tab : {QStringLiteral("Tab"), QStringLiteral("Shift+Tab")}) {
            c->setFocus(Qt::TabFocusReason);
            if (focused() != c) {
                faults << name + QStringLiteral(" takes no focus");
                break;
            }
            if (controls.size() < 2)
                break;
            const QImage withFocus = c->grab().toImage();
            for (int i = 0; i < 8 && within(focused(), c); ++i)
                press(tab);
            if (within(focused(), c))
                faults << name + QStringLiteral(" keeps ") + tab;
            else if (tab == u"Tab" && c->grab().toImage() == withFocus) // a default button stays marked
                faults << name + QStringLiteral(" shows no focus");
        }
    }
    return faults;
}

// Every page of a window with pages.
QStringList pagedFaults(QWidget *window, QTabWidget *pages)
{
    QStringList faults;
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        faults << keyboardFaults(window);
    }
    faults.removeDuplicates();
    return faults;
}

// Checks a modal window when it comes, then closes it with Esc.
void checkThenEscape(Script &s, const QString &window, QStringList &faults)
{
    s.on(window, [&faults, window](QWidget *w) {
        faults << keyboardFaults(w);
        press(QStringLiteral("Esc"));
        if (w->isVisible())
            faults << window + QStringLiteral(" stays open on Esc");
    });
}

TFRechte *rechteOf(TFMain *m)
{
    return m->findChild<TFRechte *>(QStringLiteral("FRechte"));
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void aDaysWorkByKeysOnly()
    {
        const QString file = m_folder.freshDemo();
        const int erikasRights =
            FileView(file).count(QStringLiteral("select count(*) from Funktionen_Benutzer where User='ES'"));
        qint32 group = 0;
        Script s;
        logOnByKeys(s);
        answer(s, QStringLiteral("Open"), file, QStringLiteral("Return"));
        const auto yes = [&s] {
            answer(s, QStringLiteral("MessageBox"), QString(), QStringLiteral("Alt+J"));
        };
        bool ran = false;
        maindriver::runWith([&](TFMain *m) {
            ran = true;
            backTo(m);
            // A new user, the fields in Tab order, saved.
            yes();
            press(QStringLiteral("Ctrl+PgUp Alt+N"));
            QTRY_VERIFY(s.done());
            backTo(m);
            QVERIFY(tabTo(m->DBEdit1));
            for (const char *text : {"kuser", "KU", "Karl Unger", "kunger", "geheim1"}) {
                QTest::keyClicks(focused(), QString::fromUtf8(text));
                press(QStringLiteral("Tab"));
            }
            press(QStringLiteral("Alt+S"));
            QTRY_COMPARE(m->UserList->state(), store::DataState::Browse);

            // A group in the root, opened from the grid, its standard rights made through "Anlegen".
            press(QStringLiteral("Ctrl+PgDown"));
            QVERIFY(tabTo(m->GroupAdd));
            answer(s, QStringLiteral("InputQuery"), QStringLiteral("Tastatur"), QStringLiteral("Return"));
            press(QStringLiteral("Space"));
            backTo(m);
            QVERIFY(tabTo(m->DBGrid3));
            downTo(m->Funktionen, "Titel", QStringLiteral("Tastatur"));
            // Retyped in its cell: Enter only ends the edit, Tab in the last cell goes on to the next grid.
            press(QStringLiteral("Right F2 End 1 Return"));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
            press(QStringLiteral("F2 End 2 Tab"));
            QCOMPARE(focused(), m->DBGrid4);
            QVERIFY(tabTo(m->DBGrid3));
            press(QStringLiteral("Return"));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Tastatur12"));
            group = m->currentGroup();
            QVERIFY(tabTo(m->ToolButton6));
            // Hinzufügen, Ändern, not Löschen, Drucken; OK.
            answer(s, QStringLiteral("FAnlegen"), QString(),
                   QStringLiteral("Space Tab Space Tab Tab Space Tab Return"));
            press(QStringLiteral("Space"));
            backTo(m);
            QCOMPARE(m->Funktionen->rowCount(), 3);

            // The new user assigned to "Ändern": the function chosen in its grid, Enter on the user.
            QVERIFY(tabTo(m->DBGrid3));
            downTo(m->Funktionen, "Titel", QStringLiteral("Ändern"));
            QVERIFY(tabTo(m->DBGrid2));
            downTo(m->UserList, "User", QStringLiteral("kuser"));
            press(QStringLiteral("Return"));
            QCOMPARE(field(m->FunktionenBenutzer, "User"), QStringLiteral("KU"));

            // Over to the group tree: read again, the root opened, then the new group, and back.
            press(QStringLiteral("Ctrl+G"));
            QTRY_COMPARE(QApplication::activeWindow(), fGruppen);
            QVERIFY(tabTo(fGruppen->Update));
            press(QStringLiteral("Space Shift+Tab Home Return"));
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
            for (int i = 0; i < 40 && !fGruppen->Struktur->currentItem()->text(0).startsWith(u"Tastatur12 (");
                 ++i)
                press(QStringLiteral("Down"));
            press(QStringLiteral("Return"));
            QCOMPARE(m->currentGroup(), group);
            press(QStringLiteral("Ctrl+G"));
            QTRY_COMPARE(QApplication::activeWindow(), m);

            // The rights overview: Erika Schmidt's rights copied to the new user.
            press(QStringLiteral("Ctrl+R"));
            QTRY_COMPARE(QApplication::activeWindow(), rechteOf(m));
            QVERIFY(tabTo(rechteOf(m)->Users->filter()));
            QTest::keyClicks(focused(), QStringLiteral("kuser"));
            s.on(QStringLiteral("RechteVon"), [](QWidget *w) {
                auto *sources = w->findChild<QComboBox *>();
                QVERIFY(tabTo(sources));
                for (int i = 0; i < 10 && !sources->currentText().startsWith(u"eschmidt ("); ++i)
                    press(QStringLiteral("Down"));
                press(QStringLiteral("Return"));
            });
            yes();
            press(QStringLiteral("Down Alt+B"));
            QTRY_VERIFY(s.done());
            backTo(rechteOf(m));
            press(QStringLiteral("Esc"));
            QVERIFY(!rechteOf(m)->isVisible());
            m->close();
        });
        QVERIFY2(ran && s.done(), qPrintable(s.pending().join(u',')));

        FileView view(file);
        QCOMPARE(view.scalar(QStringLiteral("select Passwort from Benutzer where User='kuser' and "
                                            "Initialien='KU' and RealName='Karl Unger' and NTUser='kunger'"))
                     .toString(),
                 ScramblePasswordText(QStringLiteral("geheim1")));
        QCOMPARE(
            view.count(QStringLiteral("select count(*) from Funktionen where id=%1 and Titel='Tastatur12' "
                                      "and inGruppe=0")
                           .arg(group)),
            1);
        QCOMPARE(view.count(QStringLiteral("select count(*) from Funktionen where inGruppe=%1").arg(group)),
                 3);
        QCOMPARE(view.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User='KU'")),
                 erikasRights + 1);
    }

    void tabLeavesEveryControlAndEscClosesEveryDialog_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *name : {"SLogon", "SPWchange", "FMain", "fGruppen", "FAnlegen", "InputQuery",
                                 "MessageBox", "FRechte", "RechteVon", "BerichtDialog"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void tabLeavesEveryControlAndEscClosesEveryDialog()
    {
        QFETCH(QString, window);
        QStringList faults;
        Script s;
        if (window.startsWith(u'S')) {
            // Esc on the logon ends the program; on the password change the logon goes on to the file
            // dialog, whose Esc ends the program after a box.
            if (window == u"SPWchange")
                logOnByKeys(s, true);
            for (const QString &w : {window, QStringLiteral("Open"), QStringLiteral("MessageBox")})
                if (w == window || window == u"SPWchange")
                    checkThenEscape(s, w, faults);
            QCOMPARE(maindriver::runWith([](TFMain *m) { m->close(); }), 0);
            QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
            return;
        }
        // What opens each of the other windows; the dialogs are checked as they come.
        const std::map<QString, std::function<void(TFMain *)>> opens = {
            {QStringLiteral("FMain"), [&](TFMain *m) { faults << pagedFaults(m, m->PageControl1); }},
            {QStringLiteral("fGruppen"), [&](TFMain *) { faults << keyboardFaults(fGruppen); }},
            {QStringLiteral("FAnlegen"), [](TFMain *m) { m->ToolButton6->click(); }},
            {QStringLiteral("InputQuery"), [](TFMain *m) { m->GroupAdd->click(); }},
            {QStringLiteral("MessageBox"), [](TFMain *m) { m->Bneu->click(); }},
            {QStringLiteral("FRechte"),
             [&](TFMain *m) {
                 m->RechteClick();
                 faults << pagedFaults(rechteOf(m), rechteOf(m)->Views);
                 press(QStringLiteral("Esc"));
                 if (rechteOf(m)->isVisible())
                     faults << QStringLiteral("FRechte stays open on Esc");
             }},
            {QStringLiteral("RechteVon"),
             [](TFMain *m) {
                 m->RechteClick();
                 rechteOf(m)->Users->choose(0);
                 rechteOf(m)->RechteUebernehmen->click();
             }},
            {QStringLiteral("BerichtDialog"),
             [](TFMain *m) {
                 m->RechteClick();
                 rechteOf(m)->Bericht->click();
             }},
        };
        maindriver::withMain(s, m_folder.freshDemo(), [&](TFMain *m) {
            if (window != u"FMain" && window != u"fGruppen" && window != u"FRechte")
                checkThenEscape(s, window, faults);
            opens.at(window)(m);
            QTRY_VERIFY(s.done());
        });
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }
};

SUITE_MAIN(QApplication, TestKeyboard)

#include "tst_keyboard.moc"
