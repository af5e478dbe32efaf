// Parts the pages share, and the rights overview page, which has no handlers of its own.

#include "DataSource.h"
#include "DBEdit.h"
#include "DBGrid.h"
#include "Main.h"
#include "PageParts.h"

#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace pageparts {

QToolButton *toolButton(QToolBar *bar, const QString &name, const QString &caption, const QIcon &icon,
                        Qt::ToolButtonStyle style)
{
    auto *b = new QToolButton(bar);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(icon);
    b->setToolButtonStyle(style);
    b->setAutoRaise(true);
    // Tool buttons never take the focus, by mouse or by their key: the control the user works in keeps it,
    // and leaves it only when a handler moves it on purpose.
    b->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(b);
    return b;
}

// A separator button of the given width.
void separator(QToolBar *bar, const QString &name, int width)
{
    auto *gap = new QWidget(bar);
    gap->setObjectName(name);
    gap->setFixedWidth(width);
    bar->addWidget(gap);
}

QToolBar *flatBar(QWidget *parent, const QString &name)
{
    auto *bar = new QToolBar(parent);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    return bar;
}

ui::DBEdit *edit(QWidget *parent, const QString &name, ui::DataSource *source, const QString &field, int left,
                 int top, int width)
{
    auto *e = new ui::DBEdit(parent);
    e->setObjectName(name);
    e->setDataSource(source);
    e->setDataField(field);
    e->setGeometry(left, top, width, 21);
    return e;
}

} // namespace pageparts

void TFMain::buildRightsPage()
{
    auto *page = new QVBoxLayout(TabSheet3);
    page->setContentsMargins(0, 0, 0, 0);
    DBGrid5 = new ui::DBGrid(TabSheet3);
    DBGrid5->setObjectName(QStringLiteral("DBGrid5"));
    DBGrid5->setDataSource(Qrechte1);
    DBGrid5->setColumns({{QStringLiteral("User"), QString(), 120},
                         {QStringLiteral("Gruppe"), QString(), 120},
                         {QStringLiteral("Titel"), QString(), 120}});
    // The platform grid's default options.
    using ui::GridOption;
    DBGrid5->setOptions(GridOption::Titles | GridOption::Indicator | GridOption::ColumnResize |
                        GridOption::ColLines | GridOption::RowLines | GridOption::Tabs | GridOption::Editing |
                        GridOption::ConfirmDelete | GridOption::CancelOnExit);
    page->addWidget(DBGrid5);
}
