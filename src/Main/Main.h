#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>

class QAbstractButton;
class QBoxLayout;
class QFileDialog;
class QGroupBox;
class QLabel;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWidget;
class TSLogon;
class TfGruppen;
class TFRechte;

namespace store {
class RecordSet;
}
namespace ui {
class DataSource;
class DBGrid;
class DBEdit;
class DBCheckBox;
class ProgressSteps;
} // namespace ui

// The main window: the start-up sequence runs while it is created (logon, administrator gate, choice of
// the database file, opening of the working tables), then it shows three pages: the users, the functions
// with their assignments, and the rights overview.
//
// It owns the working record sets on the session's connection and the data sources that bind its grids and
// edits to them; the users page and the functions page share UserList, and so its current user.
class TFMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFMain(QWidget *parent = nullptr);
    ~TFMain() override;

    // True once a step of the start-up or the file choice has ended the program: the window is then never
    // shown, and the event loop, if running, is told to end.
    bool terminated() const { return m_terminated; }

    void FormCreate();
    void DBopenClick();
    void OpenTables(ui::ProgressSteps *progress = nullptr);
    // Opens the window "Rechte-Übersicht", or brings it to the front; one for the whole run.
    void RechteClick();

    // Users page.
    void BneuClick();
    void BsaveClick();
    void BdelClick();
    void UserListAfterInsert();
    void UserListAfterEdit();
    void UserListBeforePost();
    void UserListAfterPost();
    void edit5Exit();
    void SpeedButton1Click();

    // Functions page.
    void DBGrid3DblClick();
    void GroupAddClick();
    void ToolButton6Click();
    void GroupDelClick();
    void UserAddClick();
    void UserAddallClick();
    void UserDELClick();
    void GroupChangeClick();

    // The group on show of the functions page: the current group, the filter of Funktionen and the caption
    // of Gruppe always change together, in that order, and only here.
    // OpenTables gives the root its own filter text; everything else filters with "ingruppe =%d".
    void showGroup(qint32 id, const QString &title, const QString &filter = QString());
    qint32 currentGroup() const { return m_currentGroup; }
    QString statusPanelText(int panel) const;

    // Record sets.
    store::RecordSet *UserList = nullptr;
    store::RecordSet *Funktionen = nullptr;
    store::RecordSet *FunktionenBenutzer = nullptr;
    store::RecordSet *QRechte = nullptr;
    store::RecordSet *Delquery = nullptr;

    // Data sources.
    ui::DataSource *UserList1 = nullptr;
    ui::DataSource *Gruppen1 = nullptr;
    ui::DataSource *FunktionenBenutzer1 = nullptr;
    ui::DataSource *Qrechte1 = nullptr;

    // Frame.
    QWidget *CoolBar1 = nullptr;
    QToolBar *ToolBar4 = nullptr;
    QToolButton *DBopen = nullptr;
    QToolButton *Rechte = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QStatusBar *Status = nullptr;
    QFileDialog *Open = nullptr;

    // Users page.
    QGroupBox *GroupBox2 = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QToolButton *Bneu = nullptr;
    QToolButton *Bdel = nullptr;
    QToolButton *Bsave = nullptr;
    QToolButton *ToolButton2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    ui::DBEdit *DBEdit1 = nullptr;
    ui::DBEdit *DBEdit2 = nullptr;
    ui::DBEdit *DBEdit3 = nullptr;
    ui::DBEdit *DBEdit4 = nullptr;
    ui::DBEdit *DBEdit5 = nullptr;
    ui::DBCheckBox *DBCheckBox1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    ui::DBGrid *DBGrid1 = nullptr;

    // Functions page.
    QWidget *Panel1 = nullptr;
    QToolBar *ToolBar2 = nullptr;
    QToolButton *GroupChange = nullptr;
    QToolButton *GroupAdd = nullptr;
    QToolButton *ToolButton6 = nullptr;
    QToolButton *GroupDel = nullptr;
    QLabel *Gruppe = nullptr;
    QToolBar *ToolBar3 = nullptr;
    QToolButton *UserDEL = nullptr;
    QToolButton *UserAdd = nullptr;
    QToolButton *UserAddall = nullptr;
    ui::DBGrid *DBGrid2 = nullptr;
    ui::DBGrid *DBGrid3 = nullptr;
    ui::DBGrid *DBGrid4 = nullptr;

    // Rights overview page.
    ui::DBGrid *DBGrid5 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Deletes the current user together with the assignments that only that user held.
    void deleteCurrentUser();
    // Deletes the current function; its node leaves the group tree at once.
    void deleteCurrentFunction();
    void createRecordSets();
    void buildFrame();
    void buildCoolBar(QWidget *central);
    void buildRechteButton();
    // The rights window has changed the file: the sets that show what it changed read it again.
    void rechteChanged(bool functionsMoved);
    void buildPageControl(QWidget *central);
    void buildStatusBar();
    void buildOpenDialog();
    void buildUsersPage();
    void buildUserButtons();
    void buildUserEdits();
    void connectUsersPage();
    void buildFunctionsPage();
    void buildGroupButtons();
    void buildAssignButtons();
    QBoxLayout *buildFunctionGrids();
    void buildRightsPage();
    void centreOnScreen(QWidget *dialog);
    void createGroupTree();
    void linkGroupTreeKeys();
    void terminate();

    std::unique_ptr<TSLogon> m_logon;
    std::unique_ptr<TfGruppen> m_groupTree;
    TFRechte *m_rechte = nullptr;                  // a child window, made when first asked for
    std::unique_ptr<ui::ProgressSteps> m_progress; // the start-up's, until the window is on show
    std::array<QLabel *, 3> m_panels{};
    qint32 m_currentGroup = 0;
    QString m_currentGroupTitle;
    bool m_assignmentsMoved = false; // a user's changed initials took their assignments along
    bool m_terminated = false;
    bool m_placed = false;
};

// The one main window of the run; null while there is none.
extern TFMain *FMain;
