#pragma once

#include <QVariant>

#include <span>
#include <unordered_map>
#include <vector>

namespace store {

// The rows of a snapshot by the integer value of one field, for filters and master links.
//
// Built once per snapshot as one array of rows sorted by key, with an open-addressing table of where each
// key's rows start. Ids are mostly dense, so neighbouring keys sit in neighbouring slots and a walk through
// a grid touches memory in order. Keys changed after the build (posts, deletes) keep their rows in a small
// overflow map that takes precedence. A key's rows are always in ascending row order, which is the
// snapshot's order.
class IntIndex
{
public:
    // entries: (key, row) for every row with an integer key; nulls: rows whose key is empty.
    void build(std::vector<std::pair<qint64, int>> entries, std::vector<int> nulls);

    // The rows whose key equals `key`; rows with an empty field for an empty key; nothing for a key that is
    // not an integer.
    std::span<const int> rows(const QVariant &key) const;

    void add(const QVariant &key, int row);
    void remove(const QVariant &key, int row);

private:
    struct Slot
    {
        qint64 key;
        int offset;
        int count; // -1: empty slot
    };

    std::span<const int> baseRows(qint64 key) const;
    std::vector<int> *mutableRows(const QVariant &key);

    std::vector<int> m_rows;
    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    std::unordered_map<qint64, std::vector<int>> m_overflow;
    std::vector<int> m_nulls;
};

} // namespace store
