#pragma once

// The sign-on services that need no window: the password scrambling and the account name.

#include <QByteArray>
#include <QString>

// The byte-wise transform in which every password is stored and compared: each byte XOR 0x3E. It is its
// own inverse, keeps the length, and may produce any byte, the byte 0 included.
QByteArray ScramblePassword(const QByteArray &password);

// The same on wide text, through the Windows-1252 boundary (lossless for all 256 byte values).
QString ScramblePasswordText(const QString &password);

// The name of the account the program runs under (the effective user), at most 127 bytes; empty when the
// system cannot tell.
QByteArray CurrentAccountName();
