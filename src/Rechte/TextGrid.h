#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <span>
#include <unordered_map>
#include <vector>

namespace rechte {

// A table of text as the rights window shows it, with the filter and the order a user sets on it.
//
// Each column keeps every distinct value once and each row only the value's number, so a filter asks
// "does it contain the text?" once per distinct value and then only looks numbers up per row: a keystroke
// on a million assignments that name ten thousand users and a hundred thousand functions stays quick.
//
// The filter matches a row when any of the filtered columns contains the text, without regard to case; an
// empty filter shows every row. The order is the rows' own until sortBy, which sorts by one column as the
// store sorts text (German, case-insensitive) and keeps the earlier order among equal values.
class TextGrid
{
public:
    explicit TextGrid(QStringList headers);

    // The columns a filter looks at; all by default.
    void setFilterColumns(std::vector<int> columns);
    void reserve(std::size_t rows);
    // One value per column.
    void addRow(std::span<const QString> values);
    void addRow(std::initializer_list<QString> values) { addRow(std::span(values.begin(), values.size())); }

    const QStringList &headers() const { return m_headers; }
    int columnCount() const { return static_cast<int>(m_headers.size()); }
    // All rows, whatever the filter shows.
    int rowCount() const { return static_cast<int>(m_rows); }
    const QString &text(int row, int column) const;

    void setFilter(const QString &text);
    const QString &filter() const { return m_filter; }
    void sortBy(int column, bool descending = false);

    // The rows on show, in their order, as row numbers for text().
    const std::vector<int> &shown() const { return m_shown; }

private:
    struct Column
    {
        std::vector<QString> values;
        std::vector<QString> folded; // as the filter compares them
        std::vector<int> ids;        // per row: its value's index
        std::vector<int> rank;       // per value: its place in the sorted order; empty until sorted by
        QHash<QString, int> index;
        // Values that come from one place share their characters: a look-up by address skips the hash.
        std::unordered_map<const QChar *, int> byAddress;
    };
    void ensureRanks(Column &column);
    void applyFilter();
    bool matches(std::size_t row, const QString &needle) const;

    QStringList m_headers;
    std::vector<Column> m_columns;
    std::vector<int> m_filterColumns;
    std::size_t m_rows = 0;
    std::vector<int> m_order; // every row, in the current order
    std::vector<int> m_shown;
    QString m_filter;
};

} // namespace rechte
