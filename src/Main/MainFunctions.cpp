// The functions page: its fixed layout (positions and sizes in pixels) and its handlers.

#include "Accessible.h"
#include "Anlegen.h"
#include "Busy.h"
#include "DataSource.h"
#include "DBGrid.h"
#include "GruppenBaum.h"
#include "ImageLists.h"
#include "InputQuery.h"
#include "Main.h"
#include "MessageBoxes.h"
#include "OnClick.h"
#include "PageParts.h"
#include "RecordSet.h"
#include "Rights.h"
#include "Schema.h"
#include "SDaten.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

namespace {

// The id of the function the assignments go to: none when the grid has no function, or only a new one
// that is not stored yet. An assignment to no function is junk every reader of the file would see.
std::optional<qint32> currentFunction(store::RecordSet *functions)
{
    if (functions->isEmpty() || functions->currentRow() < 0)
        return std::nullopt;
    const store::Field id = functions->field(schema::funktionen::kId);
    if (id.isNull())
        return std::nullopt;
    return id.asInteger();
}

} // namespace

void TFMain::buildFunctionsPage()
{
    auto *page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel1 = new QWidget(TabSheet2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(26);
    page->addWidget(Panel1);

    buildGroupButtons();
    buildAssignButtons();
    page->addLayout(buildFunctionGrids(), 1);
}

void TFMain::buildGroupButtons()
{
    const auto only = Qt::ToolButtonIconOnly;
    const QList<QIcon> groupIcons = imagelists::imageList1();
    ToolBar2 = pageparts::flatBar(Panel1, QStringLiteral("ToolBar2"));
    GroupChange =
        pageparts::toolButton(ToolBar2, QStringLiteral("GroupChange"), QString(), groupIcons.value(0), only);
    GroupChange->setToolTip(QStringLiteral("Haupt-Gruppe wechseln"));
    pageparts::separator(ToolBar2, QStringLiteral("ToolButton1"), 8);
    GroupAdd =
        pageparts::toolButton(ToolBar2, QStringLiteral("GroupAdd"), QString(), groupIcons.value(1), only);
    GroupAdd->setToolTip(QStringLiteral("Unter-Gruppe hinzufügen"));
    ToolButton6 =
        pageparts::toolButton(ToolBar2, QStringLiteral("ToolButton6"), QString(), groupIcons.value(4), only);
    GroupDel =
        pageparts::toolButton(ToolBar2, QStringLiteral("GroupDel"), QString(), groupIcons.value(2), only);
    GroupDel->setToolTip(QStringLiteral("Unter-Gruppe löschen"));
    // The action of the hidden button is the bar's own, so hiding goes through it.
    for (QAction *a : ToolBar2->actions()) {
        if (ToolBar2->widgetForAction(a) == GroupChange)
            a->setVisible(false);
    }
    ui::onClick(GroupChange, this, &TFMain::GroupChangeClick);
    ui::onClick(GroupAdd, this, &TFMain::GroupAddClick);
    ui::onClick(ToolButton6, this, &TFMain::ToolButton6Click);
    ui::onClick(GroupDel, this, &TFMain::GroupDelClick);
    // The buttons show icons only; their names are what the tool-tips say.
    ui::nameControl(GroupChange, QStringLiteral("Haupt-Gruppe wechseln"), QStringLiteral("Ohne Wirkung"));
    ui::nameControl(
        GroupAdd, QStringLiteral("Unter-Gruppe hinzufügen"),
        QStringLiteral("Fragt nach einem Titel und legt ihn als Funktion in der gezeigten Gruppe an"));
    ui::nameControl(
        ToolButton6, QStringLiteral("Standard-Rechte hinzufügen"),
        QStringLiteral("Legt die gewählten Standard-Rechte als Funktionen in der gezeigten Gruppe an"));
    ui::nameControl(GroupDel, QStringLiteral("Unter-Gruppe löschen"),
                    QStringLiteral("Löscht die gewählte Funktion nach einer Rückfrage"));
    ToolBar2->adjustSize();
    ToolBar2->move(5, 0);

    Gruppe = new QLabel(schema::groupCaption(schema::kRootTitle), Panel1);
    Gruppe->setObjectName(QStringLiteral("Gruppe"));
    Gruppe->setTextFormat(Qt::PlainText); // a title from the file, never markup
    Gruppe->setGeometry(125, 5, 255, 16);
    Gruppe->resize(Gruppe->width(), pageparts::heightForText(Gruppe, Gruppe->height(), 0));
}

void TFMain::buildAssignButtons()
{
    const auto only = Qt::ToolButtonIconOnly;
    const QList<QIcon> userIcons = imagelists::imageList2();
    ToolBar3 = pageparts::flatBar(Panel1, QStringLiteral("ToolBar3"));
    UserDEL = pageparts::toolButton(ToolBar3, QStringLiteral("UserDEL"), QString(), userIcons.value(1), only);
    UserDEL->setToolTip(QStringLiteral("Benutzer aus Gruppe löschen"));
    pageparts::separator(ToolBar3, QStringLiteral("ToolButton12"), 18);
    UserAdd = pageparts::toolButton(ToolBar3, QStringLiteral("UserAdd"), QString(), userIcons.value(0), only);
    UserAdd->setToolTip(QStringLiteral("Benutzer in Gruppe hinzufügen"));
    UserAddall =
        pageparts::toolButton(ToolBar3, QStringLiteral("UserAddall"), QString(), userIcons.value(2), only);
    UserAddall->setToolTip(QStringLiteral("alle Benutzer in Gruppe hinzufügen"));
    ui::onClick(UserDEL, this, &TFMain::UserDELClick);
    ui::onClick(UserAdd, this, &TFMain::UserAddClick);
    ui::onClick(UserAddall, this, &TFMain::UserAddallClick);
    ui::nameControl(UserDEL, QStringLiteral("Benutzer aus Gruppe löschen"),
                    QStringLiteral("Nimmt den gewählten Benutzer aus der gewählten Funktion"));
    ui::nameControl(UserAdd, QStringLiteral("Benutzer in Gruppe hinzufügen"),
                    QStringLiteral("Ordnet den gewählten Benutzer der gewählten Funktion zu"));
    ui::nameControl(UserAddall, QStringLiteral("Alle Benutzer in Gruppe hinzufügen"),
                    QStringLiteral("Ordnet alle Benutzer der gewählten Funktion zu"));
    ToolBar3->adjustSize();
    ToolBar3->move(385, 0);
}

QBoxLayout *TFMain::buildFunctionGrids()
{
    auto *grids = new QHBoxLayout;
    grids->setContentsMargins(0, 0, 0, 0);
    grids->setSpacing(0);
    using ui::GridOption;

    DBGrid3 = new ui::DBGrid(TabSheet2);
    DBGrid3->setObjectName(QStringLiteral("DBGrid3"));
    DBGrid3->setDataSource(Gruppen1);
    DBGrid3->setColumns(
        {{schema::funktionen::kId, QString(), 30}, {schema::funktionen::kTitel, QString(), 263}});
    DBGrid3->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::Editing |
                        GridOption::ConfirmDelete | GridOption::CancelOnExit);
    DBGrid3->setFixedWidth(316);

    DBGrid4 = new ui::DBGrid(TabSheet2);
    DBGrid4->setObjectName(QStringLiteral("DBGrid4"));
    DBGrid4->setDataSource(FunktionenBenutzer1);
    DBGrid4->setColumns({{schema::funktionenBenutzer::kUser, QStringLiteral("Benutzer"), 48}});
    DBGrid4->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::RowSelect |
                        GridOption::ReadOnly);

    DBGrid2 = new ui::DBGrid(TabSheet2);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setDataSource(UserList1);
    DBGrid2->setColumns({{schema::benutzer::kUser, QStringLiteral("Alle Benutzer"), 109},
                         {schema::benutzer::kInitialien, QString(), 64}});
    DBGrid2->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                        GridOption::RowLines | GridOption::Tabs | GridOption::RowSelect |
                        GridOption::ReadOnly);
    DBGrid2->setFixedWidth(161);

    // Not "Funktionen": that is the page's tab, which a screen reader names by the page on show.
    ui::nameRows(DBGrid3, QStringLiteral("Funktionen der Gruppe"));
    ui::nameRows(DBGrid4, QStringLiteral("Zugeordnete Benutzer"));
    ui::nameRows(DBGrid2, QStringLiteral("Alle Benutzer"));
    grids->addWidget(DBGrid3);
    grids->addWidget(DBGrid4, 1);
    grids->addWidget(DBGrid2);

    setTabOrder(ToolBar2, ToolBar3);
    setTabOrder(ToolBar3, DBGrid2);
    setTabOrder(DBGrid2, DBGrid3);
    setTabOrder(DBGrid3, DBGrid4);

    DBGrid3->setRemoveAction([this] { deleteCurrentFunction(); });
    connect(DBGrid3, &ui::DBGrid::dblClick, this, &TFMain::DBGrid3DblClick);
    connect(DBGrid2, &ui::DBGrid::dblClick, this, &TFMain::UserAddClick);
    connect(DBGrid4, &ui::DBGrid::dblClick, this, &TFMain::UserDELClick);
    // A function started in the grid itself (Insert, Down past the last row) belongs to the group on show,
    // like every other new function, so that it stays where the user sees it.
    Funktionen->setBeforePost([this](store::RecordSet &functions) {
        store::Field group = functions.field(schema::funktionen::kInGruppe);
        if (functions.state() == store::DataState::Insert && group.isNull())
            group.setAsInteger(m_currentGroup);
    });
    // ... and that group is still there when the row is stored.
    Funktionen->setBeforeCommit([this](store::RecordSet &functions) {
        const qint32 group = functions.field(schema::funktionen::kInGruppe).asInteger();
        if (functions.state() == store::DataState::Insert)
            rights::requireGroup(SData->SecureDB, group,
                                 group == m_currentGroup ? m_currentGroupTitle : QString::number(group),
                                 QStringLiteral("die Funktion wurde nicht angelegt."));
    });
    return grids;
}

void TFMain::showGroup(qint32 id, const QString &title, const QString &filter)
{
    // The filter first: when the functions grid cannot leave its pending row, nothing of the three changes.
    Funktionen->setFilter(filter.isEmpty() ? schema::groupFilter(id) : filter);
    Gruppe->setText(schema::groupCaption(title));
    m_currentGroup = id;
    m_currentGroupTitle = title;
}

void TFMain::DBGrid3DblClick()
{
    showGroup(Funktionen->field(schema::funktionen::kId).asInteger(),
              Funktionen->field(schema::funktionen::kTitel).asString());
}

void TFMain::GroupAddClick()
{
    QString title;
    if (!ui::inputQuery(QStringLiteral("Gruppe hinzufügen"), QStringLiteral("Titel"), title))
        return;
    // Titel, inGruppe; the store keeps the first 50 characters of the title. A title still being retyped
    // in the grid is stored by itself first, so that its failure is not taken for the group's; a row that
    // cannot be stored does not stay behind in the grid.
    Funktionen->checkBrowseModeWithDetails();
    store::Connection::Transaction transaction(SData->SecureDB, Funktionen->errorContext());
    rights::requireGroup(SData->SecureDB, m_currentGroup, m_currentGroupTitle,
                         QStringLiteral("die Gruppe wurde nicht hinzugefügt."));
    Funktionen->insertRecord({title, m_currentGroup});
    transaction.commit();
}

void TFMain::ToolButton6Click()
{
    TFAnlegen dialog;
    if (dialog.showModal() != ui::ModalResult::OK)
        return;
    // A title still being retyped in the grid is stored by itself first: a failure below takes back only
    // the rights.
    Funktionen->checkBrowseModeWithDetails();
    // All chosen rights or none: a set half made would be made again in full by the next try.
    store::Connection::Transaction transaction(SData->SecureDB, Funktionen->errorContext());
    rights::requireGroup(SData->SecureDB, m_currentGroup, m_currentGroupTitle,
                         QStringLiteral("die Rechte wurden nicht angelegt."));
    for (const QString &title : dialog.checkedTitles())
        Funktionen->insertRecord({title, m_currentGroup});
    transaction.commit();
}

void TFMain::GroupDelClick()
{
    const QString question = QStringLiteral("Wollen Sie wirklich die Funktion \"%1\" löschen")
                                 .arg(Funktionen->field(schema::funktionen::kTitel).asString());
    if (ui::messageDlg(question, ui::MsgKind::Confirmation, ui::MsgButton::Yes | ui::MsgButton::No) ==
        ui::MsgResult::Yes)
        deleteCurrentFunction();
}

void TFMain::deleteCurrentFunction()
{
    const std::optional<qint32> stored =
        Funktionen->state() == store::DataState::Insert ? std::nullopt : currentFunction(Funktionen);
    Funktionen->remove();
    if (stored && m_groupTree)
        m_groupTree->removeFunction(*stored);
}

void TFMain::UserAddClick()
{
    const std::optional<qint32> function = currentFunction(Funktionen);
    if (!function || UserList->isEmpty() || UserList->currentRow() < 0)
        return;
    // A user still being typed is stored first, through the page's checks: an assignment names a stored
    // user, never one that may yet be abandoned.
    UserList->checkBrowseModeWithDetails();
    const QString initials = UserList->field(schema::benutzer::kInitialien).asString();
    const QString notStored = QStringLiteral("die Zuordnung wurde nicht gespeichert.");
    store::Connection::Transaction transaction(SData->SecureDB, FunktionenBenutzer->errorContext());
    rights::requireFunction(SData->SecureDB, *function,
                            Funktionen->field(schema::funktionen::kTitel).asString(), notStored);
    rights::requireUser(SData->SecureDB, UserList->field(schema::benutzer::kId).asInteger(),
                        UserList->field(schema::benutzer::kUser).asString(), initials, notStored);
    FunktionenBenutzer->insertRecord({QVariant(), *function, initials});
    transaction.commit();
}

void TFMain::UserAddallClick()
{
    const ui::WaitCursor wait;
    // Leaving the current user ends a pending edit on the users page, through its checks.
    UserList->first();
    if (const std::optional<qint32> function = currentFunction(Funktionen)) {
        const int field = UserList->fieldIndex(schema::benutzer::kInitialien);
        // One durable write for all users or none: after a failed write SQLite may have dropped the whole
        // transaction by itself, so a part could not be kept reliably; and a repeat then assigns everyone
        // once, not those before the failure twice.
        store::Connection::Transaction transaction(SData->SecureDB, FunktionenBenutzer->errorContext());
        // The assigned users' grid shows the outcome once, not every row as it comes.
        const store::ControlsHeld held(*FunktionenBenutzer);
        rights::requireFunction(SData->SecureDB, *function,
                                Funktionen->field(schema::funktionen::kTitel).asString(),
                                QStringLiteral("die Zuordnungen wurden nicht gespeichert."));
        std::vector<QString> listed;
        listed.reserve(static_cast<std::size_t>(UserList->rowCount()));
        for (int row = 0; row < UserList->rowCount(); ++row)
            listed.push_back(UserList->valueAt(row, field).toString());
        // Everyone listed who is still there: a user another program deleted meanwhile gets nothing.
        std::vector<std::vector<QVariant>> assignments;
        for (const QString &initials : rights::stillHeld(SData->SecureDB, listed))
            assignments.push_back({QVariant(), *function, initials});
        FunktionenBenutzer->insertRecords(assignments);
        transaction.commit();
    }
    UserList->first();
}

void TFMain::UserDELClick()
{
    FunktionenBenutzer->remove();
}

void TFMain::GroupChangeClick() {}
