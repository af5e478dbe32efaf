// The three pages of the main window as designed: positions and sizes in pixels.

#include "ImageLists.h"
#include "Main.h"
#include "ui/DataSource.h"
#include "ui/DBCheckBox.h"
#include "ui/DBEdit.h"
#include "ui/DBGrid.h"
#include "ui/PlacedLabel.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton *toolButton(QToolBar *bar, const QString &name, const QString &caption, const QIcon &icon,
                        Qt::ToolButtonStyle style)
{
    auto *b = new QToolButton(bar);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(icon);
    b->setToolButtonStyle(style);
    b->setAutoRaise(true);
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

} // namespace

void TFMain::buildUsersPage()
{
    auto *page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    GroupBox2 = new QGroupBox(QStringLiteral("Benutzer bearbeiten / anlegen"), TabSheet1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setFixedHeight(126);
    page->addWidget(GroupBox2);

    const QList<QIcon> icons = imagelists::imageList1();
    ToolBar1 = flatBar(GroupBox2, QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(2, 15, 600, 24);
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar#ToolBar1 { border-bottom: 1px solid palette(mid); }"
                                           "QToolBar#ToolBar1 QToolButton { min-width: 84px; }"));
    const auto beside = Qt::ToolButtonTextBesideIcon;
    separator(ToolBar1, QStringLiteral("ToolButton3"), 8);
    Bneu = toolButton(ToolBar1, QStringLiteral("Bneu"), QStringLiteral("A&nlegen"), icons.value(1), beside);
    separator(ToolBar1, QStringLiteral("ToolButton4"), 8);
    Bdel = toolButton(ToolBar1, QStringLiteral("Bdel"), QStringLiteral("Löschen"), icons.value(2), beside);
    separator(ToolBar1, QStringLiteral("ToolButton5"), 8);
    Bsave =
        toolButton(ToolBar1, QStringLiteral("Bsave"), QStringLiteral("&Speichern"), icons.value(3), beside);
    Bsave->setEnabled(false);
    ToolButton2 = toolButton(ToolBar1, QStringLiteral("ToolButton2"), QStringLiteral("Rechte-Kopie"),
                             icons.value(4), beside);

    Label4 = ui::placedLabel(GroupBox2, QStringLiteral("Benutzer"), QPoint(10, 50), QStringLiteral("Label4"));
    Label6 =
        ui::placedLabel(GroupBox2, QStringLiteral("Initialien"), QPoint(10, 75), QStringLiteral("Label6"));
    Label5 =
        ui::placedLabel(GroupBox2, QStringLiteral("Vollst. Name"), QPoint(10, 100), QStringLiteral("Label5"));
    Label7 =
        ui::placedLabel(GroupBox2, QStringLiteral("NT-Login"), QPoint(230, 50), QStringLiteral("Label7"));
    Label8 =
        ui::placedLabel(GroupBox2, QStringLiteral("Kennwort"), QPoint(230, 75), QStringLiteral("Label8"));
    DBEdit1 = edit(GroupBox2, QStringLiteral("DBEdit1"), UserList1, QStringLiteral("User"), 75, 45, 150);
    DBEdit3 = edit(GroupBox2, QStringLiteral("DBEdit3"), UserList1, QStringLiteral("Initialien"), 75, 70, 69);
    DBEdit2 = edit(GroupBox2, QStringLiteral("DBEdit2"), UserList1, QStringLiteral("RealName"), 75, 95, 150);
    DBEdit4 = edit(GroupBox2, QStringLiteral("DBEdit4"), UserList1, QStringLiteral("NTUser"), 295, 45, 150);
    DBEdit5 = edit(GroupBox2, QStringLiteral("DBEdit5"), UserList1, QStringLiteral("Passwort"), 295, 70, 150);
    Label4->setBuddy(DBEdit1);
    Label6->setBuddy(DBEdit3);
    Label5->setBuddy(DBEdit2);
    Label7->setBuddy(DBEdit4);
    Label8->setBuddy(DBEdit5);

    DBCheckBox1 = new ui::DBCheckBox(GroupBox2);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setText(QStringLiteral("Admin"));
    DBCheckBox1->setLayoutDirection(Qt::RightToLeft); // caption left of the box
    DBCheckBox1->setDataSource(UserList1);
    DBCheckBox1->setDataField(QStringLiteral("Admin"));
    DBCheckBox1->setValueChecked(QStringLiteral("Wahr"));
    DBCheckBox1->setValueUnchecked(QStringLiteral("Falsch"));
    DBCheckBox1->setGeometry(230, 95, 78, 17);

    Label1 = new QLabel(QStringLiteral("Passwort wird nach Eingabe verschlüsselt!"), GroupBox2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setGeometry(450, 75, 151, 41);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    SpeedButton1 = new QToolButton(GroupBox2);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true); // only its frame shows, and only under the mouse
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setGeometry(390, 95, 46, 16);

    setTabOrder(DBEdit1, DBEdit3);
    setTabOrder(DBEdit3, DBEdit2);
    setTabOrder(DBEdit2, DBEdit4);
    setTabOrder(DBEdit4, DBEdit5);
    setTabOrder(DBEdit5, DBCheckBox1);
    setTabOrder(DBCheckBox1, ToolBar1);

    DBGrid1 = new ui::DBGrid(TabSheet1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(UserList1);
    DBGrid1->setColumns({{QStringLiteral("User"), QString(), 60},
                         {QStringLiteral("Initialien"), QString(), 64},
                         {QStringLiteral("RealName"), QString(), 120},
                         {QStringLiteral("NTUser"), QString(), 97},
                         {QStringLiteral("Admin"), QString(), 64}});
    using ui::GridOption;
    DBGrid1->setOptions(GridOption::Titles | GridOption::Indicator | GridOption::ColumnResize |
                        GridOption::ColLines | GridOption::RowLines | GridOption::Tabs |
                        GridOption::RowSelect | GridOption::AlwaysShowSelection | GridOption::ConfirmDelete |
                        GridOption::CancelOnExit);
    page->addWidget(DBGrid1, 1);
    setTabOrder(ToolBar1, DBGrid1);
}

void TFMain::buildFunctionsPage()
{
    auto *page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel1 = new QWidget(TabSheet2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(26);
    page->addWidget(Panel1);

    const QList<QIcon> groupIcons = imagelists::imageList1();
    const auto only = Qt::ToolButtonIconOnly;
    ToolBar2 = flatBar(Panel1, QStringLiteral("ToolBar2"));
    GroupChange = toolButton(ToolBar2, QStringLiteral("GroupChange"), QString(), groupIcons.value(0), only);
    GroupChange->setToolTip(QStringLiteral("Haupt-Gruppe wechseln"));
    separator(ToolBar2, QStringLiteral("ToolButton1"), 8);
    GroupAdd = toolButton(ToolBar2, QStringLiteral("GroupAdd"), QString(), groupIcons.value(1), only);
    GroupAdd->setToolTip(QStringLiteral("Unter-Gruppe hinzufügen"));
    ToolButton6 = toolButton(ToolBar2, QStringLiteral("ToolButton6"), QString(), groupIcons.value(4), only);
    GroupDel = toolButton(ToolBar2, QStringLiteral("GroupDel"), QString(), groupIcons.value(2), only);
    GroupDel->setToolTip(QStringLiteral("Unter-Gruppe löschen"));
    // The action of the hidden button is the bar's own, so hiding goes through it.
    for (QAction *a : ToolBar2->actions()) {
        if (ToolBar2->widgetForAction(a) == GroupChange)
            a->setVisible(false);
    }
    connect(GroupChange, &QToolButton::clicked, this, [this] { GroupChangeClick(); });
    ToolBar2->adjustSize();
    ToolBar2->move(5, 0);

    Gruppe = new QLabel(QStringLiteral("Gruppe: Formulare"), Panel1);
    Gruppe->setObjectName(QStringLiteral("Gruppe"));
    Gruppe->setGeometry(125, 5, 255, 16);

    const QList<QIcon> userIcons = imagelists::imageList2();
    ToolBar3 = flatBar(Panel1, QStringLiteral("ToolBar3"));
    UserDEL = toolButton(ToolBar3, QStringLiteral("UserDEL"), QString(), userIcons.value(1), only);
    UserDEL->setToolTip(QStringLiteral("Benutzer aus Gruppe löschen"));
    separator(ToolBar3, QStringLiteral("ToolButton12"), 18);
    UserAdd = toolButton(ToolBar3, QStringLiteral("UserAdd"), QString(), userIcons.value(0), only);
    UserAdd->setToolTip(QStringLiteral("Benutzer in Gruppe hinzufügen"));
    UserAddall = toolButton(ToolBar3, QStringLiteral("UserAddall"), QString(), userIcons.value(2), only);
    UserAddall->setToolTip(QStringLiteral("alle Benutzer in Gruppe hinzufügen"));
    ToolBar3->adjustSize();
    ToolBar3->move(385, 0);

    auto *grids = new QHBoxLayout;
    grids->setContentsMargins(0, 0, 0, 0);
    grids->setSpacing(0);
    using ui::GridOption;

    DBGrid3 = new ui::DBGrid(TabSheet2);
    DBGrid3->setObjectName(QStringLiteral("DBGrid3"));
    DBGrid3->setDataSource(Gruppen1);
    DBGrid3->setColumns({{QStringLiteral("id"), QString(), 30}, {QStringLiteral("Titel"), QString(), 263}});
    DBGrid3->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::Editing |
                        GridOption::ConfirmDelete | GridOption::CancelOnExit);
    DBGrid3->setFixedWidth(316);

    DBGrid4 = new ui::DBGrid(TabSheet2);
    DBGrid4->setObjectName(QStringLiteral("DBGrid4"));
    DBGrid4->setDataSource(FunktionenBenutzer1);
    DBGrid4->setColumns({{QStringLiteral("User"), QStringLiteral("Benutzer"), 48}});
    DBGrid4->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::RowSelect |
                        GridOption::ReadOnly);

    DBGrid2 = new ui::DBGrid(TabSheet2);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setDataSource(UserList1);
    DBGrid2->setColumns({{QStringLiteral("User"), QStringLiteral("Alle Benutzer"), 109},
                         {QStringLiteral("Initialien"), QString(), 64}});
    DBGrid2->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::RowSelect |
                        GridOption::ReadOnly);
    DBGrid2->setFixedWidth(161);

    grids->addWidget(DBGrid3);
    grids->addWidget(DBGrid4, 1);
    grids->addWidget(DBGrid2);
    page->addLayout(grids, 1);

    setTabOrder(ToolBar2, ToolBar3);
    setTabOrder(ToolBar3, DBGrid2);
    setTabOrder(DBGrid2, DBGrid3);
    setTabOrder(DBGrid3, DBGrid4);
}

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
