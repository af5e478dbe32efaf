// Every window as a screen reader meets it: each control has a name, each label beside an edit is tied to
// it, no two controls on show share a name, the grids say how many rows they hold, and a warning is an
// alert that carries its text.

#include "A11yWalk.h"
#include "MainDriver.h"

#include "Accessible.h"
#include "DBGrid.h"
#include "GruppenBaum.h"
#include "ListPanel.h"
#include "Main.h"
#include "Rechte.h"
#include "RecordSet.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

class TestAccessibility : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;
    QHash<QString, QStringList> m_found; // by window, and by page where one page is on show at a time
    QString m_alertRead;                 // role, name and description of the sign-on's warning

    void walk(const QString &where, QWidget *w, QTabWidget *pages = nullptr)
    {
        for (int p = 0; pages && p < pages->count(); ++p) {
            pages->setCurrentIndex(p);
            walk(where + QStringLiteral(": ") + pages->tabText(p), w);
        }
        if (!pages)
            m_found.insert(where, a11ywalk::problems(w));
    }
    // Walks the dialog when it comes up and leaves it with the button of that text.
    void walkDialog(driver::Script &s, const QString &dialog, const QString &leave)
    {
        s.on(dialog, [=, this](QWidget *w) {
            walk(dialog, w);
            QTest::mouseClick(maindriver::buttonCalled(w, leave), Qt::LeftButton);
        });
    }
    static QString said(QWidget *w)
    {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description);
    }

private slots:
    // One run of the program opens every window and dialog and walks each.
    void initTestCase()
    {
        QVERIFY(m_folder.setUp());
        driver::Script s;
        s.on(QStringLiteral("SLogon"), [this](QWidget *w) {
            walk(QStringLiteral("SLogon"), w);
            driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("admin"));
            driver::fill(w, QStringLiteral("Pass"), QStringLiteral("falsch"));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        s.answerBox(QStringLiteral("OK"), [this](QMessageBox *box) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(box);
            m_alertRead = QStringLiteral("%1 %2: %3")
                              .arg(QString::number(a->role()), a->text(QAccessible::Name),
                                   a->text(QAccessible::Description));
        });
        s.on(QStringLiteral("SLogon"), [](QWidget *w) {
            QTest::mouseClick(w->findChild<QWidget *>(QStringLiteral("Pwchange")), Qt::LeftButton);
            driver::fill(w, QStringLiteral("Pass"), QStringLiteral("admin"));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        walkDialog(s, QStringLiteral("SPWchange"), QStringLiteral("Abbruch"));
        maindriver::chooseFile(s, m_folder.freshDemo());
        maindriver::runWith([&](TFMain *m) {
            m->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m));
            walk(QStringLiteral("main"), m, m->PageControl1);
            walk(QStringLiteral("fGruppen"), fGruppen);
            walkDialog(s, QStringLiteral("FAnlegen"), QStringLiteral("Abbruch"));
            m->ToolButton6->click();
            walkDialog(s, QStringLiteral("InputQuery"), QStringLiteral("Abbrechen"));
            m->GroupAdd->click();
            // The grid counts a new row as soon as it is there.
            const int users = m->UserList->rowCount();
            QCOMPARE(said(m->DBGrid1), QStringLiteral("Benutzerliste, %1 Zeilen").arg(users));
            m->UserList->insert();
            QCOMPARE(said(m->DBGrid1), QStringLiteral("Benutzerliste, %1 Zeilen").arg(users + 1));
            m->UserList->cancel();

            m->RechteClick();
            auto *r = m->findChild<TFRechte *>(QStringLiteral("FRechte"));
            QVERIFY(r && QTest::qWaitForWindowExposed(r));
            walk(QStringLiteral("FRechte"), r, r->Views);
            walkDialog(s, QStringLiteral("BerichtDialog"), QStringLiteral("Schließen"));
            r->Bericht->click();
            r->Users->choose(0);
            walkDialog(s, QStringLiteral("RechteVon"), QStringLiteral("Abbrechen"));
            r->RechteUebernehmen->click();
            r->close();
            m->close();
        });
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QCOMPARE(ui::rowsDescription(QStringLiteral("Benutzer"), 1), QStringLiteral("Benutzer, 1 Zeile"));
    }

    void everyControlIsNamedOnce_data()
    {
        QTest::addColumn<QString>("where");
        for (const char *where :
             {"SLogon", "SPWchange", "main: Benutzer", "main: Funktionen", "main: TabSheet3", "fGruppen",
              "FAnlegen", "InputQuery", "FRechte: Nach Benutzer", "FRechte: Nach Funktion",
              "FRechte: Alle Zuordnungen", "FRechte: Prüfung", "FRechte: Verlauf", "BerichtDialog",
              "RechteVon"})
            QTest::newRow(where) << QString::fromUtf8(where);
    }

    void everyControlIsNamedOnce()
    {
        QFETCH(QString, where);
        QVERIFY2(m_found.contains(where), "never walked");
        QVERIFY2(m_found.value(where).isEmpty(), qPrintable(m_found.value(where).join(QStringLiteral("; "))));
    }

    void aWarningIsReadAsAnAlertWithItsText()
    {
        QCOMPARE(m_alertRead, QStringLiteral("%1 Warnung: Falscher Benutzer oder falsches Passwort!")
                                  .arg(int(QAccessible::AlertMessage)));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_a11y.moc"
