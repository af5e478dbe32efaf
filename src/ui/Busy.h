#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QWidget;

namespace ui {

// The wait cursor for as long as the object lives: work that may take longer than a moment on the one
// user-interface thread shows it, so that a still window does not look hung.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// A progress window for long work done in steps on the user-interface thread, with a wait cursor. It needs
// no click: it has no button and closes itself when the object goes. Each step names what comes next and
// lets the window paint, without letting the user act in between.
//
// Shown only when asked for: the caller knows whether the work is long (a large file), and a window that
// flashes up for a fraction of a second is worse than none.
class ProgressSteps
{
public:
    ProgressSteps(QWidget *parent, const QString &caption, int steps, bool show);
    ~ProgressSteps();
    ProgressSteps(const ProgressSteps &) = delete;
    ProgressSteps &operator=(const ProgressSteps &) = delete;

    void step(const QString &what);
    // Shows the window from now on, at the step reached, where it turned out late that the work is long.
    void show();
    // The window, while it is shown; null otherwise. Named "Progress".
    QProgressDialog *window() const { return m_dialog.data(); }

private:
    WaitCursor m_wait;
    QPointer<QWidget> m_parent;
    QString m_caption;
    int m_steps;
    QPointer<QProgressDialog> m_dialog;
    int m_done = 0;
    QString m_current; // what the step reached is doing
};

// Whether opening a database file of that size is long enough to show its progress: about a second of
// reading on a modest machine.
bool isLargeDatabase(qint64 bytes);

} // namespace ui
