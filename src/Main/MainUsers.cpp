// The users page: its fixed layout (positions and sizes in pixels) and its handlers.

#include "Accessible.h"
#include "DataSource.h"
#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGrid.h"
#include "ImageLists.h"
#include "LogonServices.h"
#include "Main.h"
#include "MessageBoxes.h"
#include "OnClick.h"
#include "PageParts.h"
#include "PlacedLabel.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"
#include "UserRules.h"

#include <QEvent>

#include <algorithm>
#include <iterator>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

namespace {

constexpr int kNoteLeft = 450;
constexpr int kNoteWidth = 151;
constexpr int kNoteTop = 75;
constexpr int kNoteHeight = 41;

// Keeps the password note within the part of the group box that is seen: at the window's designed size the
// box ends before the note's designed width, so the note wraps to the width that is left rather than lose
// its last word past the edge. Large text may need more lines than the box has room for below the note's
// top; the note then scrolls instead of being cut off at the box's lower edge.
class NoteFitter : public QObject
{
public:
    NoteFitter(QScrollArea *area, QLabel *note, QObject *parent) : QObject(parent), m_area(area), m_note(note)
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize) {
            const auto *box = static_cast<QWidget *>(watched);
            const int width = std::clamp(box->width() - kNoteLeft - 3, 1, kNoteWidth);
            const int room = std::max(kNoteHeight, box->height() - kNoteTop - 3);
            m_area->resize(width, std::min(room, std::max(kNoteHeight, m_note->heightForWidth(width))));
        }
        return false;
    }

private:
    QScrollArea *m_area;
    QLabel *m_note;
};

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
    buildUserButtons();
    buildUserEdits();

    DBGrid1 = new ui::DBGrid(TabSheet1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(UserList1);
    using namespace schema::benutzer;
    DBGrid1->setColumns({{kUser, QString(), 60},
                         {kInitialien, QString(), 64},
                         {kRealName, QString(), 120},
                         {kNTUser, QString(), 97},
                         {kAdmin, QString(), 64}});
    using ui::GridOption;
    DBGrid1->setOptions(GridOption::Titles | GridOption::Indicator | GridOption::ColumnResize |
                        GridOption::ColLines | GridOption::RowLines | GridOption::Tabs |
                        GridOption::RowSelect | GridOption::AlwaysShowSelection | GridOption::ConfirmDelete |
                        GridOption::CancelOnExit);
    page->addWidget(DBGrid1, 1);
    // Not "Benutzer": that is the name edit's label on the same page.
    ui::nameRows(DBGrid1, QStringLiteral("Benutzerliste"));
    // The tool bar's buttons by name: the bar itself takes no focus, and Qt would leave its buttons where
    // they were made, before the edits.
    QWidget *tabOrder[] = {DBEdit1,      DBEdit3, DBEdit2, DBEdit4, DBEdit5,     DBCheckBox1,
                           SpeedButton1, Bneu,    Bdel,    Bsave,   ToolButton2, DBGrid1};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    connectUsersPage();
}

void TFMain::buildUserButtons()
{
    const QList<QIcon> icons = imagelists::imageList1();
    ToolBar1 = pageparts::flatBar(GroupBox2, QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(2, 15, 600, 24);
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar#ToolBar1 { border-bottom: 1px solid palette(mid); }"
                                           "QToolBar#ToolBar1 QToolButton { min-width: 84px; }"));
    const auto beside = Qt::ToolButtonTextBesideIcon;
    pageparts::separator(ToolBar1, QStringLiteral("ToolButton3"), 8);
    Bneu = pageparts::toolButton(ToolBar1, QStringLiteral("Bneu"), QStringLiteral("A&nlegen"), icons.value(1),
                                 beside);
    pageparts::separator(ToolBar1, QStringLiteral("ToolButton4"), 8);
    Bdel = pageparts::toolButton(ToolBar1, QStringLiteral("Bdel"), QStringLiteral("Löschen"), icons.value(2),
                                 beside);
    pageparts::separator(ToolBar1, QStringLiteral("ToolButton5"), 8);
    Bsave = pageparts::toolButton(ToolBar1, QStringLiteral("Bsave"), QStringLiteral("&Speichern"),
                                  icons.value(3), beside);
    Bsave->setEnabled(false);
    ToolButton2 = pageparts::toolButton(ToolBar1, QStringLiteral("ToolButton2"),
                                        QStringLiteral("Rechte-Kopie"), icons.value(4), beside);

    // Its buttons show their captions beside the pictures; large text needs a taller bar to keep them whole.
    ToolBar1->resize(ToolBar1->width(), pageparts::heightForText(Bneu, ToolBar1->height(), 8));

    SpeedButton1 = new QToolButton(GroupBox2);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true); // only its frame shows, and only under the mouse
    // As the tool buttons: Tab reaches it, a click leaves the focus where it was.
    SpeedButton1->setFocusPolicy(Qt::TabFocus);
    SpeedButton1->setGeometry(390, 95, 46, 16);

    // What the buttons do, for those who hear them rather than see their icons.
    ui::nameControl(Bneu, QString(), QStringLiteral("Einen neuen Benutzer anlegen"));
    ui::nameControl(Bdel, QString(), QStringLiteral("Den gewählten Benutzer und seine Zuordnungen löschen"));
    ui::nameControl(Bsave, QString(), QStringLiteral("Die Änderungen am Benutzer speichern"));
    ui::nameControl(ToolButton2, QString(), QStringLiteral("Ohne Wirkung"));
    ui::nameControl(
        SpeedButton1, QStringLiteral("Kennwort zeigen"),
        QStringLiteral("Zeigt das Kennwort des gewählten Benutzers entschlüsselt in einer Meldung"));
}

void TFMain::buildUserEdits()
{
    using namespace schema::benutzer;
    const struct
    {
        QLabel *&label;
        const char *labelName;
        const char *caption;
        QPoint labelAt;
        ui::DBEdit *&edit;
        const char *editName;
        const QString &field;
        int left, top, width;
    } rows[] = {
        {Label4, "Label4", "Benutzer", {10, 50}, DBEdit1, "DBEdit1", kUser, 75, 45, 150},
        {Label6, "Label6", "Initialien", {10, 75}, DBEdit3, "DBEdit3", kInitialien, 75, 70, 69},
        {Label5, "Label5", "Vollst. Name", {10, 100}, DBEdit2, "DBEdit2", kRealName, 75, 95, 150},
        {Label7, "Label7", "NT-Login", {230, 50}, DBEdit4, "DBEdit4", kNTUser, 295, 45, 150},
        {Label8, "Label8", "Kennwort", {230, 75}, DBEdit5, "DBEdit5", kPasswort, 295, 70, 150},
    };
    for (const auto &row : rows) {
        row.label = ui::placedLabel(GroupBox2, QString::fromUtf8(row.caption), row.labelAt,
                                    QString::fromLatin1(row.labelName));
        row.edit = pageparts::edit(GroupBox2, QString::fromLatin1(row.editName), UserList1, row.field,
                                   row.left, row.top, row.width);
        row.label->setBuddy(row.edit);
    }
    ui::keepLabelsClear(GroupBox2);

    DBCheckBox1 = new ui::DBCheckBox(GroupBox2);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setText(QStringLiteral("Admin"));
    DBCheckBox1->setLayoutDirection(Qt::RightToLeft); // caption left of the box
    DBCheckBox1->setDataSource(UserList1);
    DBCheckBox1->setDataField(kAdmin);
    DBCheckBox1->setValueChecked(store::truthWords().yes);
    DBCheckBox1->setValueUnchecked(store::truthWords().no);
    DBCheckBox1->setGeometry(230, 95, 78, 17);

    // The note stands in a scroll area without frame or background, invisible while the text fits.
    auto *noteArea = new QScrollArea(GroupBox2);
    noteArea->setObjectName(QStringLiteral("Label1Area"));
    noteArea->setFrameShape(QFrame::NoFrame);
    noteArea->setFocusPolicy(Qt::NoFocus);
    noteArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    noteArea->setWidgetResizable(true);
    noteArea->viewport()->setAutoFillBackground(false);
    noteArea->setGeometry(kNoteLeft, kNoteTop, kNoteWidth, kNoteHeight);
    Label1 = new QLabel(QStringLiteral("Passwort wird nach Eingabe verschlüsselt!"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    noteArea->setWidget(Label1);
    GroupBox2->installEventFilter(new NoteFitter(noteArea, Label1, GroupBox2));
}

void TFMain::connectUsersPage()
{
    UserList->setAfterInsert([this](store::RecordSet &) { UserListAfterInsert(); });
    UserList->setAfterEdit([this](store::RecordSet &) { UserListAfterEdit(); });
    UserList->setBeforePost([this](store::RecordSet &) { UserListBeforePost(); });
    UserList->setAfterPost([this](store::RecordSet &) { UserListAfterPost(); });
    // Assignments name their user by initials: a user's rights follow a change of them, in the same
    // transaction as the user's row, so that the next user given the old initials does not inherit them.
    UserList->setBeforeCommit([this](store::RecordSet &users) {
        m_assignmentsMoved = userrules::followChangedInitials(SData->SecureDB, users);
    });
    ui::onClick(Bneu, this, &TFMain::BneuClick);
    ui::onClick(Bdel, this, &TFMain::BdelClick);
    ui::onClick(Bsave, this, &TFMain::BsaveClick);
    ui::onClick(SpeedButton1, this, &TFMain::SpeedButton1Click);
    // "Rechte-Kopie" has no handler: clicking it does nothing.
    // The password edit scrambles whatever was typed into it, whether it is left or its record is saved
    // while it still has the focus: the field never holds a typed password in the clear.
    connect(DBEdit5, &ui::DBEdit::typedTextWritten, this, &TFMain::edit5Exit);
    DBGrid1->setRemoveAction([this] { deleteCurrentUser(); });
}

void TFMain::BneuClick()
{
    if (ui::messageDlg(QStringLiteral("Wollen Sie wirklich einen neuen Benutzer anlegen?"),
                       ui::MsgKind::Confirmation,
                       ui::MsgButton::Yes | ui::MsgButton::No) != ui::MsgResult::Yes)
        return;
    // Unsaved changes of the current user are saved first, through the checks; a failed check stops here.
    UserList->insert();
    UserList->field(schema::benutzer::kAdmin).setAsBoolean(false);
}

void TFMain::BsaveClick()
{
    // Leaving the edit that has the focus writes its text (and scrambles a typed password).
    DBEdit1->setFocus(Qt::OtherFocusReason);
    if (UserList->isEditing())
        UserList->post();
}

void TFMain::BdelClick()
{
    const QString question =
        userrules::deleteQuestion(UserList->field(schema::benutzer::kUser).asString(),
                                  UserList->field(schema::benutzer::kRealName).asString());
    if (ui::messageDlg(question, ui::MsgKind::Confirmation, ui::MsgButton::Yes | ui::MsgButton::No) !=
        ui::MsgResult::Yes)
        return;
    deleteCurrentUser();
}

void TFMain::deleteCurrentUser()
{
    if (!userrules::initialsToCleanUp(*UserList)) {
        // A new record is only abandoned, and an empty list refuses with the store's own error.
        UserList->remove();
        return;
    }
    const qint32 id = UserList->field(schema::benutzer::kId).asInteger();
    // The user and the assignments that were only that user's go together or not at all; which those are
    // is read under the write lock, not taken from the list.
    store::Connection::Transaction transaction(SData->SecureDB, UserList->errorContext());
    const std::optional<QString> initials = userrules::storedInitials(SData->SecureDB, id);
    if (initials && !userrules::initialsSharedWithOthers(SData->SecureDB, *initials, id)) {
        Delquery->setSql(schema::cascadeDelete(*initials));
        Delquery->execute();
    }
    UserList->remove();
    // A failed commit brings the user back into the lists by itself, without reading the file.
    transaction.commit();
    FunktionenBenutzer->refresh();
}

void TFMain::UserListAfterInsert()
{
    Bsave->setEnabled(true);
}

void TFMain::UserListAfterEdit()
{
    Bsave->setEnabled(true);
}

void TFMain::UserListBeforePost()
{
    std::optional<QString> problem =
        userrules::saveProblem(UserList->field(schema::benutzer::kUser).asString(),
                               UserList->field(schema::benutzer::kNTUser).asString());
    // Two users of one name could never log on again: the logon cannot tell them apart.
    if (!problem)
        problem = userrules::duplicateNameProblem(SData->SecureDB, *UserList);
    if (!problem)
        return;
    ui::messageDlg(*problem, ui::MsgKind::Warning, ui::MsgButton::Cancel);
    throw store::Abort();
}

void TFMain::UserListAfterPost()
{
    Bsave->setEnabled(false);
    if (std::exchange(m_assignmentsMoved, false))
        FunktionenBenutzer->refresh();
}

void TFMain::edit5Exit()
{
    store::Field password = UserList->field(schema::benutzer::kPasswort);
    password.setAsString(ScramblePasswordText(password.asString()));
}

void TFMain::SpeedButton1Click()
{
    ui::showMessage(ScramblePasswordText(UserList->field(schema::benutzer::kPasswort).asString()));
}
