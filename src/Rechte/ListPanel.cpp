#include "ListPanel.h"

#include "ErrorHandler.h"
#include "GridModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <QVBoxLayout>

namespace rechte {

namespace {
constexpr int kColumnWidth = 160;
} // namespace

ListPanel::ListPanel(const QString &name, int parts, QWidget *parent)
    : QWidget(parent), m_model(new GridModel(this)), m_table(new QTableView(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    if (parts & Filter) {
        m_filter = new QLineEdit(this);
        m_filter->setObjectName(name + QStringLiteral("Filter"));
        m_filter->setPlaceholderText(QStringLiteral("Filter"));
        m_filter->setClearButtonEnabled(true);
        column->addWidget(m_filter);
        connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
            ui::guarded([&] {
                const int before = chosenRow();
                m_model->setFilter(text);
                choose(before);
                showCount();
            });
        });
    }
    m_table->setObjectName(name);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSortingEnabled(true);
    m_table->setWordWrap(false);
    // Fixed sizes: a million rows must not be measured one by one.
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSortIndicatorShown(false);
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
    for (std::size_t c = 0; c < widths.size(); ++c)
        m_table->setColumnWidth(static_cast<int>(c), widths[c]);
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
