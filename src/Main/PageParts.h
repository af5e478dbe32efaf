#pragma once

// Small builders the pages of the main window share: tool bars and buttons of fixed size, bound edits.

#include <QIcon>
#include <QString>
#include <Qt>

class QToolBar;
class QToolButton;
class QWidget;

namespace ui {
class DataSource;
class DBEdit;
} // namespace ui

namespace pageparts {

QToolButton *toolButton(QToolBar *bar, const QString &name, const QString &caption, const QIcon &icon,
                        Qt::ToolButtonStyle style);
// A separator button of the given width.
void separator(QToolBar *bar, const QString &name, int width);
QToolBar *flatBar(QWidget *parent, const QString &name);
// The designed height, or more when the text is larger than designed (a desktop's large text): as high as
// one line of the widget's font plus `padding`.
int heightForText(const QWidget *w, int designed, int padding);
// A bound edit, 21 high, at its designed place.
ui::DBEdit *edit(QWidget *parent, const QString &name, ui::DataSource *source, const QString &field, int left,
                 int top, int width);

} // namespace pageparts
