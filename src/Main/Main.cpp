#include "Main.h"

#include "Accessible.h"
#include "Busy.h"
#include "DataSource.h"
#include "DBGrid.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "FocusFrame.h"
#include "GruppenBaum.h"
#include "ImageLists.h"
#include "Logon.h"
#include "MessageBoxes.h"
#include "OnClick.h"
#include "PageParts.h"
#include "Rechte.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

TFMain *FMain = nullptr;

namespace {

// A fixed client size of 573 x 513; the frame around it is the platform's.
constexpr int kClientWidth = 573;
constexpr int kClientHeight = 513;
// Large enough to show a folder's files with their size, type and date.
constexpr int kOpenWidth = 640;
constexpr int kOpenHeight = 420;
constexpr int kOpenSteps = 5; // the connection, the three tables, the group tree
const QString kTreeStep = QStringLiteral("Gruppenbaum wird aufgebaut …");

} // namespace

TFMain::TFMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FMain"));
    FMain = this;
    setWindowTitle(ui::applicationTitle());
    setFont(ui::designFont(QStringLiteral("MS Sans Serif"), 8));
    resize(kClientWidth, kClientHeight);

    // The parts of the window come first; a failure in one of them is shown and the next is built anyway.
    ui::guarded([this] { createRecordSets(); });
    ui::guarded([this] { buildFrame(); });
    ui::guarded([this] { buildUsersPage(); });
    ui::guarded([this] { buildFunctionsPage(); });
    ui::guarded([this] { buildRightsPage(); });
    PageControl1->setCurrentWidget(TabSheet2);

    FormCreate();
}

TFMain::~TFMain()
{
    if (FMain == this)
        FMain = nullptr;
}

void TFMain::createRecordSets()
{
    store::Connection *db = &SData->SecureDB;

    UserList = new store::RecordSet(QStringLiteral("UserList"), this);
    UserList->setConnection(db);
    UserList->setTableName(schema::kBenutzer);
    UserList->setFieldDefs(schema::userListFields());

    Funktionen = new store::RecordSet(QStringLiteral("Funktionen"), this);
    Funktionen->setConnection(db);
    Funktionen->setTableName(schema::kFunktionen);
    Funktionen->setFieldDefs(schema::funktionenFields());
    Funktionen->setFilter(schema::rootFilter());
    Funktionen->setFiltered(true);

    FunktionenBenutzer = new store::RecordSet(QStringLiteral("FunktionenBenutzer"), this);
    FunktionenBenutzer->setConnection(db);
    FunktionenBenutzer->setTableName(schema::kFunktionenBenutzer);
    FunktionenBenutzer->setFieldDefs(schema::funktionenBenutzerFields());
    FunktionenBenutzer->setMasterLink(Funktionen, schema::funktionen::kId,
                                      schema::funktionenBenutzer::kFunktion);

    QRechte = new store::RecordSet(QStringLiteral("QRechte"), this);
    QRechte->setConnection(db);
    QRechte->setSql(schema::rightsOverview());
    QRechte->setFieldDefs(schema::rightsOverviewFields());

    Delquery = new store::RecordSet(QStringLiteral("Delquery"), this);
    Delquery->setConnection(db);

    UserList1 = new ui::DataSource(QStringLiteral("UserList1"), UserList, this);
    Gruppen1 = new ui::DataSource(QStringLiteral("Gruppen1"), Funktionen, this);
    FunktionenBenutzer1 = new ui::DataSource(QStringLiteral("FunktionenBenutzer1"), FunktionenBenutzer, this);
    Qrechte1 = new ui::DataSource(QStringLiteral("Qrechte1"), QRechte, this);
}

void TFMain::buildFrame()
{
    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    buildCoolBar(central);
    buildPageControl(central);
    row->addWidget(CoolBar1);
    row->addWidget(PageControl1, 1);
    setCentralWidget(central);

    buildStatusBar();
    buildOpenDialog();
}

void TFMain::buildCoolBar(QWidget *central)
{
    CoolBar1 = new QWidget(central);
    CoolBar1->setObjectName(QStringLiteral("CoolBar1"));
    CoolBar1->setFixedWidth(29);
    auto *band = new QVBoxLayout(CoolBar1);
    band->setContentsMargins(2, 2, 2, 2);
    ToolBar4 = new QToolBar(CoolBar1);
    ToolBar4->setObjectName(QStringLiteral("ToolBar4"));
    ToolBar4->setOrientation(Qt::Vertical);
    ToolBar4->setIconSize(QSize(16, 16));
    ToolBar4->setMovable(false);
    DBopen = new QToolButton(ToolBar4);
    DBopen->setObjectName(QStringLiteral("DBopen"));
    DBopen->setText(QStringLiteral("DBopen"));
    DBopen->setIcon(imagelists::imageList3().value(0));
    DBopen->setToolButtonStyle(Qt::ToolButtonIconOnly);
    DBopen->setAutoRaise(true);
    // Tab reaches the button as well; the key is one that no edit of the window takes for itself.
    DBopen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    DBopen->setToolTip(QStringLiteral("Datenbank öffnen (Strg+O)"));
    ToolBar4->addWidget(DBopen);
    ui::nameControl(DBopen, QStringLiteral("Datenbank öffnen"),
                    QStringLiteral("Eine andere Datenbankdatei wählen und öffnen"));
    buildRechteButton();
    band->addWidget(ToolBar4);
    band->addStretch();
    ui::onClick(DBopen, this, &TFMain::DBopenClick);
}

void TFMain::buildPageControl(QWidget *central)
{
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Benutzer"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Funktionen"));
    PageControl1->addTab(TabSheet3, QStringLiteral("TabSheet3"));
    // The captions stay as designed; a screen reader names the pages by what they show. The tab bar is
    // called after its page on show, and "Benutzer" is already the name edit's on the first page.
    PageControl1->tabBar()->setAccessibleTabName(0, QStringLiteral("Benutzerverwaltung"));
    PageControl1->tabBar()->setAccessibleTabName(2, QStringLiteral("Zuordnungen"));
    ui::nameControl(PageControl1, QStringLiteral("Seiten"));

    // Ctrl+Tab switches pages by itself; Ctrl+PgDn and Ctrl+PgUp as well, from wherever the focus is.
    const auto turnPage = [this](int by) {
        PageControl1->setCurrentIndex((PageControl1->currentIndex() + by + PageControl1->count()) %
                                      PageControl1->count());
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this), &QShortcut::activated, this,
            [turnPage] { turnPage(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this), &QShortcut::activated, this,
            [turnPage] { turnPage(-1); });
}

void TFMain::buildStatusBar()
{
    Status = new QStatusBar(this);
    Status->setObjectName(QStringLiteral("Status"));
    // The panels' frames take 7 pixels of the designed 19; large text gets a taller bar.
    Status->setFixedHeight(pageparts::heightForText(Status, 19, 7));
    Status->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        auto *panel = new QLabel(Status);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setTextFormat(Qt::PlainText); // names from the file, never markup
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        if (i < 2)
            panel->setFixedWidth(i == 0 ? 80 : 30);
        Status->addWidget(panel, i == 2 ? 1 : 0);
        m_panels[static_cast<size_t>(i)] = panel;
    }
    setStatusBar(Status);
}

void TFMain::buildOpenDialog()
{
    Open = new QFileDialog(this);
    Open->setObjectName(QStringLiteral("Open"));
    // Our own dialog, alike on every desktop; the name filter lists User.mdb in any letter case, as the
    // file system here tells letter case apart. A typed name need not exist.
    Open->setOption(QFileDialog::DontUseNativeDialog, true);
    Open->setOption(QFileDialog::HideNameFilterDetails, true);
    Open->setFileMode(QFileDialog::AnyFile);
    Open->setAcceptMode(QFileDialog::AcceptOpen);
    Open->setNameFilter(QStringLiteral("User-Datenbanken ([Uu][Ss][Ee][Rr].[Mm][Dd][Bb])"));
    Open->resize(kOpenWidth, kOpenHeight);
    // The working folder at first, as a dialog without a folder of its own opens; later where the last file
    // was (QFileDialog would otherwise start wherever any dialog of the process was last).
    Open->setDirectory(QDir::currentPath());
    for (auto *view : Open->findChildren<QAbstractItemView *>())
        ui::showFocusFrame(view);
    // The columns of the detail view fit their content whenever a folder has been read.
    if (auto *files = Open->findChild<QFileSystemModel *>()) {
        connect(files, &QFileSystemModel::directoryLoaded, Open, [this] {
            if (auto *details = Open->findChild<QTreeView *>())
                details->header()->resizeSections(QHeaderView::ResizeToContents);
        });
    }
}

QString TFMain::statusPanelText(int panel) const
{
    return panel >= 0 && panel < 3 && m_panels[static_cast<size_t>(panel)]
               ? m_panels[static_cast<size_t>(panel)]->text()
               : QString();
}

void TFMain::terminate()
{
    m_terminated = true;
    // Only a running event loop may be told to end: before it runs, an exit request would stay pending and
    // make every later modal dialog return at once. At start-up the caller sees terminated() instead.
    if (isVisible())
        QCoreApplication::exit(0);
}

void TFMain::FormCreate()
{
    // 1. Logon, owned by the application for the whole run.
    ui::ModalResult result = ui::ModalResult::Cancel;
    ui::guarded([&] {
        m_logon = std::make_unique<TSLogon>();
        result = m_logon->showModal();
    });
    // 2. Anything but OK ends the program, without a word.
    if (result != ui::ModalResult::OK) {
        terminate();
        return;
    }
    const SignedOnUser &user = m_logon->signedOnUser();
    // 3. Who is signed on.
    m_panels[0]->setText(user.userText());
    m_panels[1]->setText(user.initialienText());
    m_panels[2]->setText(user.realNameText());
    // 4. Administrators only.
    const QString typed = m_logon->Benutzer->text();
    if (!user.Admin) {
        ui::guarded([&] {
            SData->Journal->logon(SData->SecureDB, typed, user.Id,
                                  QStringLiteral("keine Administrations-Berechtigung"));
        });
        ui::messageDlg(QStringLiteral("Keine Administrations-Berechtigung. Programm wird beendet."),
                       ui::MsgKind::Error, ui::MsgButton::OK);
        terminate();
        return;
    }
    // A logon the journal cannot record is reported; the administrator still gets in, as with a database
    // that has no journal.
    SData->Journal->setAdministrator(user.userText());
    ui::guarded([&] { SData->Journal->logon(SData->SecureDB, typed, user.Id, QString()); });
    // 5. The database file; a failure to open it skips the rest of the start-up.
    if (!ui::guarded([this] { DBopenClick(); }) || m_terminated)
        return;
    // 6. The group tree, built from the file just opened, at the top left of the screen for the whole run.
    ui::guarded([this] { createGroupTree(); });
}

void TFMain::createGroupTree()
{
    if (m_progress)
        m_progress->step(kTreeStep);
    m_groupTree = std::make_unique<TfGruppen>();
    connect(m_groupTree.get(), &TfGruppen::groupChosen, this,
            [this](qint32 id, const QString &title) { ui::guarded([&] { showGroup(id, title); }); });
    const QScreen *screen = m_groupTree->screen();
    m_groupTree->move((screen ? screen->geometry().topLeft() : QPoint()) + QPoint(5, 5));
    m_groupTree->show();
    linkGroupTreeKeys();
}

void TFMain::linkGroupTreeKeys()
{
    // A tool window is left out of the desktop's window switching: Ctrl+G goes to the tree and back.
    const auto goTo = [](QWidget *window, QWidget *focus) {
        window->raise();
        window->activateWindow();
        if (focus)
            focus->setFocus(Qt::ShortcutFocusReason);
    };
    const QKeySequence key(Qt::CTRL | Qt::Key_G);
    connect(new QShortcut(key, this), &QShortcut::activated, this,
            [this, goTo] { goTo(m_groupTree.get(), m_groupTree->Struktur); });
    connect(new QShortcut(key, m_groupTree.get()), &QShortcut::activated, this,
            [this, goTo] { goTo(this, nullptr); });
    if (Gruppe)
        Gruppe->setToolTip(QStringLiteral("Gruppe wählen im Fenster \"Gruppe wählen\" (Strg+G)"));
    m_groupTree->Struktur->setToolTip(m_groupTree->Struktur->toolTip() +
                                      QStringLiteral(" (Strg+G: zum Hauptfenster)"));
}

void TFMain::DBopenClick()
{
    centreOnScreen(Open);
    if (Open->exec() != QDialog::Accepted || Open->selectedFiles().isEmpty()) {
        ui::messageDlg(QStringLiteral("Keine Datenbank geöffnet. Programm wird beendet!"), ui::MsgKind::Error,
                       ui::MsgButton::OK);
        terminate();
        return;
    }
    SData->DBPath = Open->selectedFiles().constFirst();
    // The next choice starts where this file is.
    Open->setDirectory(QFileInfo(SData->DBPath).absolutePath());
    auto progress = std::make_unique<ui::ProgressSteps>(this, QStringLiteral("Datenbank öffnen"), kOpenSteps,
                                                        ui::isLargeDatabase(QFileInfo(SData->DBPath).size()));
    progress->step(QStringLiteral("Verbindung zu %1 …").arg(SData->DBPath));
    // The tree must not lead into the file that was open before, also when the new one cannot be opened.
    if (m_groupTree)
        m_groupTree->clearTree();
    if (m_rechte)
        m_rechte->clear();
    SData->Reconnect();
    // A link file is a line of text: how large a server's database is shows only once connected.
    if (SData->SecureDB.isServer() && ui::isLargeDatabase(SData->SecureDB.storedBytes()))
        progress->show();
    OpenTables(progress.get());
    if (m_groupTree) {
        progress->step(kTreeStep);
        m_groupTree->rebuild();
    }
    if (m_rechte && m_rechte->isVisible())
        m_rechte->AktualisierenClick();
    // At start-up the progress stays on the screen through the group tree's build until the window shows.
    if (!isVisible())
        m_progress = std::move(progress);
}

void TFMain::OpenTables(ui::ProgressSteps *progress)
{
    const auto step = [progress](const char *what) {
        if (progress)
            progress->step(QString::fromUtf8(what));
    };
    step("Benutzer werden gelesen …");
    UserList->open();
    step("Funktionen werden gelesen …");
    Funktionen->open();
    step("Zuordnungen werden gelesen …");
    FunktionenBenutzer->open();
    showGroup(schema::kRootId, schema::kRootTitle, schema::rootFilter());
    setWindowTitle(QStringLiteral("Sicherheit: ") + SData->DBPath);
}

void TFMain::centreOnScreen(QWidget *dialog)
{
    const QScreen *screen = isVisible() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        dialog->move(screen->availableGeometry().center() -
                     QPoint(dialog->width() / 2, dialog->height() / 2));
}

void TFMain::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
        }
    }
    QMainWindow::showEvent(event);
    // The start-up's progress goes once the window is painted, so that the screen is never empty.
    if (m_progress)
        QTimer::singleShot(0, this, [this] { m_progress.reset(); });
}

void TFMain::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program, the group tree with it.
    if (event->isAccepted() && m_groupTree)
        m_groupTree->allowClose();
}
