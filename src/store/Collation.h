#pragma once

#include <QString>
#include <QStringList>

namespace store {

// How the store compares and sorts text: case-insensitive for every letter of Windows-1252 (so "müller"
// equals "MÜLLER"), ordered as a German dictionary orders words ("Ändern" next to "Andern", "ß" as "ss").
// Letters that differ in more than case (a and ä) are still different values.
//
// It is registered on each connection under kCollationName and named only in the statements we send,
// never in a file's schema, so that stock SQLite tools can still read every file.
namespace Collation {

inline constexpr const char *kCollationName = "SICHERHEIT_DE";

// <0, 0 or >0, like strcmp.
int compare(const QString &a, const QString &b);
int compareUtf8(const char *a, int aLen, const char *b, int bLen);

// The same comparison on a PostgreSQL server, as two SQL functions made from the weights above for every
// character of Windows-1252: kServerLower(t) is the text in lower case, and kServerPrimary(t) also without
// accents, ß as ss. Two texts are equal exactly when their kServerLower values are, and sort as
// (kServerPrimary, kServerLower) sort byte by byte (COLLATE "C"). The statements create or replace both.
inline constexpr const char *kServerLower = "sicherheit_lower";
inline constexpr const char *kServerPrimary = "sicherheit_primary";
QStringList serverFunctions();

} // namespace Collation
} // namespace store
