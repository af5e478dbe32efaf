#pragma once

#include <QIcon>

namespace ui {

// The program's icon for its windows, in every size the desktop entry installs, drawn from the same art as
// the installed icon files. Needs a QGuiApplication (the icon holds pixmaps).
QIcon appIcon();

} // namespace ui
