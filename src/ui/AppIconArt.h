#pragma once

#include <QImage>

#include <array>

// The program's icon, drawn in one place for the icon files of the desktop and for the windows at run time:
// a teal shield with a silver rim, the logon's colours, carrying the golden key of its animation.
namespace appicon {

// The sizes installed for the desktop; the windows get the same set.
inline constexpr std::array<int, 6> kSizes{16, 32, 48, 64, 128, 256};

// The icon as a square ARGB image of `side` pixels, transparent around the shield. Needs no application
// object, so the build-time tool can call it.
QImage draw(int side);

} // namespace appicon
