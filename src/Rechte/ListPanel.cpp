#include "ListPanel.h"

#include "Accessible.h"
#include "ErrorHandler.h"
#include "FocusFrame.h"
#include "GridModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace rechte {

namespace {
constexpr int kColumnWidth = 160;
} // namespace

ListPanel::ListPanel(const QString &name, int parts, QWidget *parent)
    : QWidget(parent), m_model(new GridModel(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    if (parts & Filter) {
        m_filter = new QLineEdit(this);
        m_filter->setObjectName(name + QStringLiteral("Filter"));
        m_filter->setPlaceholderText(QStringLiteral("Filter"));
        m_filter->setClearButtonEnabled(true);
        column->addWidget(m_filter);
        m_filter->installEventFilter(this);
        connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
            ui::guarded([&] {
                const int before = chosenRow();
                m_model->setFilter(text);
                choose(before);
                showCount();
            });
        });
    }
    // Made after the filter: Tab goes from the filter into its list, as they stand.
    m_table = new QTableView(this);
    m_table->setObjectName(name);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSortingEnabled(true);
    m_table->setWordWrap(false);
    // The lists are read-only: Tab leaves them instead of going from cell to cell.
    m_table->setTabKeyNavigation(false);
    // Paths tell rows apart by their ends: "Formulare › … › Lager 9 › Ändern".
    m_table->setTextElideMode(Qt::ElideMiddle);
    // Fixed sizes: a million rows must not be measured one by one.
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSortIndicatorShown(false);
    ui::showFocusFrame(m_table);
    column->addWidget(m_table, 1);
    if (parts & Count) {
        m_count = new QLabel(this);
        m_count->setObjectName(name + QStringLiteral("Count"));
        column->addWidget(m_count);
    }
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { emit chosen(m_model->gridRow(current.row())); });
    // A reset (new rows, another filter) measures the columns anew; they keep their widths.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { setWidths(m_widths); });
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this] { m_table->horizontalHeader()->setSortIndicatorShown(true); });
}

void ListPanel::setSpokenName(const QString &list)
{
    ui::nameRows(m_table, list);
    if (m_filter)
        ui::nameControl(m_filter, QStringLiteral("%1 filtern").arg(list));
}

void ListPanel::setGrid(TextGrid grid, int chooseRow)
{
    if (m_filter)
        grid.setFilter(m_filter->text());
    // A sort the user chose by a header stays in force.
    const QHeaderView *header = m_table->horizontalHeader();
    if (header->isSortIndicatorShown())
        grid.sortBy(header->sortIndicatorSection(), header->sortIndicatorOrder() == Qt::DescendingOrder);
    m_model->setGrid(std::move(grid));
    choose(chooseRow);
    showCount();
}

void ListPanel::setWidths(const std::vector<int> &widths)
{
    m_widths = widths;
    QHeaderView *header = m_table->horizontalHeader();
    bool stretched = false;
    // Columns the model does not have yet get their widths when it has them (on its reset).
    for (std::size_t c = 0; c < widths.size() && static_cast<int>(c) < header->count(); ++c) {
        const int column = static_cast<int>(c);
        if (widths[c] == kStretch) {
            header->setSectionResizeMode(column, QHeaderView::Stretch);
            stretched = true;
        } else if (widths[c] > 0) {
            m_table->setColumnWidth(column, widths[c]);
        }
    }
    header->setStretchLastSection(!stretched);
    fitColumns();
}

void ListPanel::fitColumns()
{
    // Measured by the longest text, not row by row: ids are digits of one width, and a list may hold a
    // million of them.
    const TextGrid &grid = m_model->grid();
    const QFontMetrics metrics = m_table->fontMetrics();
    const int margin = 2 * m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 12;
    for (std::size_t c = 0; c < m_widths.size() && static_cast<int>(c) < grid.columnCount(); ++c) {
        if (m_widths[c] != kFit)
            continue;
        const int column = static_cast<int>(c);
        QString widest = grid.headers().value(column);
        for (int row = 0; row < grid.rowCount(); ++row) {
            if (grid.text(row, column).size() > widest.size())
                widest = grid.text(row, column);
        }
        const int header = metrics.horizontalAdvance(grid.headers().value(column));
        m_table->setColumnWidth(column, std::max(header, metrics.horizontalAdvance(widest)) + margin);
    }
}

void ListPanel::setCounter(std::function<QString(const TextGrid &)> counter)
{
    m_counter = std::move(counter);
    showCount();
}

bool ListPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Down or Enter in the filter goes on into the list, to the first line when none is chosen.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_table->setFocus(Qt::TabFocusReason);
            if (!m_table->currentIndex().isValid() && m_model->rowCount() > 0)
                choose(m_model->gridRow(0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

const TextGrid &ListPanel::grid() const
{
    return m_model->grid();
}

int ListPanel::chosenRow() const
{
    const QModelIndex current = m_table->currentIndex();
    return current.isValid() ? m_model->gridRow(current.row()) : -1;
}

void ListPanel::choose(int gridRow)
{
    const int row = gridRow < 0 ? -1 : m_model->shownRow(gridRow);
    if (row < 0) {
        m_table->selectionModel()->clear();
        emit chosen(-1);
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

void ListPanel::showCount()
{
    if (!m_count)
        return;
    if (m_counter) {
        m_count->setText(m_counter(m_model->grid()));
        return;
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto shown = static_cast<qint64>(m_model->grid().shown().size());
    const auto all = static_cast<qint64>(m_model->grid().rowCount());
    const QString noun = all == 1 ? QStringLiteral("Zuordnung") : QStringLiteral("Zuordnungen");
    m_count->setText(
        shown == all
            ? QStringLiteral("%1 %2").arg(german.toString(all), noun)
            : QStringLiteral("%1 von %2 %3").arg(german.toString(shown), german.toString(all), noun));
}

} // namespace rechte
