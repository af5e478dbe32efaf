#include "RecordSetModel.h"

#include "ErrorHandler.h"

namespace ui {

using store::DataState;
using store::FieldType;
using store::RecordSet;

RecordSetModel::RecordSetModel(QObject *parent) : QAbstractTableModel(parent) {}

RecordSetModel::RecordSetModel(RecordSet *set, QObject *parent) : QAbstractTableModel(parent)
{
    setRecordSet(set);
}

void RecordSetModel::setRecordSet(RecordSet *set)
{
    if (set == m_set && !m_links.empty())
        return;
    beginResetModel();
    for (const QMetaObject::Connection &c : m_links)
        disconnect(c);
    m_links.clear();
    m_set = set;
    bind();
    resolveColumns();
    m_marked = m_set ? m_set->currentRow() : -1;
    endResetModel();
}

void RecordSetModel::bind()
{
    if (!m_set)
        return;
    RecordSet *s = m_set.data();
    m_links = {
        connect(s, &RecordSet::viewAboutToReset, this, &RecordSetModel::onAboutToReset),
        connect(s, &RecordSet::viewReset, this, &RecordSetModel::onReset),
        connect(s, &RecordSet::rowAboutToBeInserted, this, &RecordSetModel::onRowAboutToBeInserted),
        connect(s, &RecordSet::rowInserted, this, &RecordSetModel::onRowInserted),
        connect(s, &RecordSet::rowAboutToBeRemoved, this, &RecordSetModel::onRowAboutToBeRemoved),
        connect(s, &RecordSet::rowRemoved, this, &RecordSetModel::onRowRemoved),
        connect(s, &RecordSet::rowChanged, this, &RecordSetModel::onRowChanged),
        connect(s, &RecordSet::currentChanged, this, &RecordSetModel::onCurrentChanged),
        connect(s, &RecordSet::stateChanged, this, [this] { markRow(m_marked); }),
        // A set that goes away leaves an empty grid, not a dangling one.
        connect(s, &QObject::destroyed, this,
                [this] {
                    beginResetModel();
                    m_links.clear();
                    m_marked = -1;
                    resolveColumns();
                    endResetModel();
                }),
    };
}

void RecordSetModel::setColumns(const std::vector<GridColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    resolveColumns();
    endResetModel();
}

// Field positions are only known once the set is open, and may differ after each open.
void RecordSetModel::resolveColumns()
{
    m_shown.clear();
    if (!m_columns.empty()) {
        m_shown = m_columns;
    } else if (m_set) {
        for (const store::FieldDef &def : m_set->fields())
            m_shown.push_back(GridColumn{def.name, QString(), 64});
    }
    m_fieldOf.assign(m_shown.size(), -1);
    m_typeOf.assign(m_shown.size(), FieldType::Text);
    if (!m_set)
        return;
    for (size_t c = 0; c < m_shown.size(); ++c) {
        const int f = m_set->fieldIndex(m_shown[c].field);
        m_fieldOf[c] = f;
        if (f >= 0)
            m_typeOf[c] = m_set->fields()[static_cast<size_t>(f)].type;
    }
}

int RecordSetModel::fieldOf(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_fieldOf.size()) || !m_set || !m_set->isOpen())
        return -1;
    return m_fieldOf[static_cast<size_t>(column)];
}

RecordSetModel::Indicator RecordSetModel::indicatorAt(int row) const
{
    if (!m_set || row < 0 || row != m_set->currentRow())
        return Indicator::None;
    switch (m_set->state()) {
    case DataState::Edit:
        return Indicator::Edit;
    case DataState::Insert:
        return Indicator::Insert;
    default:
        return Indicator::Current;
    }
}

bool RecordSetModel::isCell(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < rowCount() &&
           index.column() < columnCount();
}

int RecordSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_set)
        return 0;
    return m_set->rowCount();
}

int RecordSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

QString RecordSetModel::textAt(int row, int field) const
{
    ++m_cellReads;
    // While the set drops a new row it still says Insert for a moment, with the edit buffer standing for
    // the stored row that has become current; that row's own values are its old values.
    const bool dropping =
        m_set->state() == DataState::Insert && row == m_set->currentRow() && !m_set->isPendingRow(row);
    const QVariant v = dropping ? m_set->oldValue(field) : m_set->valueAt(row, field);
    if (!v.isValid() || v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Bool)
        return store::truthWords().text(v.toBool());
    return v.toString();
}

QVariant RecordSetModel::data(const QModelIndex &index, int role) const
{
    if (!isCell(index))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const int f = fieldOf(index.column());
        return f < 0 ? QString() : textAt(index.row(), f);
    }
    case Qt::TextAlignmentRole: {
        const FieldType t = m_typeOf[static_cast<size_t>(index.column())];
        const bool number = t == FieldType::Integer || t == FieldType::AutoInc;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return QVariant();
    }
}

bool RecordSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isCell(index) || !m_set)
        return false;
    const int f = fieldOf(index.column());
    if (f < 0 || index.row() != m_set->currentRow())
        return false;
    // Confirming an editor that changed nothing must not start an edit the user never asked for.
    if (value.toString() == textAt(index.row(), f))
        return true;
    RecordSet *s = m_set.data();
    return guarded([s, f, &value] {
        s->edit();
        s->setValue(f, value);
    });
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex &index) const
{
    if (!isCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    const int field = fieldOf(index.column());
    if (field >= 0 && m_typeOf[static_cast<size_t>(index.column())] != FieldType::AutoInc &&
        !m_set->tableName().isEmpty())
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount() || role != Qt::DisplayRole)
            return QVariant();
        const GridColumn &c = m_shown[static_cast<size_t>(section)];
        return c.title.isEmpty() ? c.field : c.title;
    }
    if (section < 0 || section >= rowCount())
        return QVariant();
    if (role == IndicatorRole)
        return static_cast<int>(indicatorAt(section));
    if (role == Qt::DisplayRole)
        return QString(); // the indicator is drawn, not written; no row numbers
    return QVariant();
}

void RecordSetModel::markRow(int row)
{
    if (!m_changing && row >= 0 && row < rowCount())
        emit indicatorChanged(row);
}

void RecordSetModel::onAboutToReset()
{
    m_changing = true;
    beginResetModel();
}

void RecordSetModel::onReset()
{
    resolveColumns();
    m_marked = m_set ? m_set->currentRow() : -1;
    endResetModel();
    m_changing = false;
}

void RecordSetModel::onRowAboutToBeInserted(int row)
{
    m_changing = true;
    beginInsertRows(QModelIndex(), row, row);
}

void RecordSetModel::onRowInserted(int row)
{
    if (m_marked >= row)
        ++m_marked;
    endInsertRows();
    m_changing = false;
}

void RecordSetModel::onRowAboutToBeRemoved(int row)
{
    m_changing = true;
    beginRemoveRows(QModelIndex(), row, row);
}

void RecordSetModel::onRowRemoved(int row)
{
    if (m_marked == row)
        m_marked = -1;
    else if (m_marked > row)
        --m_marked;
    endRemoveRows();
    m_changing = false;
}

void RecordSetModel::onRowChanged(int row)
{
    if (m_changing || row < 0 || row >= rowCount() || columnCount() == 0)
        return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    markRow(row);
}

void RecordSetModel::onCurrentChanged(int row)
{
    const int old = m_marked;
    m_marked = row;
    if (old != row)
        markRow(old);
    markRow(row);
}

} // namespace ui
