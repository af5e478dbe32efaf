#pragma once

// Runs the whole program against real files and lets a test act on the main window as a user would.

#include "SignOnDriver.h"

#include "Connection.h"

#include <QPoint>
#include <QString>
#include <QVariant>

#include <functional>

class TFMain;
class QWidget;

namespace ui {
class DBGrid;
}

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

// A user's mouse on a grid: a click, or a double click, on the cell of that row and column.
void clickRow(ui::DBGrid *grid, int row, int column = 0);
void doubleClickRow(ui::DBGrid *grid, int row, int column = 0);
// Gives the widget the keyboard focus as a click or Tab would, so that leaving it later counts.
void focus(QWidget *w);

// A second connection on the file, as another program would read it.
struct FileView
{
    explicit FileView(const QString &file);
    QVariant scalar(const QString &sql);
    int count(const QString &sql) { return scalar(sql).toInt(); }
    store::Connection conn;
};

} // namespace maindriver
