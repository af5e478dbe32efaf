#pragma once

#include "RecordSet.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>

#include <vector>

namespace ui {

// One column of a data grid: the field it shows, its title (empty: the field's name) and its
// width in pixels (64 is the platform grid's default).
struct GridColumn
{
    QString field = {};
    QString title = {};
    int width = 64;
};

// The rows on show of a record set as a table, for the data grids.
//
// Rows are the record set's rows on show, a pending new row included; columns are the designed columns, or
// every field of the set when none were given. DisplayRole and EditRole give a cell's text as the field
// would read it (Booleans in the program's truth words, an empty value as ""). The vertical header carries
// the indicator: IndicatorRole tells which mark the row shows.
//
// The model keeps no copy of the rows and never walks them: every cell is read from the set when asked for,
// and the set's data links drive the model's notifications (about-to signals begin a change, the done
// signals end it, a reset of the rows on show resets the model). So a set of any size costs the same.
//
// Writing a cell (setData) puts the current row into editing and writes the field; only the current row
// can be written. Store errors are shown in the program's error box and answered with false.
class RecordSetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Indicator
    {
        None,
        Current, // the current row, nothing pending
        Edit,    // the current row, being edited
        Insert,  // the current row, a new row not yet stored
    };
    static constexpr int IndicatorRole = Qt::UserRole + 1;

    explicit RecordSetModel(QObject *parent = nullptr);
    RecordSetModel(store::RecordSet *set, QObject *parent = nullptr);

    void setRecordSet(store::RecordSet *set);
    void setColumns(const std::vector<GridColumn> &columns);
    const std::vector<GridColumn> &columns() const { return m_columns; }

    // The set's field shown in a column, or -1 (unknown field, or the set is closed).
    int fieldOf(int column) const;
    Indicator indicatorAt(int row) const;
    // True between a change's about-to signal and its done signal: the rows are moving under the view.
    bool isChanging() const { return m_changing; }
    // How many cells have been read; lets a caller see that a view only reads what it shows.
    quint64 cellReads() const { return m_cellReads; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The row's indicator changed (the current row moved, or its state did). Only that row's header needs
    // painting: announcing it as changed header data would make a view lay out and paint itself whole.
    void indicatorChanged(int row);

private:
    void bind();
    void resolveColumns();
    void markRow(int row);
    void onAboutToReset();
    void onReset();
    void onRowAboutToBeInserted(int row);
    void onRowInserted(int row);
    void onRowAboutToBeRemoved(int row);
    void onRowRemoved(int row);
    void onRowChanged(int row);
    void onCurrentChanged(int row);
    QString textAt(int row, int field) const;
    bool isCell(const QModelIndex &index) const;

    QPointer<store::RecordSet> m_set;
    std::vector<QMetaObject::Connection> m_links;
    std::vector<GridColumn> m_columns;
    // What the model shows: the designed columns, or every field when none were designed.
    std::vector<GridColumn> m_shown;
    std::vector<int> m_fieldOf;
    std::vector<store::FieldType> m_typeOf;
    int m_marked = -1; // the row whose indicator was drawn last
    bool m_changing = false;
    bool m_resetting = false;
    mutable quint64 m_cellReads = 0;
};

} // namespace ui
