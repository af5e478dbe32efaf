#pragma once

#include <QFont>
#include <QString>

namespace ui {

// A window's font by family and size in points, or the closest installed stand-in.
//
// The family asked for is used when installed. Otherwise, for "MS Sans Serif" and "Arial", the first
// installed of the metric-compatible families takes its place (Microsoft Sans Serif, Liberation Sans,
// Arimo, Arial), then DejaVu Sans Condensed, whose widths come closest among the fonts every Debian system
// has. The size stays in points, whatever the stand-in.
QFont designFont(const QString &family, int pointSize);

} // namespace ui
