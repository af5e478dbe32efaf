// A field of the current row, and how values are turned into what a field holds.

#include "FieldValues.h"
#include "RecordSet.h"
#include "StoreError.h"

#include <utility>

namespace store {

namespace {

TruthWords &currentTruthWords()
{
    static TruthWords words{QStringLiteral("True"), QStringLiteral("False")};
    return words;
}

// An empty word would make every blank text a truth value.
bool isWord(const QString &text, const QString &word)
{
    return !word.isEmpty() && text.compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace

void setTruthWords(TruthWords words)
{
    currentTruthWords() = std::move(words);
}

const TruthWords &truthWords()
{
    return currentTruthWords();
}

bool parseBool(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    const TruthWords &words = truthWords();
    *ok = true;
    if (isWord(t, words.yes) || t.compare(u"True", Qt::CaseInsensitive) == 0 || t == u"1" || t == u"-1")
        return true;
    if (isWord(t, words.no) || t.compare(u"False", Qt::CaseInsensitive) == 0 || t == u"0")
        return false;
    *ok = false;
    return false;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return a == b;
}

const QString &Field::name() const
{
    return m_set->fields()[static_cast<size_t>(m_index)].name;
}

FieldType Field::type() const
{
    return m_set->fields()[static_cast<size_t>(m_index)].type;
}

int Field::size() const
{
    return m_set->fields()[static_cast<size_t>(m_index)].size;
}

QVariant Field::value() const
{
    return m_set->value(m_index);
}

QVariant Field::oldValue() const
{
    return m_set->oldValue(m_index);
}

bool Field::isNull() const
{
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

int indexOfField(const std::vector<FieldDef> &fields, const QString &name)
{
    // Callers mostly spell names as declared: an exact match is the cheap first try.
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

QString textOf(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Bool)
        return truthWords().text(v.toBool());
    return v.toString();
}

bool integerOf(const QVariant &v, qint32 *integer)
{
    bool ok = true;
    if (!v.isValid() || v.isNull())
        *integer = 0;
    else if (v.typeId() == QMetaType::QString)
        *integer = v.toString().trimmed().toInt(&ok);
    else
        *integer = static_cast<qint32>(v.toLongLong());
    return ok;
}

QString invalidInteger(const QVariant &value, const QString &field)
{
    return QStringLiteral("%1 ist kein gültiger Ganzzahlwert für das Feld %2")
        .arg(quoted(value.toString()), quoted(field));
}

QString Field::asString() const
{
    return textOf(value());
}

qint32 Field::asInteger() const
{
    const QVariant v = value();
    qint32 i = 0;
    if (!integerOf(v, &i))
        m_set->fail(invalidInteger(v, name()));
    return i;
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const bool b = parseBool(v.toString(), &ok);
        return ok && b;
    }
    return v.toBool();
}

void Field::setValue(const QVariant &value)
{
    m_set->setValue(m_index, value);
}

void Field::setAsString(const QString &text)
{
    m_set->setValue(m_index, text);
}

void Field::setAsInteger(qint32 value)
{
    m_set->setValue(m_index, value);
}

void Field::setAsBoolean(bool value)
{
    m_set->setValue(m_index, value);
}

void Field::clear()
{
    m_set->setValue(m_index, QVariant());
}

QVariant RecordSet::normalize(int f, const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    const FieldDef &def = m_fields[static_cast<size_t>(f)];
    switch (def.type) {
    case FieldType::Text: {
        QString s = value.typeId() == QMetaType::Bool ? truthWords().text(value.toBool()) : value.toString();
        if (def.size > 0 && s.size() > def.size)
            s.truncate(def.size);
        return s;
    }
    case FieldType::Boolean:
        if (value.typeId() == QMetaType::QString) {
            if (value.toString().isEmpty())
                return QVariant();
            bool ok = false;
            const bool b = parseBool(value.toString(), &ok);
            if (!ok)
                fail(QStringLiteral("%1 ist kein gültiger Wahrheitswert für das Feld %2")
                         .arg(quoted(value.toString()), quoted(def.name)));
            return b;
        }
        return value.toBool();
    case FieldType::Integer:
    case FieldType::AutoInc: {
        if (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty())
            return QVariant();
        bool ok = false;
        const qint64 v = value.typeId() == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                              : value.toLongLong(&ok);
        if (!ok || v < INT32_MIN || v > INT32_MAX)
            fail(QStringLiteral("%1 ist kein gültiger Ganzzahlwert für das Feld %2")
                     .arg(quoted(value.toString()), quoted(def.name)));
        return static_cast<int>(v);
    }
    }
    return value;
}

} // namespace store
