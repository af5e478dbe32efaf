#include "TextGrid.h"

#include "Collation.h"
#include "Rights.h"

#include <algorithm>
#include <numeric>

namespace rechte {

TextGrid::TextGrid(QStringList headers)
    : m_headers(std::move(headers)), m_columns(static_cast<std::size_t>(m_headers.size()))
{
    m_filterColumns.resize(m_columns.size());
    std::iota(m_filterColumns.begin(), m_filterColumns.end(), 0);
}

void TextGrid::setFilterColumns(std::vector<int> columns)
{
    m_filterColumns = std::move(columns);
    applyFilter();
}

void TextGrid::reserve(std::size_t rows)
{
    for (Column &c : m_columns)
        c.ids.reserve(rows);
    m_order.reserve(rows);
    m_shown.reserve(rows);
}

void TextGrid::addRow(std::span<const QString> values)
{
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        Column &column = m_columns[c];
        const QString value = c < values.size() ? values[c] : QString();
        if (const auto known = column.byAddress.find(value.constData()); known != column.byAddress.end()) {
            column.ids.push_back(known->second);
            continue;
        }
        auto it = column.index.constFind(value);
        if (it == column.index.cend()) {
            const int id = static_cast<int>(column.values.size());
            column.values.push_back(value);
            column.folded.push_back(rights::matchKey(value));
            // The grid now holds these characters, so their address cannot come back for another text.
            column.byAddress.emplace(value.constData(), id);
            it = column.index.insert(value, id);
        }
        column.ids.push_back(*it);
    }
    const int row = static_cast<int>(m_rows++);
    m_order.push_back(row);
    // A row added while a filter is set shows only when it matches.
    if (m_filter.isEmpty() || matches(m_rows - 1, rights::matchKey(m_filter)))
        m_shown.push_back(row);
    for (Column &column : m_columns)
        column.rank.clear();
}

const QString &TextGrid::text(int row, int column) const
{
    const Column &c = m_columns.at(static_cast<std::size_t>(column));
    return c.values[static_cast<std::size_t>(c.ids.at(static_cast<std::size_t>(row)))];
}

bool TextGrid::matches(std::size_t row, const QString &needle) const
{
    return std::any_of(m_filterColumns.begin(), m_filterColumns.end(), [&](int c) {
        const Column &column = m_columns.at(static_cast<std::size_t>(c));
        return column.folded[static_cast<std::size_t>(column.ids[row])].contains(needle);
    });
}

void TextGrid::setFilter(const QString &text)
{
    m_filter = text;
    applyFilter();
}

void TextGrid::applyFilter()
{
    m_shown.clear();
    if (m_filter.isEmpty()) {
        m_shown = m_order;
        return;
    }
    const QString needle = rights::matchKey(m_filter);
    // Which distinct values match, per filtered column; then each row only looks its values up.
    std::vector<std::pair<const std::vector<int> *, std::vector<char>>> hits;
    for (int c : m_filterColumns) {
        const Column &column = m_columns.at(static_cast<std::size_t>(c));
        std::vector<char> hit(column.folded.size());
        bool any = false;
        for (std::size_t v = 0; v < column.folded.size(); ++v) {
            hit[v] = column.folded[v].contains(needle) ? 1 : 0;
            any = any || hit[v];
        }
        if (any)
            hits.emplace_back(&column.ids, std::move(hit));
    }
    if (hits.empty())
        return;
    for (int row : m_order) {
        const auto r = static_cast<std::size_t>(row);
        for (const auto &[ids, hit] : hits) {
            if (hit[static_cast<std::size_t>((*ids)[r])]) {
                m_shown.push_back(row);
                break;
            }
        }
    }
}

void TextGrid::ensureRanks(Column &column)
{
    if (!column.rank.empty() || column.values.empty())
        return;
    std::vector<int> byValue(column.values.size());
    std::iota(byValue.begin(), byValue.end(), 0);
    std::sort(byValue.begin(), byValue.end(), [&column](int a, int b) {
        return store::Collation::compare(column.values[static_cast<std::size_t>(a)],
                                         column.values[static_cast<std::size_t>(b)]) < 0;
    });
    column.rank.assign(column.values.size(), 0);
    int rank = 0;
    for (std::size_t i = 0; i < byValue.size(); ++i) {
        // Values the collation holds equal ("Müller", "MÜLLER") share their place.
        if (i > 0 && store::Collation::compare(column.values[static_cast<std::size_t>(byValue[i - 1])],
                                               column.values[static_cast<std::size_t>(byValue[i])]) != 0)
            ++rank;
        column.rank[static_cast<std::size_t>(byValue[i])] = rank;
    }
}

void TextGrid::sortBy(int column, bool descending)
{
    if (column < 0 || column >= columnCount())
        return;
    Column &c = m_columns[static_cast<std::size_t>(column)];
    ensureRanks(c);
    const auto rankOf = [&c](int row) {
        return c.rank[static_cast<std::size_t>(c.ids[static_cast<std::size_t>(row)])];
    };
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        return descending ? rankOf(b) < rankOf(a) : rankOf(a) < rankOf(b);
    });
    applyFilter();
}

} // namespace rechte
