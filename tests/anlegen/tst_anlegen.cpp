// The standard rights dialog as a user meets it: shown modally, found as the active modal window and
// operated through its controls with the mouse and the keyboard.

#include "SignOnDriver.h"

#include "Anlegen.h"
#include "ErrorHandler.h"
#include "ResultButton.h"
#include "StandardRights.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <array>
#include <functional>
#include <memory>

using driver::Script;
using ui::ModalResult;

namespace {

const QStringList kAllTitles = {QStringLiteral("Hinzufügen"), QStringLiteral("Ändern"),
                                QStringLiteral("Löschen"), QStringLiteral("Drucken")};

QCheckBox *box(QWidget *window, const QString &name)
{
    return window->findChild<QCheckBox *>(name);
}

QAbstractButton *button(QWidget *window, const QString &name)
{
    return window->findChild<QAbstractButton *>(name);
}

void click(QWidget *window, const QString &name)
{
    QAbstractButton *b = button(window, name);
    QVERIFY2(b, qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton);
}

// Gives the control the focus as a user would reach it, then presses the key there.
void keyOn(QWidget *window, const QString &name, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    auto *target = window->findChild<QWidget *>(name);
    QVERIFY2(target, qPrintable(name));
    target->setFocus(Qt::TabFocusReason);
    QCOMPARE(window->focusWidget(), target);
    QTest::keyClick(target, key, modifiers);
}

QStringList checkedBoxes(QWidget *window)
{
    QStringList names;
    for (const char *name : {"add", "change", "delete", "Print"})
        if (box(window, QString::fromLatin1(name))->isChecked())
            names << QString::fromLatin1(name);
    return names;
}

struct Outcome
{
    ModalResult result = ModalResult::None;
    QStringList titles;
};

// Shows a new dialog modally and lets act play the user on it, the way the functions page uses it: one
// dialog per use, released afterwards. A failed check inside act closes the dialog at once.
void drive(const std::function<void(QWidget *)> &act, Outcome &out)
{
    auto dialog = std::make_unique<TFAnlegen>();
    Script s;
    s.on(QStringLiteral("FAnlegen"), [&](QWidget *w) {
        act(w);
        if (QTest::currentTestFailed() && w->isVisible())
            qobject_cast<QDialog *>(w)->done(0);
    });
    out.result = dialog->showModal();
    out.titles = dialog->checkedTitles();
    dialog.reset();
    QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
    QVERIFY(!QApplication::activeModalWidget());
}

} // namespace

class TestAnlegen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ui::installErrorHandler();
        QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
    }

    // -------------------------------------------------------------------------- size, frame and controls

    void looksAsDesigned()
    {
        Outcome out;
        drive(
            [](QWidget *w) {
                QCOMPARE(w->windowTitle(), QStringLiteral("Standard-Rechte hinzufügen"));
                QCOMPARE(w->size(), QSize(227, 88));
                QCOMPARE(w->minimumSize(), QSize(227, 88));
                QCOMPARE(w->maximumSize(), QSize(227, 88));
                const Qt::WindowFlags flags = w->windowFlags();
                QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
                QVERIFY(flags & Qt::WindowTitleHint);
                QVERIFY(flags & Qt::WindowCloseButtonHint);
                QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                   Qt::WindowContextHelpButtonHint)));
                QVERIFY(w->isModal());

                const QPoint screenCentre = w->screen()->geometry().center();
                QVERIFY((w->frameGeometry().center() - screenCentre).manhattanLength() <= 2);

                struct Control
                {
                    const char *name;
                    QString caption;
                    QRect geometry;
                };
                const std::array<Control, 6> controls = {{
                    {"add", QStringLiteral("Anlegen"), {5, 5, 97, 17}},
                    {"change", QStringLiteral("Ändern"), {5, 25, 97, 17}},
                    {"delete", QStringLiteral("Löschen"), {5, 45, 97, 17}},
                    {"Print", QStringLiteral("Drucken"), {5, 65, 97, 17}},
                    {"Button1", QStringLiteral("OK"), {135, 10, 75, 25}},
                    {"Button2", QStringLiteral("Abbruch"), {135, 40, 75, 25}},
                }};
                for (const Control &c : controls) {
                    const QAbstractButton *b = button(w, QString::fromLatin1(c.name));
                    QVERIFY2(b, c.name);
                    QCOMPARE(b->text(), c.caption);
                    QCOMPARE(b->geometry(), c.geometry);
                }
                QVERIFY(checkedBoxes(w).isEmpty());
                for (const char *name : {"Button1", "Button2"}) {
                    const auto *b = qobject_cast<QPushButton *>(button(w, QString::fromLatin1(name)));
                    QVERIFY2(!b->isDefault(), name);
                }
                QCOMPARE(w->font().pointSize(), 8);

                QVERIFY(w->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/anlegen.png")));
                click(w, QStringLiteral("Button2"));
            },
            out);
        QCOMPARE(out.result, ModalResult::Cancel);
    }

    void tabWalksTheBoxesThenTheButtons()
    {
        Outcome out;
        drive(
            [](QWidget *w) {
                QCOMPARE(w->focusWidget(), button(w, QStringLiteral("add")));
                QStringList visited;
                for (int i = 0; i < 6; ++i) {
                    QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
                    visited << w->focusWidget()->objectName();
                }
                QCOMPARE(visited, QStringList({QStringLiteral("change"), QStringLiteral("delete"),
                                               QStringLiteral("Print"), QStringLiteral("Button1"),
                                               QStringLiteral("Button2"), QStringLiteral("add")}));
                click(w, QStringLiteral("Button1"));
            },
            out);
        QCOMPARE(out.result, ModalResult::OK);
    }

    // ------------------------------------------------------------------------------- OK and its titles

    void okGivesTheTitlesInTheFixedOrder_data()
    {
        QTest::addColumn<QStringList>("clicked");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("nothing checked") << QStringList() << QStringList();
        QTest::newRow("all four, clicked backwards")
            << QStringList({QStringLiteral("Print"), QStringLiteral("delete"), QStringLiteral("change"),
                            QStringLiteral("add")})
            << kAllTitles;
        QTest::newRow("Anlegen creates Hinzufügen")
            << QStringList({QStringLiteral("add")}) << QStringList({QStringLiteral("Hinzufügen")});
        QTest::newRow("Drucken before Ändern still comes after")
            << QStringList({QStringLiteral("Print"), QStringLiteral("change")})
            << QStringList({QStringLiteral("Ändern"), QStringLiteral("Drucken")});
    }

    void okGivesTheTitlesInTheFixedOrder()
    {
        QFETCH(QStringList, clicked);
        QFETCH(QStringList, titles);
        Outcome out;
        drive(
            [&](QWidget *w) {
                for (const QString &name : clicked)
                    click(w, name);
                click(w, QStringLiteral("Button1"));
            },
            out);
        QCOMPARE(out.result, ModalResult::OK);
        QCOMPARE(out.titles, titles);
    }

    // ------------------------------------------------------------------------- ways that create nothing

    void everyOtherWayOutIsCancel_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("Abbruch clicked") << 0;
        QTest::newRow("close button of the title bar") << 1;
        QTest::newRow("Enter on a focused Abbruch") << 2;
    }

    void everyOtherWayOutIsCancel()
    {
        QFETCH(int, way);
        Outcome out;
        drive(
            [&](QWidget *w) {
                for (const char *name : {"add", "change", "delete", "Print"})
                    click(w, QString::fromLatin1(name));
                switch (way) {
                case 0:
                    click(w, QStringLiteral("Button2"));
                    break;
                case 1:
                    QVERIFY(w->windowHandle());
                    w->windowHandle()->close();
                    break;
                default:
                    keyOn(w, QStringLiteral("Button2"), Qt::Key_Return);
                    break;
                }
                QVERIFY(!w->isVisible());
            },
            out);
        QCOMPARE(out.result, ModalResult::Cancel);
    }

    // ------------------------------------------------------------------------------------------- keys

    // Escape cancels from wherever the focus is, with boxes ticked or not.
    void escapeCancels_data()
    {
        QTest::addColumn<QString>("focus");
        for (const char *name : {"add", "change", "Button1", "Button2", "Print"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void escapeCancels()
    {
        QFETCH(QString, focus);
        Outcome out;
        drive(
            [&](QWidget *w) {
                click(w, QStringLiteral("change"));
                keyOn(w, focus, Qt::Key_Escape);
                QVERIFY(!w->isVisible());
            },
            out);
        QCOMPARE(out.result, ModalResult::Cancel);
    }

    void enterOnACheckBoxDoesNothing_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        for (const char *name : {"add", "change", "delete", "Print"}) {
            QTest::addRow("Return on %s", name) << QString::fromLatin1(name) << int(Qt::Key_Return) << 0;
            QTest::addRow("keypad Enter on %s", name)
                << QString::fromLatin1(name) << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        }
    }

    void enterOnACheckBoxDoesNothing()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Outcome out;
        drive(
            [&](QWidget *w) {
                // Visit the OK button first: a button that once had the focus must not keep Enter.
                keyOn(w, QStringLiteral("Button1"), Qt::Key_Tab);
                keyOn(w, focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
                QVERIFY(w->isVisible());
                QVERIFY(checkedBoxes(w).isEmpty());
                // Then Enter on the focused OK button presses it.
                keyOn(w, QStringLiteral("Button1"), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            },
            out);
        QCOMPARE(out.result, ModalResult::OK);
    }

    // --------------------------------------------------------------------------------- one per use

    void eachUseStartsUncheckedAndIsReleased()
    {
        QWidget owner;
        for (int use = 0; use < 2; ++use) {
            auto dialog = std::make_unique<TFAnlegen>(&owner);
            Script s;
            s.on(QStringLiteral("FAnlegen"), [&](QWidget *w) {
                QVERIFY(checkedBoxes(w).isEmpty());
                for (const char *name : {"add", "change", "delete", "Print"})
                    click(w, QString::fromLatin1(name));
                click(w, QStringLiteral("Button1"));
                if (QTest::currentTestFailed() && w->isVisible())
                    qobject_cast<QDialog *>(w)->done(0);
            });
            QCOMPARE(dialog->showModal(), ModalResult::OK);
            QCOMPARE(dialog->checkedTitles(), kAllTitles);
            dialog.reset();
            QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
            QVERIFY(!owner.findChild<TFAnlegen *>());
        }
    }

    // ------------------------------------------------------------------------- the rule without widgets

    void titlesFollowTheFixedOrderWhateverIsChosen()
    {
        QCOMPARE(standardRightTitles({}), QStringList());
        QCOMPARE(standardRightTitles({.add = true, .change = true, .remove = true, .print = true}),
                 kAllTitles);
        QCOMPARE(standardRightTitles({.remove = true, .print = true}),
                 QStringList({QStringLiteral("Löschen"), QStringLiteral("Drucken")}));
        QCOMPARE(standardRightTitles({.add = true, .print = true}),
                 QStringList({QStringLiteral("Hinzufügen"), QStringLiteral("Drucken")}));
    }
};

QTEST_MAIN(TestAnlegen)
#include "tst_anlegen.moc"
