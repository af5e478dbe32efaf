// Small builders the pages of the main window share.

#include "PageParts.h"
#include "DBEdit.h"

#include <QToolBar>
#include <QToolButton>

#include <algorithm>

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
    // A click or the button's key never takes the focus: the control the user works in keeps it, and leaves
    // it only when a handler moves it on purpose. Tab reaches the button, so that it works without a mouse.
    b->setFocusPolicy(Qt::TabFocus);
    bar->addWidget(b);
    return b;
}

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

int heightForText(const QWidget *w, int designed, int padding)
{
    return std::max(designed, w->fontMetrics().height() + padding);
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
