#pragma once

// What a field of a record set is: its name, its type and its size. Kept apart from the record set, so that
// whoever only declares fields (the program's table layout) need not know how a set works.

#include <QString>

namespace store {

enum class FieldType
{
    Integer,
    AutoInc,
    Text,
    Boolean
};

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // most characters a text field holds; 0: no limit
};

// The words a truth value reads as and may be written as, besides "True"/"False", "1"/"0" and "-1". They are
// the program's language, so the program supplies them (setTruthWords) before any set opens; until then a
// truth value reads as "True" or "False".
struct TruthWords
{
    QString yes;
    QString no;

    const QString &text(bool value) const { return value ? yes : no; }
};

// Not thread-safe: change the words only while no other thread reads a field (the program sets them once,
// at start).
void setTruthWords(TruthWords words);
const TruthWords &truthWords();

} // namespace store
