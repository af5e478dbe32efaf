#pragma once

#include "TextGrid.h"

#include <QAbstractTableModel>

namespace rechte {

// A list of the rights window over a TextGrid: the rows on show, in their order; a click on a header sorts
// by that column. Text only, read-only.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit GridModel(QObject *parent = nullptr);

    void setGrid(TextGrid grid);
    const TextGrid &grid() const { return m_grid; }
    void setFilter(const QString &text);
    // The grid's row behind a row on show, and back; -1 when there is none.
    int gridRow(int shownRow) const;
    int shownRow(int gridRow) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    TextGrid m_grid{{}};
};

} // namespace rechte
