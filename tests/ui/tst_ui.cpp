#include "Suites.h"
#include "Words.h"

#include "Busy.h"
#include "ErrorHandler.h"
#include "KeyedWindow.h"
#include "MessageBoxes.h"
#include "PasswordEdit.h"
#include "ResultButton.h"
#include "RoundedShape.h"
#include "StoreError.h"
#include "Win1252Validator.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <functional>
#include <stdexcept>

using testsupport::words;
using ui::ModalResult;
using ui::MsgButton;
using ui::MsgKind;
using ui::MsgResult;

namespace {

// What a message box showed before the test answered it.
struct BoxSeen
{
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttonNames;
    QStringList buttonTexts;
};

// From inside the next modal loop: waits for a message box, records it, and answers it by clicking the
// button with objectName `answer` (or by Escape when `answer` is empty).
void answerNextBox(BoxSeen *seen, const QString &answer)
{
    auto *poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, seen, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            if (++*tries > 200)
                poll->deleteLater();
            return;
        }
        poll->stop();
        poll->deleteLater();
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton *b : box->buttons()) {
            seen->buttonNames << b->objectName();
            seen->buttonTexts << b->text();
        }
        if (box->objectName() != QLatin1String("MessageBox"))
            seen->title.prepend(QStringLiteral("(unnamed box) "));
        if (answer.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        if (auto *button = box->findChild<QAbstractButton *>(answer))
            button->click();
        else
            box->done(0); // never leave a test hanging on a box
    });
    poll->start(10);
}

// Types text the way a keyboard layout delivers it: one key event per character, any character.
void type(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// Runs `step` from inside the next modal loop of `dialog`.
void duringModal(QWidget *dialog, std::function<void()> step)
{
    auto *timer = new QTimer(dialog);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, dialog, [timer, step = std::move(step)] {
        timer->deleteLater();
        step();
    });
    timer->start(0);
}

class ProbeDialog : public ui::ModalDialog
{
public:
    ProbeDialog()
    {
        ok = new ui::ResultButton(QStringLiteral("OK"), ModalResult::OK, this);
        cancel = new ui::ResultButton(QStringLiteral("Abbruch"), ModalResult::Cancel, this);
        cancel->move(100, 0);
        setDefaultButton(ok);
        setCancelButton(cancel);
    }

    ui::ResultButton *ok;
    ui::ResultButton *cancel;
    bool allowClose = true;
    QList<ModalResult> checkedWith; // the result at each close check

protected:
    bool closeQuery() override
    {
        checkedWith << modalResult();
        return allowClose;
    }
};

} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxesShowKindButtonsAndAnswer_data();
    void messageBoxesShowKindButtonsAndAnswer();
    void messageBoxEscapeTakesTheSafeAnswer();
    void plainMessageHasNoIconAndTheProgramTitle();
    void messageBoxIsADialogOfTheWindowOnShow();
    void longWorkShowsTheWaitCursorAndItsStepsWithoutAClick();

    void fullStopRule_data();
    void fullStopRule();
    void errorBoxShowsTheMessageWithFullStop();
    void guardShowsErrorsAndSwallowsAbort();
    void installedHandlerReportsNonUiErrors();

    void resultButtonsCloseThroughTheCloseCheck();
    void refusedCloseKeepsDialogOpenWithResultNone();
    void handlerMayChangeOrKeepResult();
    void failingHandlerStillTriesToClose();
    void escapeEnterAndWindowCloseGoThroughTheSamePath();

    void keyedWindowPaintsOnlyItsBody();
    void keyedWindowIsCentredAndDraggable();

    void passwordEditShowsMaskCharacter();
    void win1252GuardRefusesForeignCharacters();
};

void TestUi::messageBoxesShowKindButtonsAndAnswer_data()
{
    QTest::addColumn<MsgKind>("kind");
    QTest::addColumn<ui::Buttons>("buttons");
    QTest::addColumn<QString>("click");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<MsgResult>("result");

    QTest::newRow("error OK") << MsgKind::Error << ui::Buttons(MsgButton::OK) << "OK"
                              << "Fehler" << int(QMessageBox::Critical) << words({"OK"}) << MsgResult::OK;
    QTest::newRow("warning Cancel only")
        << MsgKind::Warning << ui::Buttons(MsgButton::Cancel) << "Cancel"
        << "Warnung" << int(QMessageBox::Warning) << words({"Abbrechen"}) << MsgResult::Cancel;
    QTest::newRow("information") << MsgKind::Information << ui::Buttons(MsgButton::OK) << "OK"
                                 << "Information" << int(QMessageBox::Information) << words({"OK"})
                                 << MsgResult::OK;
    QTest::newRow("question yes") << MsgKind::Confirmation << (MsgButton::Yes | MsgButton::No) << "Yes"
                                  << "Bestätigung" << int(QMessageBox::Question) << words({"&Ja", "&Nein"})
                                  << MsgResult::Yes;
    QTest::newRow("question no") << MsgKind::Confirmation << (MsgButton::Yes | MsgButton::No) << "No"
                                 << "Bestätigung" << int(QMessageBox::Question) << words({"&Ja", "&Nein"})
                                 << MsgResult::No;
    QTest::newRow("confirm OK/Cancel")
        << MsgKind::Confirmation << (MsgButton::OK | MsgButton::Cancel) << "Cancel"
        << "Bestätigung" << int(QMessageBox::Question) << words({"OK", "Abbrechen"}) << MsgResult::Cancel;
}

void TestUi::messageBoxesShowKindButtonsAndAnswer()
{
    QFETCH(MsgKind, kind);
    QFETCH(ui::Buttons, buttons);
    QFETCH(QString, click);
    BoxSeen seen;
    answerNextBox(&seen, click);
    const MsgResult result = ui::messageDlg(QStringLiteral("Wirklich löschen?"), kind, buttons);

    QVERIFY(seen.shown);
    QTEST(seen.title, "title");
    QTEST(int(seen.icon), "icon");
    QCOMPARE(seen.text, QStringLiteral("Wirklich löschen?"));
    QFETCH(QStringList, texts);
    QCOMPARE(QSet<QString>(seen.buttonTexts.begin(), seen.buttonTexts.end()),
             QSet<QString>(texts.begin(), texts.end()));
    QTEST(result, "result");
}

void TestUi::messageBoxEscapeTakesTheSafeAnswer()
{
    BoxSeen seen;
    answerNextBox(&seen, {});
    QCOMPARE(
        ui::messageDlg(QStringLiteral("Löschen?"), MsgKind::Confirmation, MsgButton::Yes | MsgButton::No),
        MsgResult::No);

    answerNextBox(&seen, {});
    QCOMPARE(
        ui::messageDlg(QStringLiteral("Weiter?"), MsgKind::Confirmation, MsgButton::OK | MsgButton::Cancel),
        MsgResult::Cancel);

    answerNextBox(&seen, {});
    QCOMPARE(ui::messageDlg(QStringLiteral("Hinweis"), MsgKind::Information, MsgButton::OK), MsgResult::OK);
}

void TestUi::plainMessageHasNoIconAndTheProgramTitle()
{
    BoxSeen seen;
    answerNextBox(&seen, QStringLiteral("OK"));
    ui::showMessage(QStringLiteral("Keine Datenbank geöffnet. Programm wird beendet!"));
    QCOMPARE(seen.title, QStringLiteral("Sicherheitsbeschreibungen"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttonNames, words({"OK"}));
    QCOMPARE(seen.text, QStringLiteral("Keine Datenbank geöffnet. Programm wird beendet!"));
}

void TestUi::messageBoxIsADialogOfTheWindowOnShow()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *owner = nullptr;
    Qt::WindowFlags flags;
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->deleteLater();
        owner = box->parentWidget();
        flags = box->windowFlags();
        box->done(0);
    });
    poll->start(10);
    // Even when no window is active, the box belongs to the one on show.
    window.clearFocus();
    ui::showMessage(QStringLiteral("x"));
    QCOMPARE(owner, &window);
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
}

void TestUi::longWorkShowsTheWaitCursorAndItsStepsWithoutAClick()
{
    QWidget window;
    window.show();
    {
        ui::ProgressSteps quiet(&window, QStringLiteral("Datenbank öffnen"), 4, false);
        quiet.step(QStringLiteral("Verbindung …"));
        quiet.step(QStringLiteral("Benutzer werden gelesen …"));
        QVERIFY(!quiet.window());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        // Found long only once under way: shown from the step reached, and on from there.
        quiet.show();
        QVERIFY(quiet.window() && quiet.window()->isVisible());
        QCOMPARE(quiet.window()->labelText(), QStringLiteral("Benutzer werden gelesen …"));
        QCOMPARE(quiet.window()->value(), 1);
        quiet.step(QStringLiteral("Funktionen werden gelesen …"));
        QCOMPARE(quiet.window()->value(), 2);
    }
    QVERIFY(!QGuiApplication::overrideCursor());
    QPointer<QProgressDialog> shown;
    {
        ui::ProgressSteps progress(&window, QStringLiteral("Datenbank öffnen"), 4, true);
        progress.step(QStringLiteral("Benutzer werden gelesen …"));
        progress.step(QStringLiteral("Funktionen werden gelesen …"));
        shown = progress.window();
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(shown->objectName(), QStringLiteral("Progress"));
        QCOMPARE(shown->labelText(), QStringLiteral("Funktionen werden gelesen …"));
        QCOMPARE(shown->value(), 1);
        QVERIFY(shown->findChildren<QPushButton *>().isEmpty()); // nothing to click
        QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
        QVERIFY(shown->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/progress.png")));
        QVERIFY(!shown->isModal() || !shown->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    }
    QVERIFY(!shown);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(!ui::isLargeDatabase(1024 * 1024));
    QVERIFY(ui::isLargeDatabase(200 * 1024 * 1024));
}

void TestUi::fullStopRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("letter") << "Fehler"
                            << "Fehler.";
    QTest::newRow("digit") << "Fehler 42"
                           << "Fehler 42.";
    QTest::newRow("full stop") << "Fehler."
                               << "Fehler.";
    QTest::newRow("exclamation") << "Unbekannt!"
                                 << "Unbekannt!";
    QTest::newRow("question sorts after") << "Wirklich?"
                                          << "Wirklich?.";
    QTest::newRow("slash just after") << "a/b/"
                                      << "a/b/.";
    QTest::newRow("hyphen just before") << "Ende -"
                                        << "Ende -";
    QTest::newRow("bracket") << "Wert (leer)"
                             << "Wert (leer)";
    QTest::newRow("blank") << "Fehler "
                           << "Fehler ";
    QTest::newRow("umlaut") << "Größe"
                            << "Größe.";
    QTest::newRow("euro") << "5 €"
                          << "5 €.";
}

void TestUi::fullStopRule()
{
    QFETCH(QString, text);
    QTEST(ui::withFullStop(text), "shown");
}

void TestUi::errorBoxShowsTheMessageWithFullStop()
{
    BoxSeen seen;
    answerNextBox(&seen, QStringLiteral("OK"));
    ui::showError(store::StoreError(QStringLiteral("UserList: Feld 'User' darf nicht leer sein")));
    QCOMPARE(seen.title, QStringLiteral("Sicherheitsbeschreibungen"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttonNames, words({"OK"}));
    QCOMPARE(seen.text, QStringLiteral("UserList: Feld 'User' darf nicht leer sein."));

    // Other errors are read as UTF-8.
    seen = {};
    answerNextBox(&seen, QStringLiteral("OK"));
    ui::showError(std::runtime_error("Datei für Größe nicht gefunden"));
    QCOMPARE(seen.text, QStringLiteral("Datei für Größe nicht gefunden."));

    QCOMPARE(ui::errorText(store::StoreError(QStringLiteral("AVI kann nicht geöffnet werden"))),
             QStringLiteral("AVI kann nicht geöffnet werden."));
}

void TestUi::guardShowsErrorsAndSwallowsAbort()
{
    bool ranToEnd = false;
    QVERIFY(ui::guarded([&] { ranToEnd = true; }));
    QVERIFY(ranToEnd);

    // Abort: silent. A box would be left unanswered and end this test with a timeout.
    QVERIFY(!ui::guarded([] { throw store::Abort(); }));
    QVERIFY(!QApplication::activeModalWidget());

    BoxSeen seen;
    answerNextBox(&seen, QStringLiteral("OK"));
    bool after = false;
    QVERIFY(!ui::guarded([&] {
        throw store::StoreError(QStringLiteral("Verbindung verloren"));
        after = true; // NOLINT: shows the rest of the step is skipped
    }));
    QVERIFY(!after);
    QCOMPARE(seen.text, QStringLiteral("Verbindung verloren."));

    seen = {};
    answerNextBox(&seen, QStringLiteral("OK"));
    QVERIFY(!ui::guarded([] { throw 42; }));
    QVERIFY(seen.shown);
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QVERIFY(!seen.text.isEmpty());
}

void TestUi::installedHandlerReportsNonUiErrors()
{
    ui::installErrorHandler();
    BoxSeen seen;
    answerNextBox(&seen, QStringLiteral("OK"));
    store::reportError(store::StoreError(QStringLiteral("Tabelle fehlt")));
    QCOMPARE(seen.text, QStringLiteral("Tabelle fehlt."));
    store::reportError(store::Abort()); // silent, or the test would hang on the box
    store::setErrorReporter({});
}

void TestUi::resultButtonsCloseThroughTheCloseCheck()
{
    ProbeDialog dialog;
    duringModal(&dialog, [&] { dialog.ok->click(); });
    QCOMPARE(dialog.showModal(), ModalResult::OK);
    QCOMPARE(dialog.checkedWith, QList<ModalResult>{ModalResult::OK});
    QVERIFY(!dialog.isVisible());

    // Shown again: the result starts from None.
    dialog.checkedWith.clear();
    duringModal(&dialog, [&] {
        QCOMPARE(dialog.modalResult(), ModalResult::None);
        dialog.cancel->click();
    });
    QCOMPARE(dialog.showModal(), ModalResult::Cancel);
    QCOMPARE(dialog.checkedWith, QList<ModalResult>{ModalResult::Cancel});
}

void TestUi::refusedCloseKeepsDialogOpenWithResultNone()
{
    ProbeDialog dialog;
    dialog.allowClose = false;
    bool stayedOpen = false;
    ModalResult resultAfterRefusal = ModalResult::OK;
    duringModal(&dialog, [&] {
        dialog.ok->click();
        stayedOpen = dialog.isVisible();
        resultAfterRefusal = dialog.modalResult();
        dialog.allowClose = true;
        dialog.ok->click();
    });
    QCOMPARE(dialog.showModal(), ModalResult::OK);
    QVERIFY(stayedOpen);
    QCOMPARE(resultAfterRefusal, ModalResult::None);
    QCOMPARE(dialog.checkedWith.size(), 2);
}

void TestUi::handlerMayChangeOrKeepResult()
{
    ProbeDialog dialog;
    QList<ModalResult> seenByHandler;
    dialog.ok->onClick([&] {
        seenByHandler << dialog.modalResult();
        dialog.setModalResult(ModalResult::Cancel);
    });
    duringModal(&dialog, [&] { dialog.ok->click(); });
    QCOMPARE(dialog.showModal(), ModalResult::Cancel);
    QCOMPARE(seenByHandler, QList<ModalResult>{ModalResult::OK}); // set before the handler ran
    QCOMPARE(dialog.checkedWith, QList<ModalResult>{ModalResult::Cancel});

    // A handler that puts the result back to None keeps the dialog open without asking the close check.
    ProbeDialog stays;
    int presses = 0;
    stays.ok->onClick([&] {
        if (++presses == 1)
            stays.setModalResult(ModalResult::None);
    });
    bool open = false;
    duringModal(&stays, [&] {
        stays.ok->click();
        open = stays.isVisible();
        stays.ok->click();
    });
    QCOMPARE(stays.showModal(), ModalResult::OK);
    QVERIFY(open);
    QCOMPARE(stays.checkedWith.size(), 1);
}

void TestUi::failingHandlerStillTriesToClose()
{
    ProbeDialog dialog;
    bool secondHandlerRan = false;
    dialog.ok->onClick([] { throw store::StoreError(QStringLiteral("UserSQL: Abfrage fehlgeschlagen")); });
    dialog.ok->onClick([&] { secondHandlerRan = true; });
    BoxSeen seen;
    duringModal(&dialog, [&] {
        answerNextBox(&seen, QStringLiteral("OK"));
        dialog.ok->click();
    });
    QCOMPARE(dialog.showModal(), ModalResult::OK);
    QCOMPARE(seen.text, QStringLiteral("UserSQL: Abfrage fehlgeschlagen."));
    QVERIFY(secondHandlerRan);

    // A close check that fails with an error refuses: the dialog stays open.
    class ThrowingCheck : public ProbeDialog
    {
    public:
        bool failNext = true;

    protected:
        bool closeQuery() override
        {
            if (std::exchange(failNext, false))
                throw store::StoreError(QStringLiteral("Prüfung fehlgeschlagen"));
            return true;
        }
    } checked;
    bool open = false;
    duringModal(&checked, [&] {
        answerNextBox(&seen, QStringLiteral("OK"));
        checked.ok->click();
        open = checked.isVisible() && checked.modalResult() == ModalResult::None;
        checked.cancel->click();
    });
    QCOMPARE(checked.showModal(), ModalResult::Cancel);
    QVERIFY(open);
}

void TestUi::escapeEnterAndWindowCloseGoThroughTheSamePath()
{
    ProbeDialog dialog;
    bool cancelHandlerRan = false;
    dialog.cancel->onClick([&] { cancelHandlerRan = true; });
    duringModal(&dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.showModal(), ModalResult::Cancel);
    QVERIFY(cancelHandlerRan);
    QCOMPARE(dialog.checkedWith, QList<ModalResult>{ModalResult::Cancel});

    dialog.checkedWith.clear();
    duringModal(&dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
    QCOMPARE(dialog.showModal(), ModalResult::OK);

    // The window manager's close: Cancel, through the close check, which may refuse.
    dialog.checkedWith.clear();
    dialog.allowClose = false;
    bool open = false;
    duringModal(&dialog, [&] {
        dialog.close();
        open = dialog.isVisible() && dialog.modalResult() == ModalResult::None;
        dialog.allowClose = true;
        dialog.close();
    });
    QCOMPARE(dialog.showModal(), ModalResult::Cancel);
    QVERIFY(open);
    QCOMPARE(dialog.checkedWith, (QList<ModalResult>{ModalResult::Cancel, ModalResult::Cancel}));
}

void TestUi::keyedWindowPaintsOnlyItsBody()
{
    ui::KeyedWindow window(QSize(284, 154), QRect(0, 0, 281, 151), QSize(37, 37));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));
    auto *shape = window.findChild<ui::RoundedShape *>(QStringLiteral("Shape1"));
    QVERIFY(shape);
    QCOMPARE(shape->geometry(), QRect(0, 0, 281, 151));
    QCOMPARE(window.size(), QSize(284, 154));

    const QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
    QVERIFY(image.save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/keyed-window.png")));

    QCOMPARE(image.size(), QSize(284, 154));
    for (const QPoint corner : {QPoint(0, 0), QPoint(280, 0), QPoint(0, 150), QPoint(280, 150), QPoint(3, 3)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    // Outside the body (the window is 3 pixels larger) nothing either.
    QCOMPARE(qAlpha(image.pixel(282, 75)), 0);
    QCOMPARE(qAlpha(image.pixel(140, 152)), 0);
    QCOMPARE(image.pixel(140, 75), qRgb(192, 192, 192));
    QCOMPARE(image.pixel(0, 75), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(280, 75), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(140, 150), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(140, 151), qRgba(0, 0, 0, 0));

    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            // Only fully clear, or exactly the body's colours: no blend with the key colour anywhere.
            QVERIFY2(qAlpha(p) == 0 || p == qRgb(192, 192, 192) || p == qRgb(0, 0, 0),
                     qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(p, 8, 16)));
        }
    }
    // The same holds for the mask that shapes the window where nothing is composited.
    QVERIFY(!window.mask().contains(QPoint(0, 0)));
    QVERIFY(window.mask().contains(QPoint(140, 75)));
    QVERIFY(window.mask().contains(QPoint(0, 75)));
}

void TestUi::keyedWindowIsCentredAndDraggable()
{
    ui::KeyedWindow window(QSize(254, 140), QRect(0, 0, 251, 136), QSize(34, 34));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect screen = window.screen()->geometry();
    QVERIFY(qAbs(window.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window.geometry().center().y() - screen.center().y()) <= 1);

    const QPoint start = window.pos();
    const QPoint grip(100, 120);
    const auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, window.mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    send(QEvent::MouseMove, grip + QPoint(30, -20), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, grip + QPoint(30, -20), Qt::NoButton);
    QCOMPARE(window.pos(), start + QPoint(30, -20));
    // Frameless, it has no task-bar entry: it stays on top so that it cannot get lost.
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestUi::passwordEditShowsMaskCharacter()
{
    ui::PasswordEdit edit;
    QCOMPARE(edit.maskChar(), QChar(u'?'));
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("geHeim"));
    QCOMPARE(edit.text(), QStringLiteral("geHeim"));
    QCOMPARE(edit.displayText(), QStringLiteral("??????"));

    edit.setMaskChar(QChar(0xA4));
    QCOMPARE(edit.displayText(), QString(6, QChar(0xA4)));
    QTest::keyClick(&edit, Qt::Key_X);
    QCOMPARE(edit.displayText(), QString(7, QChar(0xA4))); // the last key is not shown in clear either
    QCOMPARE(edit.text(), QStringLiteral("geHeimx"));

    type(&edit, QStringLiteral("Ω")); // would reach the database as "?"
    QCOMPARE(edit.text(), QStringLiteral("geHeimx"));
}

void TestUi::win1252GuardRefusesForeignCharacters()
{
    QLineEdit edit;
    ui::Win1252Validator *validator = ui::guardWin1252(&edit);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));

    type(&edit, QStringLiteral("Müß€"));
    QCOMPARE(edit.text(), QStringLiteral("Müß€"));
    QVERIFY(!validator->lastRefused());

    type(&edit, QStringLiteral("Ω"));
    QCOMPARE(edit.text(), QStringLiteral("Müß€"));
    QVERIFY(validator->lastRefused());
    QCOMPARE(QToolTip::text(), ui::win1252Hint());

    // A paste holding one foreign character inserts nothing at all rather than a shortened text.
    edit.insert(QStringLiteral("ab→c"));
    QCOMPARE(edit.text(), QStringLiteral("Müß€"));
    edit.insert(QStringLiteral("abc"));
    QCOMPARE(edit.text(), QStringLiteral("Müß€abc"));

    // Text from the program may hold such characters; the user can still edit around and delete them.
    edit.setText(QStringLiteral("Ωmega"));
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClicks(&edit, QStringLiteral("!"));
    QCOMPARE(edit.text(), QStringLiteral("Ωmega!"));
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QCOMPARE(edit.text(), QStringLiteral("mega!"));
    type(&edit, QStringLiteral("Ω"));
    QCOMPARE(edit.text(), QStringLiteral("mega!"));
}

int runUiTests(int argc, char **argv)
{
    TestUi t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_ui.moc"
