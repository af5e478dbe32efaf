#pragma once

// How the record set's parts compare and read values; for the store's own sources.

#include "Quoted.h"

#include <QString>
#include <QVariant>

namespace store {

// Reads a truth value written as text ("Wahr", "True", "1", "-1", their opposites); *ok is false for any
// other text.
bool parseBool(const QString &text, bool *ok);

// Whether two values of a field are the same as the field reads them: empty equals only empty, and text
// compares as text.
bool sameValue(const QVariant &a, const QVariant &b);

} // namespace store
