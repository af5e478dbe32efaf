#include "Accessible.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QPointer>

namespace ui {

namespace {

const QString kName = QStringLiteral("RowCounter");

// Follows the rows of one view's model; a child of the view, so it goes with it.
class RowCounter : public QObject
{
public:
    explicit RowCounter(QAbstractItemView *view) : QObject(view), m_view(view)
    {
        setObjectName(kName);
        QAbstractItemModel *model = view->model();
        Q_ASSERT(model);
        // Only the count is read: the same cost for one row or a million.
        const auto update = [this] { describe(); };
        connect(model, &QAbstractItemModel::rowsInserted, this, update);
        connect(model, &QAbstractItemModel::rowsRemoved, this, update);
        connect(model, &QAbstractItemModel::modelReset, this, update);
        connect(model, &QAbstractItemModel::layoutChanged, this, update);
    }

    void describe()
    {
        if (m_view && m_view->model())
            m_view->setAccessibleDescription(
                rowsDescription(m_view->accessibleName(), m_view->model()->rowCount()));
    }

private:
    QPointer<QAbstractItemView> m_view;
};

} // namespace

void nameControl(QWidget *control, const QString &name, const QString &description)
{
    control->setAccessibleName(name);
    if (!description.isEmpty())
        control->setAccessibleDescription(description);
}

void nameRows(QAbstractItemView *view, const QString &name)
{
    view->setAccessibleName(name);
    auto *counter = static_cast<RowCounter *>(view->findChild<QObject *>(kName, Qt::FindDirectChildrenOnly));
    if (!counter)
        counter = new RowCounter(view);
    counter->describe();
}

QString rowsDescription(const QString &name, int rows)
{
    // One pass: a name holding "%2" stays as it is.
    return rows == 1 ? QStringLiteral("%1, 1 Zeile").arg(name)
                     : QStringLiteral("%1, %2 Zeilen").arg(name, QString::number(rows));
}

} // namespace ui
