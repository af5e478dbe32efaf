#pragma once

// The program's main window, started on a file the way an administrator starts it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class TFMain;
class TSData;
class QWidget;

namespace pages {

// Makes DIR the program's folder with a security file in its system folder, so that the logon has
// someone to sign on ("admin" / "admin"), and the logon's clip beside it.
void prepareProgramFolder(const QString &dir);

// Answers the logon and the file dialog once each, and ends the run at once on any message box: an error
// box in the middle of a timed case would otherwise wait for a click forever.
class Dialogs : public QObject
{
public:
    // A start-up timed as a whole wants the dialogs answered at once (0); cases timed between the event
    // loop's turns want the looking rare.
    explicit Dialogs(int pollMs = 20);
    void pickFile(const QString &file) { m_file = file; }

private:
    void look();

    QTimer m_poll;
    QString m_file;
    QPointer<QWidget> m_answered;
};

// The session and the main window, opened on FILE through the logon and the file dialog; throws when the
// start-up did not get that far. The window is shown (offscreen) on the page asked for.
class Window
{
public:
    Window(Dialogs &dialogs, const QString &file);
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    TFMain &main() const { return *m_main; }
    void showPage(QWidget *page);

private:
    std::unique_ptr<TSData> m_session;
    std::unique_ptr<TFMain> m_main;
};

// Lets the window catch up: repaints, the grids following their sets, queued follow-ups.
void settle();

} // namespace pages
