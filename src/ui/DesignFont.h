#pragma once

#include <QFont>
#include <QString>

namespace ui {

// The font a window was designed with, or the closest installed stand-in.
//
// The designed family is used when installed. Otherwise, for "MS Sans Serif" and "Arial", the first
// installed of the metric-compatible families takes its place (Microsoft Sans Serif, Liberation Sans,
// Arimo, Arial), then DejaVu Sans Condensed, whose widths come closest among the fonts every Debian system
// has. The size stays in points as designed.
QFont designFont(const QString &family, int pointSize);

} // namespace ui
