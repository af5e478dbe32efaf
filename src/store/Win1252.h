#pragma once

#include <QByteArray>
#include <QString>

namespace store {

// The boundary between the program's 8-bit text and the wide text held in the database.
//
// Every one of the 256 byte values maps to exactly one character and back, so a scrambled password (which
// may hold any byte, the byte 0 and control bytes included) survives the round trip. The five values
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of the
// same value.
namespace Win1252 {

QString toUnicode(const QByteArray &bytes);

// Characters without a Windows-1252 byte become '?' and clear *ok (when given); all others are exact.
QByteArray fromUnicode(const QString &text, bool *ok = nullptr);

// Whether every character of the text has a Windows-1252 byte.
bool canEncode(const QString &text);
bool canEncode(QChar c);

} // namespace Win1252
} // namespace store
