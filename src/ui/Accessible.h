#pragma once

// What assistive technology says about a control beyond its caption: a name where no caption or label
// names it, a description where the name alone does not say what it does, and for lists and grids how many
// rows they hold. The captions, texts and object names on the screen are never touched.

#include <QString>

class QAbstractItemView;
class QWidget;

namespace ui {

// Gives the control its accessible name and, when not empty, its description.
void nameControl(QWidget *control, const QString &name, const QString &description = QString());

// Names a list or grid and keeps its description at "<name>, N Zeilen" while rows come and go, so that a
// screen reader says how long the list is when it is entered. Its model must be set and stay the same.
void nameRows(QAbstractItemView *view, const QString &name);

// "Benutzer, 1 Zeile", "Benutzer, 4 Zeilen".
QString rowsDescription(const QString &name, int rows);

} // namespace ui
