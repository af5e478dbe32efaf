#include "DBGrid.h"

#include "ErrorHandler.h"
#include "FocusFrame.h"
#include "MessageBoxes.h"
#include "Win1252Validator.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace ui {

using store::DataState;
using store::RecordSet;

namespace {

constexpr int kIndicatorWidth = 11;
constexpr int kDefaultColumnWidth = 64;

// The narrow column left of the rows that marks the current row: a triangle while browsing, an I-beam while
// it is being edited, an asterisk for a new row not yet stored. Drawn, so it looks the same in every font.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        // The style may leave a clip behind that shuts out the narrow section (the label's text rect).
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (!model())
            return;
        using Mark = RecordSetModel::Indicator;
        const auto mark = static_cast<Mark>(
            model()->headerData(logicalIndex, Qt::Vertical, RecordSetModel::IndicatorRole).toInt());
        if (mark == Mark::None)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        const QColor ink = palette().color(QPalette::ButtonText);
        painter->setPen(ink);
        const QPoint c = rect.center();
        const int x = c.x();
        const int y = c.y();
        switch (mark) {
        case Mark::Current: {
            const QPoint tip[] = {{x - 2, y - 4}, {x + 2, y}, {x - 2, y + 4}};
            painter->setBrush(ink);
            painter->drawPolygon(tip, 3);
            break;
        }
        case Mark::Edit:
            painter->drawLine(x, y - 4, x, y + 4);
            painter->drawLine(x - 2, y - 5, x - 1, y - 5);
            painter->drawLine(x + 1, y - 5, x + 2, y - 5);
            painter->drawLine(x - 2, y + 5, x - 1, y + 5);
            painter->drawLine(x + 1, y + 5, x + 2, y + 5);
            break;
        case Mark::Insert:
            painter->drawLine(x, y - 3, x, y + 3);
            painter->drawLine(x - 3, y, x + 3, y);
            painter->drawLine(x - 2, y - 2, x + 2, y + 2);
            painter->drawLine(x - 2, y + 2, x + 2, y - 2);
            break;
        case Mark::None:
            break;
        }
        painter->restore();
    }
};

} // namespace

// Cell editors of an editing grid: a line edit held to the field's size and to Windows-1252, which puts the
// row into editing at the first change, as the bound edits do.
class GridEditDelegate : public QStyledItemDelegate
{
public:
    explicit GridEditDelegate(DBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *edit = new QLineEdit(parent);
        edit->setFrame(false);
        guardWin1252(edit);
        const int f = m_grid->m_model->fieldOf(index.column());
        if (RecordSet *s = m_grid->set(); s && f >= 0) {
            const int size = s->fields()[static_cast<size_t>(f)].size;
            if (size > 0)
                edit->setMaxLength(size);
        }
        connect(edit, &QLineEdit::textEdited, m_grid, [grid = m_grid, edit] { grid->startEdit(edit); });
        m_grid->m_editor = edit;
        return edit;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *edit = qobject_cast<QLineEdit *>(editor))
            edit->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *edit = qobject_cast<QLineEdit *>(editor))
            model->setData(index, edit->text(), Qt::EditRole);
    }

private:
    DBGrid *m_grid;
};

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), m_model(new RecordSetModel(this))
{
    setVerticalHeader(new IndicatorHeader(this));
    setModel(m_model);
    setItemDelegate(new GridEditDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The view would scroll to every new current cell at once, laying out its rows each time; the grid
    // scrolls itself once the set has stopped moving (scheduleScroll).
    setAutoScroll(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultSectionSize(kDefaultColumnWidth);
    // One height for every row: the view never measures rows, whatever their number.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(kIndicatorWidth);
    verticalHeader()->setHighlightSections(false);
    applyRowHeight();
    m_designPalette = palette();

    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        followSet();
    });
    connect(m_model, &RecordSetModel::indicatorChanged, this, [this](int row) {
        QHeaderView *rows = verticalHeader();
        if (rows->isVisible())
            rows->viewport()->update(0, rows->sectionViewportPosition(row), rows->viewport()->width(),
                                     rows->sectionSize(row));
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int width) {
        // Keep what the user dragged: a reset of the rows (filter, reopen) must not undo it.
        if (!m_applyingWidths && section >= 0 && static_cast<size_t>(section) < m_columns.size())
            m_columns[static_cast<size_t>(section)].width = width;
    });
    m_focusLink = connect(qApp, &QApplication::focusChanged, this, &DBGrid::focusMoved);
    showFocusFrame(this);
    setOptions(defaultOptions());
}

DBGrid::~DBGrid()
{
    // The widget's own teardown still moves the focus away from it, and a set may emit meanwhile: nothing
    // may reach the parts of this grid that are already gone. QObject would cut these links only later.
    disconnect(m_focusLink);
    disconnect(m_model, nullptr, this, nullptr);
    disconnect(horizontalHeader(), nullptr, this, nullptr);
}

GridOptions DBGrid::defaultOptions()
{
    return GridOption::Editing | GridOption::Titles | GridOption::Indicator | GridOption::ColumnResize |
           GridOption::ColLines | GridOption::RowLines | GridOption::Tabs | GridOption::ConfirmDelete |
           GridOption::CancelOnExit;
}

RecordSet *DBGrid::set() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

bool DBGrid::editable() const
{
    return m_options.testFlag(GridOption::Editing) && !m_options.testFlag(GridOption::ReadOnly);
}

void DBGrid::setDataSource(DataSource *source)
{
    m_links.clear();
    m_source = source;
    RecordSet *s = set();
    m_model->setRecordSet(s);
    if (s) {
        m_links.add(connect(s, &RecordSet::currentChanged, this, [this] {
            if (!m_moving)
                followSet();
        }));
        m_links.add(connect(s, &RecordSet::updatingRecord, this, &DBGrid::writePendingEditor));
    }
    followSet();
}

void DBGrid::setColumns(const std::vector<GridColumn> &columns)
{
    m_columns = columns;
    m_model->setColumns(columns);
}

void DBGrid::setOptions(GridOptions options)
{
    m_options = options;
    horizontalHeader()->setVisible(options.testFlag(GridOption::Titles));
    verticalHeader()->setVisible(options.testFlag(GridOption::Indicator));
    horizontalHeader()->setSectionResizeMode(
        options.testFlag(GridOption::ColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
    // The view draws column and row lines together; either option asks for them.
    setShowGrid(options.testFlag(GridOption::ColLines) || options.testFlag(GridOption::RowLines));
    setTabKeyNavigation(options.testFlag(GridOption::Tabs));
    setSelectionBehavior(options.testFlag(GridOption::RowSelect) ? QAbstractItemView::SelectRows
                                                                 : QAbstractItemView::SelectItems);
    QPalette p = m_designPalette;
    if (options.testFlag(GridOption::AlwaysShowSelection)) {
        for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            p.setColor(QPalette::Inactive, role, p.color(QPalette::Active, role));
    }
    setPalette(p);
    setEditTriggers(editable() ? QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                               : QAbstractItemView::NoEditTriggers);
    followSet();
}

void DBGrid::applyWidths()
{
    m_applyingWidths = true;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const size_t i = static_cast<size_t>(c);
        horizontalHeader()->resizeSection(c, i < m_columns.size() ? m_columns[i].width : kDefaultColumnWidth);
    }
    m_applyingWidths = false;
}

void DBGrid::applyRowHeight()
{
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 3);
}

void DBGrid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyRowHeight();
}

// Puts the grid's current cell on the set's current row, keeping the column, and scrolls to it.
void DBGrid::followSet()
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection)
        return;
    RecordSet *s = set();
    const int row = s ? s->currentRow() : -1;
    m_following = true;
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) {
        if (currentIndex().isValid() || selection->hasSelection())
            selection->clear();
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = m_model->index(row, column);
        QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect;
        if (m_options.testFlag(GridOption::RowSelect))
            how |= QItemSelectionModel::Rows;
        selection->setCurrentIndex(index, how);
        // Scrolling needs the rows laid out; done once the set has stopped moving, a batch of inserts
        // (all users assigned at once) lays the grid out once instead of once per row.
        scheduleScroll();
    }
    m_following = false;
}

// Runs fn once from the event loop, however often it is asked for before then.
void DBGrid::queueOnce(bool &queued, void (DBGrid::*fn)())
{
    if (queued)
        return;
    queued = true;
    QMetaObject::invokeMethod(
        this,
        [this, &queued, fn] {
            queued = false;
            (this->*fn)();
        },
        Qt::QueuedConnection);
}

void DBGrid::scheduleFollow()
{
    queueOnce(m_followQueued, &DBGrid::followSet);
}

void DBGrid::scheduleScroll()
{
    queueOnce(m_scrollQueued, &DBGrid::scrollToCurrent);
}

void DBGrid::scrollToCurrent()
{
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // The base first hands a cell editor's text to the row it belongs to, before the row is left.
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        scheduleScroll();
    // While rows come and go, the view shifts its current cell by itself; the set decides where it ends.
    if (m_following || m_model->isChanging())
        return;
    RecordSet *s = set();
    if (!s || !s->isOpen() || !current.isValid() || current.row() == s->currentRow())
        return;
    m_moving = true;
    guarded([s, row = current.row()] { s->moveTo(row); });
    m_moving = false;
    if (s->currentRow() != current.row()) {
        // Refused (the pending row could not be stored) or shifted (an untouched new row above it was
        // dropped). A mouse press selects the row under the mouse after this returns, so look again later.
        followSet();
        scheduleFollow();
    }
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QTableView::keyPressEvent(event);
}

// The keys the grid answers itself; false leaves the key to the view.
bool DBGrid::handleKey(QKeyEvent *event)
{
    RecordSet *s = set();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool open = s && s->isOpen();
    // Ctrl+Tab and Ctrl+PgDn/PgUp belong to the page control around the grid, not to its cells.
    if (mods.testFlag(Qt::ControlModifier) &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab || event->key() == Qt::Key_PageDown ||
         event->key() == Qt::Key_PageUp)) {
        event->ignore();
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        if (mods != Qt::NoModifier || !open || !s->isEditing())
            return false;
        guarded([s] { s->cancel(); });
        return true;
    case Qt::Key_Delete:
        if (mods != Qt::ControlModifier)
            return false;
        if (m_options.testFlag(GridOption::ReadOnly) || !open || s->rowCount() == 0)
            return true;
        guarded([this, s] {
            if (m_options.testFlag(GridOption::ConfirmDelete) &&
                messageDlg(QStringLiteral("Datensatz löschen?"), MsgKind::Confirmation,
                           MsgButton::OK | MsgButton::Cancel) != MsgResult::OK)
                return;
            if (m_removeAction)
                m_removeAction();
            else
                s->remove();
        });
        return true;
    case Qt::Key_Insert:
        if (mods != Qt::NoModifier)
            return false;
        if (editable() && open)
            guarded([s] { s->insert(); });
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The Enter that ends the edit of a cell comes on from its editor: it ends the edit and no more.
        if (mods != Qt::NoModifier || state() == QAbstractItemView::EditingState)
            return false;
        guarded([this] { emit dblClick(); });
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!tabKeyNavigation() ||
            !tabLeaves(event->key() == Qt::Key_Tab && !mods.testFlag(Qt::ShiftModifier)))
            return false;
        // Ignored, the key moves the focus on to the next control instead of wrapping to another row.
        event->ignore();
        return true;
    case Qt::Key_Down:
        if (mods != Qt::NoModifier || !editable() || !open || s->currentRow() != s->rowCount() - 1)
            return false;
        // Already on a new row nobody has touched: there is nothing to append after it.
        if (s->state() == DataState::Insert && !s->isModified())
            return true;
        guarded([s] { s->append(); });
        return true;
    default:
        return false;
    }
}

bool DBGrid::tabLeaves(bool next) const
{
    const QModelIndex current = currentIndex();
    const QHeaderView *columns = horizontalHeader();
    if (!current.isValid() || columns->count() == 0)
        return true;
    // The row's first or last column that is on show.
    int edge = next ? columns->count() - 1 : 0;
    while (edge >= 0 && edge < columns->count() && columns->isSectionHidden(columns->logicalIndex(edge)))
        edge += next ? -1 : 1;
    const int at = columns->visualIndex(current.column());
    return next ? at >= edge : at <= edge;
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    RecordSet *s = set();
    // The first click could not make the row current (its move was refused): the double click is not meant
    // for the row that stayed current.
    if (at.isValid() && (!s || at.row() != s->currentRow()))
        return;
    guarded([this] { emit dblClick(); });
}

void DBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Esc in a cell editor drops the changes of the whole row, not just the editor's text.
    const bool revert = hint == QAbstractItemDelegate::RevertModelCache;
    // Tab in the editor of the row's last cell (Shift+Tab in its first) goes on to the next control, as it
    // does from the grid itself; the view would open the next row's cell instead.
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool leave =
        (next || hint == QAbstractItemDelegate::EditPreviousItem) && (!tabKeyNavigation() || tabLeaves(next));
    if (editor == m_editor)
        m_editor = nullptr;
    QTableView::closeEditor(editor, revert || leave ? QAbstractItemDelegate::NoHint : hint);
    if (leave)
        QTableView::focusNextPrevChild(next);
    if (revert) {
        RecordSet *s = set();
        guarded([s] {
            if (s)
                s->cancel();
        });
    }
}

void DBGrid::startEdit(QLineEdit *editor)
{
    RecordSet *s = set();
    if (!s || s->isEditing())
        return;
    if (!guarded([s] { s->edit(); }))
        closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// A post from elsewhere (a save button) takes over what is still typed in the cell editor.
void DBGrid::writePendingEditor()
{
    if (m_editor)
        commitData(m_editor);
}

void DBGrid::focusMoved(QWidget *from, QWidget *to)
{
    if (!m_options.testFlag(GridOption::CancelOnExit))
        return;
    const bool wasIn = from && (from == this || isAncestorOf(from));
    const bool isIn = to && (to == this || isAncestorOf(to));
    // Only a move to another control of the window leaves the grid; a message box or another program
    // taking the focus does not.
    if (!wasIn || isIn || !to || to->window() != window())
        return;
    RecordSet *s = set();
    if (s && s->isOpen() && s->state() == DataState::Insert && !s->isModified())
        guarded([s] { s->cancel(); });
}

} // namespace ui
