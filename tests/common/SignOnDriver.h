#pragma once

// Drives modal dialogs the way a user does: waits for the next modal window, then types and presses.

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace driver {

// A message box as the user saw it.
struct Box
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// A queue of user steps. Each waits until the active modal window is the one named, then acts on it. The
// action runs from the event loop, never from inside the polling timer, so that a dialog it opens can be
// driven by the next step. A script that gets stuck closes every modal window after a few seconds and
// reports itself as timed out, so that a test never hangs.
//
// A failed check ends the run at once: as soon as the running test has failed (in a step, or in code the
// test runs inside a window's event loop), every modal window is closed and every window of the program
// with it, so the test returns and reports its failure instead of waiting for the time-out.
class Script : public QObject
{
public:
    Script();
    ~Script() override;

    Script &on(const QString &window, std::function<void(QWidget *)> act);
    // Records the next message box and presses the button of that name: "OK", "Yes", "No" or "Cancel".
    Script &answerBox(const QString &button = QStringLiteral("OK"));
    // Records the next message box and runs `also` on it (a look at it, a screenshot) before pressing.
    Script &answerBox(const QString &button, std::function<void(QMessageBox *)> also);

    bool done() const { return m_steps.empty(); }
    bool timedOut() const { return m_timedOut; }
    // Steps not reached, by window name.
    QStringList pending() const;

    QList<Box> boxes;

private:
    struct Step
    {
        QString window;
        std::function<void(QWidget *)> act;
    };
    void tick();

    std::deque<Step> m_steps;
    QTimer m_poll;
    QElapsedTimer m_clock;
    bool m_busy = false;
    bool m_timedOut = false;
};

// Closes every modal window without its close check, then every other window: the event loops of the
// program end and the test regains control.
void closeEverything();

// Types the characters one key event each, as a keyboard layout would deliver them.
void type(QWidget *edit, const QString &text);
// Presses a push button with the mouse.
void press(QWidget *window, const QString &buttonName);
// Types into the edit of that name: first selects everything, so the text replaces what was there.
void fill(QWidget *window, const QString &editName, const QString &text);

} // namespace driver
