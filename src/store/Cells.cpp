// A snapshot's rows by column, compactly.

#include "Cells.h"

#include "FieldValues.h"
#include "Statement.h"

#include <QHashFunctions>

#include <limits>

namespace store {

namespace {

constexpr size_t kFirstRows = 16;

bool fitsInt32(qint64 v)
{
    return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

// Whether the text comes back the same from UTF-8: only a lone surrogate does not.
bool survivesUtf8(const QString &text, const QByteArray &utf8)
{
    for (QChar ch : text) {
        if (ch.isSurrogate())
            return QString::fromUtf8(utf8) == text;
    }
    return true;
}

} // namespace

void Cells::reset(const std::vector<FieldDef> &fields)
{
    m_columns.clear();
    m_columns.resize(fields.size());
    for (size_t f = 0; f < fields.size(); ++f) {
        switch (fields[f].type) {
        case FieldType::Text:
            m_columns[f].kind = Kind::Text;
            break;
        case FieldType::Boolean:
            m_columns[f].kind = Kind::Truth;
            break;
        default:
            m_columns[f].kind = Kind::Number;
        }
    }
    m_keys = {};
    m_wideKeys = {};
    m_keyField = -1;
    m_keyRows = 0;
    m_deleted = {};
}

void Cells::grow()
{
    // Most snapshots are a handful of rows (a level of the group tree, opened thousands of times): room
    // for them at once spares the growing steps of every vector.
    if (m_deleted.empty()) {
        for (Column &c : m_columns) {
            if (c.kind == Kind::Text) {
                c.narrowRefs.reserve(kFirstRows);
                c.ends.reserve(kFirstRows);
                c.pool.reserve(kFirstRows * 16);
            } else {
                c.numbers.reserve(kFirstRows);
            }
        }
        m_keys.reserve(kFirstRows);
    }
    for (Column &c : m_columns) {
        if (c.kind == Kind::Text) {
            c.pushRef(kEmptyText);
        } else {
            c.numbers.push_back(0);
            if (!c.tags.empty())
                c.tags.push_back(Plain);
        }
    }
    m_deleted.push_back(false);
}

// After the row's values: its key may be the one its id field holds already.
void Cells::pushKey(qint64 key)
{
    if (m_keyField >= 0) {
        const Column &c = m_columns[static_cast<size_t>(m_keyField)];
        const int row = m_keyRows;
        if (c.tag(row) == Plain && c.numbers[static_cast<size_t>(row)] == key) {
            ++m_keyRows;
            return;
        }
        keepKeys();
    }
    // Rowids are nearly always small: kept in 32 bits until one is not.
    if (m_wideKeys.empty() && fitsInt32(key)) {
        m_keys.push_back(static_cast<qint32>(key));
    } else {
        if (m_wideKeys.empty())
            m_wideKeys.assign(m_keys.begin(), m_keys.end());
        m_keys.clear();
        m_wideKeys.push_back(key);
    }
}

// The keys taken from the id field become keys of their own, before that field changes.
void Cells::keepKeys()
{
    if (m_keyField < 0)
        return;
    const Column &c = m_columns[static_cast<size_t>(m_keyField)];
    m_keys.assign(c.numbers.begin(), c.numbers.begin() + m_keyRows);
    m_keyField = -1;
    m_keyRows = 0;
}

void Cells::appendRead(const Statement &stmt, qint64 key, const std::vector<int> &columnOf)
{
    const int row = rows();
    grow();
    // The common forms go straight into their columns; the rest takes the general way through a QVariant.
    for (size_t f = 0; f < m_columns.size(); ++f) {
        Column &c = m_columns[f];
        const int column = columnOf[f];
        const CellType type = stmt.columnType(column);
        const qint64 number = c.kind == Kind::Number && type == CellType::Integer ? stmt.int64(column) : 0;
        if (type == CellType::Null) {
            putEmpty(c, row);
        } else if (c.kind == Kind::Text && type == CellType::Text) {
            putText(c, row, stmt.utf8(column));
        } else if (c.kind == Kind::Number && type == CellType::Integer && fitsInt32(number)) {
            c.numbers[static_cast<size_t>(row)] = static_cast<qint32>(number);
        } else {
            put(row, static_cast<int>(f),
                read(stmt, column,
                     c.kind == Kind::Text    ? FieldType::Text
                     : c.kind == Kind::Truth ? FieldType::Boolean
                                             : FieldType::Integer));
        }
    }
    pushKey(key);
}

void Cells::append(qint64 key, const std::vector<QVariant> &values)
{
    const int row = rows();
    grow();
    for (size_t f = 0; f < m_columns.size() && f < values.size(); ++f)
        put(row, static_cast<int>(f), values[f]);
    pushKey(key);
}

namespace {
// What growing left unused is given back only where it is worth a copy: a small snapshot (one level of
// the group tree) is opened thousands of times and keeps its few spare bytes.
template <typename T> void squeezeLarge(std::vector<T> &v)
{
    if ((v.capacity() - v.size()) * sizeof(T) > 16384)
        v.shrink_to_fit();
}
} // namespace

void Cells::squeeze()
{
    for (Column &c : m_columns) {
        squeezeLarge(c.numbers);
        squeezeLarge(c.tags);
        squeezeLarge(c.refs);
        squeezeLarge(c.narrowRefs);
        squeezeLarge(c.pool);
        squeezeLarge(c.ends);
        // Built again when a text is put; most large snapshots are only read.
        if (c.lookup.size() * sizeof(std::uint32_t) > 16384)
            c.lookup = {};
    }
    squeezeLarge(m_keys);
    squeezeLarge(m_wideKeys);
    if (m_deleted.capacity() - m_deleted.size() > 16384 * 8)
        m_deleted.shrink_to_fit();
    if (m_keyField >= 0 || !m_wideKeys.empty() || m_keys.empty())
        return;
    for (size_t f = 0; f < m_columns.size(); ++f) {
        const Column &c = m_columns[f];
        if (c.kind == Kind::Number && c.tags.empty() && c.numbers == m_keys) {
            m_keyField = static_cast<int>(f);
            m_keyRows = rows();
            m_keys = {};
            return;
        }
    }
}

qint64 Cells::key(int row) const
{
    Q_ASSERT(row >= 0 && row < rows());
    if (m_keyField >= 0)
        return m_columns[static_cast<size_t>(m_keyField)].numbers[static_cast<size_t>(row)];
    return m_wideKeys.empty() ? m_keys[static_cast<size_t>(row)] : m_wideKeys[static_cast<size_t>(row)];
}

QVariant Cells::value(int row, int field) const
{
    Q_ASSERT(row >= 0 && row < rows() && field >= 0 && field < static_cast<int>(m_columns.size()));
    const Column &c = m_columns[static_cast<size_t>(field)];
    const auto r = static_cast<size_t>(row);
    if (c.kind == Kind::Text) {
        const std::uint32_t ref = c.ref(row);
        if (ref == kEmptyText)
            return QVariant();
        if (ref == kAsideText)
            return c.aside.at(row);
        const QByteArrayView bytes = c.text(ref);
        // An empty text is not an empty field: it reads as an empty, not a null, string.
        return QVariant(bytes.isEmpty() ? QString::fromUtf8("", 0) : QString::fromUtf8(bytes));
    }
    switch (c.tag(row)) {
    case Empty:
        return QVariant();
    case Aside:
        return c.aside.at(row);
    default:
        return c.kind == Kind::Truth ? QVariant(c.numbers[r] != 0) : QVariant(c.numbers[r]);
    }
}

bool Cells::integer(int row, int field, qint64 *key) const
{
    const Column &c = m_columns[static_cast<size_t>(field)];
    if (c.kind != Kind::Text && c.tag(row) == Plain) {
        *key = c.numbers[static_cast<size_t>(row)];
        return true;
    }
    const QVariant v = value(row, field);
    bool ok = false;
    *key = v.isValid() && !v.isNull() ? v.toLongLong(&ok) : 0;
    return ok;
}

void Cells::set(int row, int field, const QVariant &value)
{
    Q_ASSERT(row >= 0 && row < rows() && field >= 0 && field < static_cast<int>(m_columns.size()));
    put(row, field, value);
}

void Cells::put(int row, int field, const QVariant &value)
{
    if (field == m_keyField && row < m_keyRows)
        keepKeys();
    Column &c = m_columns[static_cast<size_t>(field)];
    if (!value.isValid()) {
        putEmpty(c, row);
        return;
    }
    if (!value.isNull()) {
        const int type = value.typeId();
        if (c.kind == Kind::Number && type == QMetaType::Int) {
            putNumber(c, row, value.toInt());
            return;
        }
        if (c.kind == Kind::Truth && type == QMetaType::Bool) {
            putNumber(c, row, value.toBool() ? 1 : 0);
            return;
        }
        if (c.kind == Kind::Text && type == QMetaType::QString) {
            const QString text = value.toString();
            const QByteArray utf8 = text.toUtf8();
            if (!text.isNull() && survivesUtf8(text, utf8)) {
                putText(c, row, utf8);
                return;
            }
        }
    }
    putAside(c, row, value);
}

void Cells::putNumber(Column &c, int row, qint32 number)
{
    if (c.tag(row) == Aside)
        c.aside.erase(row);
    c.numbers[static_cast<size_t>(row)] = number;
    c.setTag(row, Plain);
}

void Cells::putText(Column &c, int row, QByteArrayView utf8)
{
    if (c.ref(row) == kAsideText)
        c.aside.erase(row);
    c.setRef(row, c.intern(utf8));
}

void Cells::putEmpty(Column &c, int row)
{
    if (c.kind == Kind::Text) {
        if (c.ref(row) == kAsideText)
            c.aside.erase(row);
        c.setRef(row, kEmptyText);
        return;
    }
    if (c.tag(row) == Aside)
        c.aside.erase(row);
    c.setTag(row, Empty);
}

void Cells::putAside(Column &c, int row, const QVariant &value)
{
    c.aside[row] = value;
    if (c.kind == Kind::Text)
        c.setRef(row, kAsideText);
    else
        c.setTag(row, Aside);
}

void Cells::Column::setTag(int row, Tag tag)
{
    if (tags.empty()) {
        if (tag == Plain)
            return;
        tags.assign(numbers.size(), Plain);
    }
    tags[static_cast<size_t>(row)] = tag;
}

namespace {
// The two highest references of either width stand for an empty field and a value kept aside.
constexpr std::uint32_t kNarrowLimit = 0xFFFEu;
} // namespace

std::uint32_t Cells::Column::ref(int row) const
{
    if (wide)
        return refs[static_cast<size_t>(row)];
    const std::uint32_t narrow = narrowRefs[static_cast<size_t>(row)];
    return narrow >= kNarrowLimit ? narrow | 0xFFFF0000u : narrow;
}

void Cells::Column::setRef(int row, std::uint32_t value)
{
    if (!wide && value >= kNarrowLimit && value < kAsideText)
        widen();
    if (wide)
        refs[static_cast<size_t>(row)] = value;
    else
        narrowRefs[static_cast<size_t>(row)] = static_cast<std::uint16_t>(value & 0xFFFFu);
}

void Cells::Column::pushRef(std::uint32_t value)
{
    if (wide)
        refs.push_back(0);
    else
        narrowRefs.push_back(0);
    setRef(static_cast<int>(wide ? refs.size() : narrowRefs.size()) - 1, value);
}

void Cells::Column::widen()
{
    refs.resize(narrowRefs.size());
    for (size_t r = 0; r < narrowRefs.size(); ++r)
        refs[r] = ref(static_cast<int>(r));
    narrowRefs = {};
    wide = true;
}

QByteArrayView Cells::Column::text(std::uint32_t id) const
{
    Q_ASSERT(id < ends.size() && ends[id] <= pool.size());
    const std::uint32_t begin = id == 0 ? 0 : ends[id - 1];
    return QByteArrayView(pool.data() + begin, static_cast<qsizetype>(ends[id] - begin));
}

std::uint32_t Cells::Column::intern(QByteArrayView bytes)
{
    if ((ends.size() + 1) * 2 > lookup.size()) {
        size_t size = 16;
        while (size < (ends.size() + 1) * 2)
            size *= 2;
        rehash(size);
    }
    const size_t mask = lookup.size() - 1;
    for (size_t i = qHash(bytes) & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = lookup[i];
        if (slot == 0) {
            const auto id = static_cast<std::uint32_t>(ends.size());
            pool.insert(pool.end(), bytes.begin(), bytes.end());
            ends.push_back(static_cast<std::uint32_t>(pool.size()));
            lookup[i] = id + 1;
            return id;
        }
        if (text(slot - 1) == bytes)
            return slot - 1;
    }
}

void Cells::Column::rehash(size_t size)
{
    lookup.assign(size, 0);
    const size_t mask = size - 1;
    for (std::uint32_t id = 0; id < ends.size(); ++id) {
        size_t i = qHash(text(id)) & mask;
        while (lookup[i] != 0)
            i = (i + 1) & mask;
        lookup[i] = id + 1;
    }
}

QVariant Cells::read(const Statement &stmt, int c, FieldType type)
{
    switch (stmt.columnType(c)) {
    case CellType::Null:
        return QVariant();
    case CellType::Integer: {
        const qint64 v = stmt.int64(c);
        switch (type) {
        case FieldType::Boolean:
            return QVariant(v != 0);
        case FieldType::Text:
            return QVariant(QString::number(v));
        default:
            if (fitsInt32(v))
                return QVariant(static_cast<int>(v));
            return QVariant(v);
        }
    }
    case CellType::Real:
        if (type == FieldType::Text)
            return QVariant(QString::number(stmt.real(c)));
        return QVariant(stmt.real(c));
    default: {
        const QString s = stmt.text(c);
        if (type == FieldType::Boolean) {
            bool ok = false;
            const bool b = parseBool(s, &ok);
            return ok ? QVariant(b) : QVariant();
        }
        return QVariant(s);
    }
    }
}

} // namespace store
