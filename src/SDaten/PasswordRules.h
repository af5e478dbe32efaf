#pragma once

// What a new password must be. Needs no window, so that the tools which make users hold to it as well.

// The shortest password accepted, in characters (bytes of the 8-bit text).
inline constexpr int kMinPasswordLength = 5;
