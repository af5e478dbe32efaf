#pragma once

#include "AviWriter.h"

// The logon's animation: a golden key on the dialog's silver, turning about its shaft while a glint runs
// along it. 64 x 64 pixels, 16 frames at 10 frames per second.
PalettedClip drawKeyAnimation();
