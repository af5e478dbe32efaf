#pragma once

// Runs the whole program against real files and lets a test act on the main window as a user would.

#include "SignOnDriver.h"

#include "Connection.h"
#include "RecordSet.h"

#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>

class TFMain;
class QAbstractButton;
class QWidget;

namespace ui {
class DBEdit;
class DBGrid;
} // namespace ui

namespace maindriver {

// Runs the program; `shown` runs once the main window is on the screen and should close it (a failed check
// closes it by itself). Returns the program's exit code.
int runWith(const std::function<void(TFMain *)> &shown);

void logOn(driver::Script &s, const QString &user, const QString &password);
// As a user does: the full path typed into the name field, then Enter.
void chooseFile(driver::Script &s, const QString &path);

// Logs on as the demo's administrator, opens `file`, runs `act` on the shown and active main window, then
// closes it. Returns false (with the failure recorded) when the program did not get that far.
bool withMain(driver::Script &s, const QString &file, const std::function<void(TFMain *)> &act);

void screenshot(QWidget *w, const QString &name);

// A program folder in a temporary place: system/user.mdb with the demo's users and key.avi beside it.
// The program is pointed at it; every test opens a demo file of its own in it.
class DemoFolder
{
public:
    // Makes the folder and points the program at it; false (with the failure recorded) when it cannot.
    bool setUp();
    // A new demo User.mdb in a subfolder of its own.
    QString freshDemo();
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    int m_files = 0;
};

// The button of a window that shows that text.
QAbstractButton *buttonCalled(QWidget *w, const QString &text);
// Answers the text-input dialog: looks at it (into `seen`), types the text and leaves with the named button.
void answerInput(driver::Script &s, const QString &text, const QString &button, QStringList *seen = nullptr);
// Answers the standard rights dialog: ticks the boxes named and presses the button named ("close" closes it).
void answerRights(driver::Script &s, const QStringList &boxes, const QString &button);

// The first row on show whose field holds the text; -1 when there is none.
int rowOf(store::RecordSet *set, const char *field, const QString &text);

// A user's mouse on a grid: a click, or a double click, on the cell of that row and column.
void clickRow(ui::DBGrid *grid, int row, int column = 0);
void doubleClickRow(ui::DBGrid *grid, int row, int column = 0);

// Gives the widget the keyboard focus as a click or Tab would, so that leaving it later counts.
void focus(QWidget *w);
// Puts the current user on the row whose User is `name`, as a click in the users grid does.
void selectUser(TFMain *m, const QString &name);
// Replaces an edit's text as a user does: into it, select all, type (an empty text deletes).
void retype(ui::DBEdit *edit, const QString &text);

// A second connection on the file, as another program would read it.
struct FileView
{
    explicit FileView(const QString &file);
    QVariant scalar(const QString &sql);
    int count(const QString &sql) { return scalar(sql).toInt(); }
    // Another program's rule that refuses every change of that kind ("INSERT", "DELETE") to the table,
    // on a file or on a server.
    void refuse(const QString &event, const QString &table);
    store::Connection conn;
};

} // namespace maindriver
