#pragma once

#include "DataSource.h"
#include "RecordSetModel.h"

#include <QFlags>
#include <QPalette>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <vector>

class QLineEdit;

namespace ui {

enum class GridOption
{
    Titles = 1,
    Indicator = 2,
    ColumnResize = 4,
    ColLines = 8,
    RowLines = 16,
    Tabs = 32,
    RowSelect = 64,
    AlwaysShowSelection = 128,
    ConfirmDelete = 256,
    CancelOnExit = 512,
    Editing = 1024,
    ReadOnly = 2048,
};
Q_DECLARE_FLAGS(GridOptions, GridOption)

// A grid over the rows of its data source's record set.
//
// The grid's current row is the record set's current row, both ways: moving in the grid moves the set
// (a move the set refuses, such as a post stopped by its BeforePost, leaves the grid on the set's row), and
// whatever moves the set moves the grid and scrolls to the row. Two grids on one set therefore always show
// the same current row.
//
// Keys of its own: Esc drops the pending edit or new row; Ctrl+Del deletes the current row (not when
// read-only), after "Datensatz löschen?" with ConfirmDelete; with Editing, Insert starts a new row and Down
// on the last row appends one. Enter does what a double click does, unless it ends the edit of a cell. With
// Tabs, Tab and Shift+Tab go from cell to cell within the row and leave the grid at the row's ends, also
// from an open cell editor: the keyboard never gets caught in a grid. Editing in place writes the retyped
// text into the field; the store posts it when the row is left. CancelOnExit drops an untouched new row when
// the focus leaves the grid.
//
// With the focus, the grid shows a frame inside its edge (ui::showFocusFrame).
//
// Rows are all one height and nothing is done per row, so the grid costs the same for any number of rows.
// The options start as the platform grid's defaults.
class DBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit DBGrid(QWidget *parent = nullptr);
    ~DBGrid() override;

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source.data(); }
    void setColumns(const std::vector<GridColumn> &columns);
    void setOptions(GridOptions options);
    GridOptions options() const { return m_options; }
    RecordSetModel *recordModel() const { return m_model; }

    static GridOptions defaultOptions();

    // What Ctrl+Del does after its question, in place of removing the row alone: a window that must clean up
    // behind a deleted row gives its own. Runs guarded.
    void setRemoveAction(std::function<void()> action) { m_removeAction = std::move(action); }

signals:
    // A double click on a row, after the row under the mouse became current (or on the empty grid); also
    // Enter on the current row.
    void dblClick();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void changeEvent(QEvent *event) override;
    // Typing never jumps to a matching row: a move would post the pending edits of the set's page.
    void keyboardSearch(const QString &) override {}

private:
    friend class GridEditDelegate;

    store::RecordSet *set() const;
    bool editable() const;
    void followSet();
    void scheduleFollow();
    void scheduleScroll();
    void scrollToCurrent();
    void queueOnce(bool &queued, void (DBGrid::*fn)());
    void applyWidths();
    void applyRowHeight();
    void focusMoved(QWidget *from, QWidget *to);
    void writePendingEditor();
    void startEdit(QLineEdit *editor);
    bool handleKey(QKeyEvent *event);
    // Whether Tab (next) or Shift+Tab goes out of the grid rather than to a neighbouring cell.
    bool tabLeaves(bool next) const;

    QPointer<DataSource> m_source;
    RecordSetModel *m_model;
    DataLinks m_links;
    std::vector<GridColumn> m_columns;
    GridOptions m_options;
    QPalette m_designPalette;
    std::function<void()> m_removeAction;
    QMetaObject::Connection m_focusLink; // to the application, which outlives every grid
    QPointer<QLineEdit> m_editor;        // the open cell editor, if any
    bool m_moving = false;               // the grid itself is moving the set
    bool m_following = false;            // the grid is following the set
    bool m_followQueued = false;
    bool m_scrollQueued = false;
    bool m_applyingWidths = false;
};

} // namespace ui

Q_DECLARE_OPERATORS_FOR_FLAGS(ui::GridOptions)
