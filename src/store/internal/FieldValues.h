#pragma once

// How the record set's parts compare and read values; for the store's own sources.

#include "Quoted.h"
#include "RecordSet.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace store {

// Reads a truth value written as text (the program's truth words, "True", "1", "-1", their opposites); *ok
// is false for any other text.
bool parseBool(const QString &text, bool *ok);

// Whether two values of a field are the same as the field reads them: empty equals only empty, and text
// compares as text.
bool sameValue(const QVariant &a, const QVariant &b);

// The number of the field of that name, in any letter case; -1 where there is none.
int indexOfField(const std::vector<FieldDef> &fields, const QString &name);

// A value as a field reads it as text: empty for an empty field, a truth value in the program's words.
QString textOf(const QVariant &value);
// A value as a field reads it as an integer: 0 for an empty field, a text by its digits; false when a text
// holds no integer.
bool integerOf(const QVariant &value, qint32 *integer);
QString invalidInteger(const QVariant &value, const QString &field);

} // namespace store
