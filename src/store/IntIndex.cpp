#include "IntIndex.h"

#include <algorithm>

namespace store {

namespace {
bool integerKey(const QVariant &key, qint64 *out)
{
    bool ok = false;
    *out = key.toLongLong(&ok);
    return ok;
}
} // namespace

void IntIndex::build(std::vector<std::pair<qint64, int>> entries, std::vector<int> nulls)
{
    std::sort(entries.begin(), entries.end());
    m_rows.clear();
    m_rows.reserve(entries.size());
    size_t distinct = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || entries[i].first != entries[i - 1].first)
            ++distinct;
    }
    // Filled to at most three quarters: dense ids rarely collide, and the table is most of the index.
    size_t capacity = 16;
    while (capacity < distinct + distinct / 3 + 1)
        capacity *= 2;
    m_slots.assign(capacity, Slot{0, 0, -1});
    m_mask = capacity - 1;
    for (size_t i = 0; i < entries.size();) {
        const qint64 key = entries[i].first;
        const int offset = static_cast<int>(m_rows.size());
        while (i < entries.size() && entries[i].first == key)
            m_rows.push_back(entries[i++].second);
        size_t slot = static_cast<size_t>(key) & m_mask;
        while (m_slots[slot].count >= 0)
            slot = (slot + 1) & m_mask;
        m_slots[slot] = Slot{key, offset, static_cast<int>(m_rows.size()) - offset};
    }
    m_overflow.clear();
    m_nulls = std::move(nulls);
}

std::span<const int> IntIndex::baseRows(qint64 key) const
{
    if (m_slots.empty())
        return {};
    for (size_t slot = static_cast<size_t>(key) & m_mask;; slot = (slot + 1) & m_mask) {
        const Slot &s = m_slots[slot];
        if (s.count < 0)
            return {};
        if (s.key == key)
            return std::span<const int>(m_rows.data() + s.offset, static_cast<size_t>(s.count));
    }
}

std::span<const int> IntIndex::rows(const QVariant &key) const
{
    if (!key.isValid() || key.isNull())
        return m_nulls;
    qint64 k = 0;
    if (!integerKey(key, &k))
        return {};
    if (!m_overflow.empty()) {
        auto it = m_overflow.find(k);
        if (it != m_overflow.end())
            return it->second;
    }
    return baseRows(k);
}

std::vector<int> *IntIndex::mutableRows(const QVariant &key)
{
    if (!key.isValid() || key.isNull())
        return &m_nulls;
    qint64 k = 0;
    if (!integerKey(key, &k))
        return nullptr;
    auto it = m_overflow.find(k);
    if (it == m_overflow.end()) {
        const std::span<const int> base = baseRows(k);
        it = m_overflow.emplace(k, std::vector<int>(base.begin(), base.end())).first;
    }
    return &it->second;
}

void IntIndex::add(const QVariant &key, int row)
{
    if (std::vector<int> *r = mutableRows(key))
        r->insert(std::lower_bound(r->begin(), r->end(), row), row);
}

void IntIndex::remove(const QVariant &key, int row)
{
    if (std::vector<int> *r = mutableRows(key)) {
        auto it = std::lower_bound(r->begin(), r->end(), row);
        if (it != r->end() && *it == row)
            r->erase(it);
    }
}

} // namespace store
