#pragma once

#include "TextGrid.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableView;

namespace rechte {

class GridModel;

// One list of the rights window: a table over a TextGrid, with a filter field above it and the count of
// rows on show below it where asked for. Typing in the filter narrows the list at once.
class ListPanel : public QWidget
{
    Q_OBJECT

public:
    enum Part
    {
        Plain = 0,
        Filter = 1,
        Count = 2,
    };
    // `name` is the object name of the table; the filter field and the count take it with "Filter" and
    // "Count" appended.
    ListPanel(const QString &name, int parts, QWidget *parent = nullptr);

    // Shows new rows; the filter typed stays in force, and the row chosen before (by the grid's row
    // number) stays chosen when it is still on show.
    void setGrid(TextGrid grid, int chooseRow = -1);
    const TextGrid &grid() const;
    // The grid's row of the chosen line; -1 when none is chosen.
    int chosenRow() const;
    void choose(int gridRow);

    // The columns' widths in pixels, from the first; the last column also takes what room is left. A width
    // of kFit sizes the column to its widest text (ids), kStretch gives it the room left instead of the
    // last column (paths, which are elided in the middle where they do not fit).
    static constexpr int kFit = -1;
    static constexpr int kStretch = 0;
    void setWidths(const std::vector<int> &widths);
    // The text of the count below the list; by default it counts the rows as assignments.
    void setCounter(std::function<QString(const TextGrid &)> counter);

    // What a screen reader calls the list ("Benutzer, 4 Zeilen") and its filter ("Benutzer filtern").
    void setSpokenName(const QString &list);

    QLineEdit *filter() const { return m_filter; }
    QTableView *table() const { return m_table; }
    QLabel *count() const { return m_count; }

signals:
    // The chosen line changed; the grid's row, -1 for none.
    void chosen(int gridRow);

private:
    void showCount();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void fitColumns();

    GridModel *m_model;
    QTableView *m_table = nullptr;
    QLineEdit *m_filter = nullptr;
    QLabel *m_count = nullptr;
    std::vector<int> m_widths;
    std::function<QString(const TextGrid &)> m_counter;
};

} // namespace rechte
