#include "GridModel.h"

#include <algorithm>

namespace rechte {

GridModel::GridModel(QObject *parent) : QAbstractTableModel(parent) {}

void GridModel::setGrid(TextGrid grid)
{
    beginResetModel();
    m_grid = std::move(grid);
    endResetModel();
}

void GridModel::setFilter(const QString &text)
{
    if (text == m_grid.filter())
        return;
    beginResetModel();
    m_grid.setFilter(text);
    endResetModel();
}

int GridModel::gridRow(int shownRow) const
{
    const std::vector<int> &shown = m_grid.shown();
    return shownRow >= 0 && static_cast<std::size_t>(shownRow) < shown.size()
               ? shown[static_cast<std::size_t>(shownRow)]
               : -1;
}

int GridModel::shownRow(int gridRow) const
{
    const std::vector<int> &shown = m_grid.shown();
    const auto it = std::find(shown.begin(), shown.end(), gridRow);
    return it == shown.end() ? -1 : static_cast<int>(it - shown.begin());
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_grid.shown().size());
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_grid.columnCount();
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    // The tip shows a text too long for its column in full.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) ||
        !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return m_grid.text(gridRow(index.row()), index.column());
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= m_grid.columnCount())
        return QVariant();
    return m_grid.headers().at(section);
}

void GridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_grid.columnCount())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex &i : before)
        rows.push_back(gridRow(i.row()));
    m_grid.sortBy(column, order == Qt::DescendingOrder);
    // The selection follows its rows to their new places.
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = shownRow(rows[static_cast<std::size_t>(i)]);
        after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace rechte
