// The program used with the keyboard alone: an administrator's day's work by key presses, checked in the
// file; and in every window, Tab and Shift+Tab leave each control with the focus shown on it, and Esc closes
// each dialog.

#include "MainDriver.h"
#include "ServerMode.h"

#include "Anlegen.h"
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
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
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

void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget *target = focused() ? focused() : QApplication::activeWindow();
    QVERIFY2(target,
             qPrintable(QStringLiteral("no window takes the key %1").arg(QKeySequence(k | mods).toString())));
    QTest::keyClick(target, k, mods);
}

// A desktop hands the keyboard back to the window under a dialog that closed; the platform the tests run
// on leaves no window active.
void backTo(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }));
}

void typeKeys(const QString &text)
{
    QTest::keyClicks(focused(), text);
}

// Tab until the focus stands on the target, as far as once round any of our windows.
bool tabTo(const QWidget *target)
{
    for (int i = 0; i < 60 && focused() != target; ++i)
        key(Qt::Key_Tab);
    return focused() == target;
}

// Down from the first row until `done`, never past the last row (Down there would start a new one).
void downUntil(store::RecordSet *set, const std::function<bool()> &done)
{
    key(Qt::Key_Home, Qt::ControlModifier);
    while (!done() && set->currentRow() < set->rowCount() - 1)
        key(Qt::Key_Down);
}

QString field(store::RecordSet *set, const char *name)
{
    return set->field(QString::fromLatin1(name)).asString();
}

void answerBoxByKey(Script &s, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    s.on(QStringLiteral("MessageBox"), [k, mods](QWidget *box) { QTest::keyClick(box, k, mods); });
}

void logOnByKeys(Script &s, bool changePassword = false)
{
    s.on(QStringLiteral("SLogon"), [changePassword](QWidget *w) {
        auto *logon = qobject_cast<TSLogon *>(w);
        // A name proposed for the account puts the focus on the password.
        if (focused() == logon->Pass)
            key(Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(focused(), logon->Benutzer);
        key(Qt::Key_A, Qt::ControlModifier);
        typeKeys(QStringLiteral("admin"));
        key(Qt::Key_Tab);
        typeKeys(QStringLiteral("admin"));
        if (changePassword) {
            key(Qt::Key_Tab);
            key(Qt::Key_Space);
        }
        key(Qt::Key_Return);
    });
}

void chooseFileByKeys(Script &s, const QString &file)
{
    s.on(QStringLiteral("Open"), [file](QWidget *) {
        QCOMPARE(focused()->objectName(), QStringLiteral("fileNameEdit"));
        typeKeys(file);
        key(Qt::Key_Return);
    });
}

bool within(const QWidget *w, const QWidget *control)
{
    return w && (w == control || control->isAncestorOf(w));
}

// Puts the focus on every control of the window that Tab can reach and presses Tab, then Shift+Tab. Names
// each control that keeps the focus (a grid may keep it for the cells of its row) and each whose look does
// not change with the focus.
QStringList keyboardFaults(QWidget *window)
{
    QStringList faults;
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        if (!QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }))
            return {window->objectName() + QStringLiteral(": never active")};
    }
    // The keyboard's first Tab shows where the focus is from then on, as it does for a user.
    key(Qt::Key_Tab);
    QList<QWidget *> controls = window->findChildren<QWidget *>();
    controls.removeIf([window](const QWidget *c) {
        return !(c->focusPolicy() & Qt::TabFocus) || c->focusProxy() || !c->isVisibleTo(window) ||
               !c->isEnabled() || c->window() != window;
    });
    // A box with one button has nowhere else to go: Enter and Esc leave it.
    const int presses = controls.size() > 1 ? 8 : 0;
    for (QWidget *c : controls) {
        const QString name =
            c->objectName().isEmpty() ? QString::fromLatin1(c->metaObject()->className()) : c->objectName();
        for (const bool forward : {true, false}) {
            c->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            if (focused() != c) {
                faults << name + QStringLiteral(": takes no focus");
                break;
            }
            const QImage withFocus = c->grab().toImage();
            for (int i = 0; i < presses && within(focused(), c); ++i)
                key(Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
            if (presses == 0)
                break;
            if (within(focused(), c))
                faults << name + (forward ? QStringLiteral(": Tab") : QStringLiteral(": Shift+Tab"));
            else if (forward && c->grab().toImage() == withFocus)
                faults << name + QStringLiteral(": focus not seen");
        }
    }
    return faults;
}

// Every control of every page of a tabbed window.
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
        key(Qt::Key_Escape);
        if (w->isVisible())
            faults << window + QStringLiteral(": Esc does not close it");
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
        const int rightsOfErika =
            FileView(file).count(QStringLiteral("select count(*) from Funktionen_Benutzer where User='ES'"));
        QVERIFY(rightsOfErika > 0);
        qint32 group = 0;
        Script s;
        logOnByKeys(s);
        chooseFileByKeys(s, file);
        bool ran = false;
        maindriver::runWith([&](TFMain *m) {
            ran = true;
            m->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m));

            // A new user, its fields filled in Tab order, saved.
            key(Qt::Key_PageUp, Qt::ControlModifier);
            QCOMPARE(m->PageControl1->currentWidget(), m->TabSheet1);
            answerBoxByKey(s, Qt::Key_J, Qt::AltModifier);
            key(Qt::Key_N, Qt::AltModifier);
            QTRY_VERIFY(s.done());
            backTo(m);
            QCOMPARE(m->UserList->state(), store::DataState::Insert);
            QVERIFY(tabTo(m->DBEdit1));
            for (const char *text : {"kuser", "KU", "Karl Unger", "kunger", "geheim1"}) {
                typeKeys(QString::fromUtf8(text));
                key(Qt::Key_Tab);
            }
            key(Qt::Key_S, Qt::AltModifier);
            QTRY_COMPARE(m->UserList->state(), store::DataState::Browse);

            // A group in the root, opened from the grid, with standard rights made through "Anlegen".
            key(Qt::Key_PageDown, Qt::ControlModifier);
            QCOMPARE(m->PageControl1->currentWidget(), m->TabSheet2);
            QVERIFY(tabTo(m->GroupAdd));
            s.on(QStringLiteral("InputQuery"), [](QWidget *) {
                typeKeys(QStringLiteral("Tastatur"));
                key(Qt::Key_Return);
            });
            key(Qt::Key_Space);
            QTRY_VERIFY(s.done());
            backTo(m);
            QVERIFY(tabTo(m->DBGrid3));
            downUntil(m->Funktionen, [m] { return field(m->Funktionen, "Titel") == u"Tastatur"; });
            key(Qt::Key_Return);
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Tastatur"));
            group = m->currentGroup();
            QVERIFY(group != 0);
            QVERIFY(tabTo(m->ToolButton6));
            s.on(QStringLiteral("FAnlegen"), [](QWidget *w) {
                auto *d = qobject_cast<TFAnlegen *>(w);
                QCOMPARE(focused(), d->add);
                key(Qt::Key_Space);
                key(Qt::Key_Tab);
                key(Qt::Key_Space);
                key(Qt::Key_Tab);
                key(Qt::Key_Tab);
                QCOMPARE(focused(), d->Print);
                key(Qt::Key_Space);
                key(Qt::Key_Tab);
                QCOMPARE(focused(), d->Button1);
                key(Qt::Key_Return);
            });
            key(Qt::Key_Space);
            QTRY_VERIFY(s.done());
            backTo(m);
            QCOMPARE(m->Funktionen->rowCount(), 3);

            // A user assigned to a function: the function chosen in its grid, Enter on the user.
            QVERIFY(tabTo(m->DBGrid3));
            downUntil(m->Funktionen, [m] { return field(m->Funktionen, "Titel") == u"Ändern"; });
            QVERIFY(tabTo(m->DBGrid2));
            downUntil(m->UserList, [m] { return field(m->UserList, "User") == u"kuser"; });
            key(Qt::Key_Return);
            QCOMPARE(m->FunktionenBenutzer->rowCount(), 1);
            QCOMPARE(field(m->FunktionenBenutzer, "User"), QStringLiteral("KU"));

            // The group tree: over to it, read it again, open the root and then the new group, and back.
            key(Qt::Key_G, Qt::ControlModifier);
            QTRY_COMPARE(QApplication::activeWindow(), fGruppen);
            QCOMPARE(focused(), fGruppen->Struktur);
            QVERIFY(tabTo(fGruppen->Update));
            key(Qt::Key_Space);
            key(Qt::Key_Tab, Qt::ShiftModifier);
            key(Qt::Key_Home);
            key(Qt::Key_Return);
            QCOMPARE(m->currentGroup(), 0);
            QCOMPARE(m->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
            for (int i = 0; i < 40 && !fGruppen->Struktur->currentItem()->text(0).startsWith(u"Tastatur (");
                 ++i)
                key(Qt::Key_Down);
            key(Qt::Key_Return);
            QCOMPARE(m->currentGroup(), group);
            key(Qt::Key_G, Qt::ControlModifier);
            QTRY_COMPARE(QApplication::activeWindow(), m);

            // The rights overview: Erika Schmidt's rights copied to the new user.
            key(Qt::Key_R, Qt::ControlModifier);
            TFRechte *r = rechteOf(m);
            QVERIFY(r);
            QTRY_COMPARE(QApplication::activeWindow(), r);
            QVERIFY(tabTo(r->Users->filter()));
            typeKeys(QStringLiteral("kuser"));
            key(Qt::Key_Down);
            s.on(QStringLiteral("RechteVon"), [](QWidget *w) {
                auto *sources = w->findChild<QComboBox *>();
                QVERIFY(tabTo(sources));
                for (int i = 0; i < 10 && !sources->currentText().startsWith(u"eschmidt ("); ++i)
                    key(Qt::Key_Down);
                key(Qt::Key_Return);
            });
            answerBoxByKey(s, Qt::Key_J, Qt::AltModifier);
            key(Qt::Key_B, Qt::AltModifier);
            QTRY_VERIFY(s.done());
            backTo(r);
            key(Qt::Key_Escape);
            QTRY_VERIFY(!r->isVisible());
            m->close();
        });
        QVERIFY2(ran, qPrintable(s.pending().join(u',')));

        FileView view(file);
        QCOMPARE(
            view.count(QStringLiteral("select count(*) from Benutzer where User='kuser' and Initialien='KU' "
                                      "and RealName='Karl Unger' and NTUser='kunger'")),
            1);
        QCOMPARE(view.scalar(QStringLiteral("select Passwort from Benutzer where User='kuser'")).toString(),
                 ScramblePasswordText(QStringLiteral("geheim1")));
        QCOMPARE(view.count(QStringLiteral("select count(*) from Funktionen where Titel='Tastatur' and "
                                           "inGruppe=0 and id=%1")
                                .arg(group)),
                 1);
        QCOMPARE(view.count(QStringLiteral("select count(*) from Funktionen where inGruppe=%1 and Titel in "
                                           "('Hinzufügen', 'Ändern', 'Drucken')")
                                .arg(group)),
                 3);
        QCOMPARE(view.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User='KU'")),
                 rightsOfErika + 1);
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
        if (window == u"SLogon") {
            checkThenEscape(s, window, faults);
        } else if (window == u"SPWchange") {
            // The logon goes on after the password change; the file dialog and its error box on the way out.
            logOnByKeys(s, true);
            for (const char *name : {"SPWchange", "Open", "MessageBox"})
                checkThenEscape(s, QString::fromLatin1(name), faults);
        }
        if (!s.done()) {
            const int rc = maindriver::runWith([](TFMain *m) { m->close(); });
            QCOMPARE(rc, 0);
            QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
            return;
        }

        // What opens each of the other windows once the main window is on show; dialogs are checked as
        // they come and leave by Esc.
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
                 key(Qt::Key_Escape);
                 if (rechteOf(m)->isVisible())
                     faults << QStringLiteral("FRechte: Esc does not close it");
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
