#pragma once

#include "RecordSet.h"

#include <QByteArrayView>
#include <QVariant>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace store {

class Statement;

// A snapshot's rows, held by column in the form each field's values take: integers and truth values as
// 32-bit numbers, text as UTF-8 in one pool per column where every distinct text is kept once (a million
// assignments share a handful of initials). A value that form cannot hold exactly (a number in a text
// field's place, a 64-bit integer, a fraction) is kept aside as it was read, so every value reads back
// as the same QVariant that was put in: empty (invalid) stays apart from an empty text, 0 from empty.
//
// Beside the values each row has its key (the table's rowid) and a mark for rows deleted from the
// snapshot; rows are never moved, so a row number stays valid as long as the snapshot.
//
// Invariants (asserted): every column and the deleted marks hold one entry per row; a text
// reference is a text id of its column's pool, kEmptyText or kAsideText, and an aside value is kept for
// exactly the rows whose reference or tag says so; a row and field asked for are ones the cells hold.
class Cells
{
public:
    // Drops every row and takes the fields' kinds for the rows to come.
    void reset(const std::vector<FieldDef> &fields);

    int rows() const { return static_cast<int>(m_deleted.size()); }

    // Appends the statement's current row: `key` and the fields from their result columns, each read as
    // its field's type asks (see read()).
    void appendRead(const Statement &stmt, qint64 key, const std::vector<int> &columnOf);
    void append(qint64 key, const std::vector<QVariant> &values);
    // Frees what growing left unused, and the keys where a number field holds them already.
    void squeeze();

    QVariant value(int row, int field) const;
    void set(int row, int field, const QVariant &value);
    // The value as an integer key, as QVariant::toLongLong reads it; false when it is empty or no number.
    bool integer(int row, int field, qint64 *key) const;

    qint64 key(int row) const;
    bool isDeleted(int row) const
    {
        Q_ASSERT(row >= 0 && row < rows());
        return m_deleted[static_cast<size_t>(row)];
    }
    void setDeleted(int row, bool deleted)
    {
        Q_ASSERT(row >= 0 && row < rows());
        m_deleted[static_cast<size_t>(row)] = deleted;
    }

    // One column of the statement's current row as a field of that type reads it: numbers in a text field
    // as their digits, a truth value from its number or its word, an integer that fits 32 bits as int.
    static QVariant read(const Statement &stmt, int column, FieldType type);

private:
    enum class Kind : std::uint8_t
    {
        Number, // int
        Truth,  // bool
        Text    // QString
    };
    // How a row's value of a number column stands: in `numbers`, empty, or in `aside`.
    enum Tag : std::uint8_t
    {
        Plain,
        Empty,
        Aside
    };
    // Text references above every text id.
    static constexpr std::uint32_t kEmptyText = 0xFFFFFFFFu;
    static constexpr std::uint32_t kAsideText = 0xFFFFFFFEu;

    struct Column
    {
        Kind kind = Kind::Number;
        std::vector<qint32> numbers; // Number, Truth
        std::vector<Tag> tags;       // Number, Truth; none while every value is plain
        // Text: per row a text id, kEmptyText or kAsideText; in 16 bits while the ids fit.
        std::vector<std::uint16_t> narrowRefs;
        std::vector<std::uint32_t> refs;
        bool wide = false;
        std::vector<char> pool;            // Text: the distinct texts, one after the other
        std::vector<std::uint32_t> ends;   // Text: where each distinct text ends in the pool
        std::vector<std::uint32_t> lookup; // Text: open addressing over the texts, id + 1, 0 free
        std::unordered_map<int, QVariant> aside;

        std::uint32_t ref(int row) const;
        void setRef(int row, std::uint32_t ref);
        void pushRef(std::uint32_t ref);
        void widen();
        QByteArrayView text(std::uint32_t id) const;
        std::uint32_t intern(QByteArrayView bytes);
        void rehash(size_t size);
        void setTag(int row, Tag tag);
        Tag tag(int row) const { return tags.empty() ? Plain : tags[static_cast<size_t>(row)]; }
    };

    void put(int row, int field, const QVariant &value);
    void putNumber(Column &c, int row, qint32 number);
    void putText(Column &c, int row, QByteArrayView utf8);
    void putAside(Column &c, int row, const QVariant &value);
    void putEmpty(Column &c, int row);
    void grow();
    void pushKey(qint64 key);
    void keepKeys();

    std::vector<Column> m_columns;
    std::vector<qint32> m_keys; // while every key fits 32 bits
    std::vector<qint64> m_wideKeys;
    // A table's id field mostly is its rowid: then the keys are that field's numbers, for the first
    // m_keyRows rows, until one of them changes or a row comes whose key differs.
    int m_keyField = -1;
    int m_keyRows = 0;
    std::vector<bool> m_deleted;
};

} // namespace store
