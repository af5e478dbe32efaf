#include "Logon.h"

#include "Animate.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "LogonServices.h"
#include "MessageBoxes.h"
#include "PasswordEdit.h"
#include "PlacedLabel.h"
#include "PWchange.h"
#include "RecordSet.h"
#include "ResultButton.h"
#include "Schema.h"
#include "SDaten.h"
#include "Win1252.h"
#include "Win1252Validator.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <memory>

TSLogon *SLogon = nullptr;

namespace {

// Every lookup leaves UserSQL closed, also when it fails half way.
class ClosedAfterwards
{
public:
    explicit ClosedAfterwards(store::RecordSet *set) : m_set(set) {}
    ~ClosedAfterwards() { m_set->close(); }
    ClosedAfterwards(const ClosedAfterwards &) = delete;
    ClosedAfterwards &operator=(const ClosedAfterwards &) = delete;

private:
    store::RecordSet *m_set;
};

void setStatement(store::RecordSet *set, const QStringList &lines)
{
    set->close();
    set->setSql(lines);
}

} // namespace

QString SignedOnUser::userText() const
{
    return store::Win1252::toUnicode(User);
}

QString SignedOnUser::initialienText() const
{
    return store::Win1252::toUnicode(Initialien);
}

QString SignedOnUser::realNameText() const
{
    return store::Win1252::toUnicode(RealName);
}

TSLogon::TSLogon(QWidget *parent)
    : ui::KeyedWindow(QSize(284, 154), QRect(0, 0, 281, 151), QSize(37, 37), parent)
{
    setObjectName(QStringLiteral("SLogon"));
    setWindowTitle(QStringLiteral("Sicherheitskontrolle"));
    SLogon = this;

    UserSQL = new store::RecordSet(QStringLiteral("UserSQL"), this);
    UserSQL->setConnection(SData ? &SData->SecureDB : nullptr);
    UserSQL->setFieldDefs(schema::userSqlFields());

    buildSignOnBox();
    buildButtons();
    ui::guarded([this] { FormCreate(); });
}

void TSLogon::buildSignOnBox()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Sicherheitskontrolle"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(80, 10, 186, 96);

    Label1 = ui::placedLabel(GroupBox1, QStringLiteral("Benutzer"), QPoint(5, 25));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = ui::placedLabel(GroupBox1, QStringLiteral("Kennwort"), QPoint(5, 50));
    Label2->setObjectName(QStringLiteral("Label2"));

    Benutzer = new QLineEdit(GroupBox1);
    Benutzer->setObjectName(QStringLiteral("Benutzer"));
    Benutzer->setGeometry(55, 20, 121, 21);
    Benutzer->setToolTip(QStringLiteral("Benutzernamen eingeben"));
    // The name is the program's 8-bit text, like the signed-on user it becomes.
    ui::guardWin1252(Benutzer);

    // Each character shows as "?" until FormCreate sets the logon's own mask.
    Pass = new ui::PasswordEdit(GroupBox1);
    Pass->setObjectName(QStringLiteral("Pass"));
    Pass->setGeometry(55, 45, 121, 22);
    Pass->setToolTip(QStringLiteral("Passwort wechseln"));
    Pass->setFont(ui::designFont(QStringLiteral("Arial"), 8));

    Pwchange = new QCheckBox(QStringLiteral("Passwort ändern"), GroupBox1);
    Pwchange->setObjectName(QStringLiteral("Pwchange"));
    Pwchange->setGeometry(55, 70, 97, 17);
    // Qt's check mark and the stand-in for "MS Sans Serif" take more room than the design allowed, and large
    // text more still; a wider (and with large text taller) box keeps the caption whole instead of cutting
    // off its last letters, as far as the group box's edge. If even that is too narrow, the box moves left
    // towards the labels just as far as it must.
    const QSize wanted = Pwchange->sizeHint();
    const int room = GroupBox1->width() - 2;
    Pwchange->move(qBound(5, room - wanted.width(), Pwchange->x()), Pwchange->y());
    Pwchange->resize(qBound(Pwchange->width(), wanted.width(), room - Pwchange->x()),
                     qBound(Pwchange->height(), Pwchange->fontMetrics().height() + 4,
                            GroupBox1->height() - Pwchange->y() - 2));
    Pwchange->setToolTip(QStringLiteral("Nach erfolgreicher Anmeldung Passwort ändern"));

    // A screen reader names each edit after the label beside it; the hints (tool tips) are read as their
    // descriptions.
    Label1->setBuddy(Benutzer);
    Label2->setBuddy(Pass);
    ui::keepLabelsClear(GroupBox1);
}

void TSLogon::buildButtons()
{
    OKbutton = new ui::ResultButton(QStringLiteral("OK"), ui::ModalResult::OK, this);
    OKbutton->setObjectName(QStringLiteral("OKbutton"));
    OKbutton->setGeometry(90, 115, 75, 25);
    OKbutton->onClick([this] { OKbuttonClick(); });

    Button2 = new ui::ResultButton(QStringLiteral("Abbruch"), ui::ModalResult::Cancel, this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(180, 115, 75, 25);
    Button2->onClick([this] { Button2Click(); });

    Animate1 = new ui::Animate(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(10, 25, 64, 64);
    Animate1->setColour(bodyColour());
    Animate1->setAccessibleName(QStringLiteral("Schlüssel-Animation"));

    setDefaultButton(OKbutton);
    setCancelButton(Button2);

    setTabOrder(Benutzer, Pass);
    setTabOrder(Pass, Pwchange);
    setTabOrder(Pwchange, OKbutton);
    setTabOrder(OKbutton, Button2);
    Benutzer->setFocus();
}

TSLogon::~TSLogon()
{
    if (SLogon == this)
        SLogon = nullptr;
}

void TSLogon::FormCreate()
{
    const QByteArray account = CurrentAccountName();

    QString proposal;
    {
        const ClosedAfterwards closed(UserSQL);
        setStatement(UserSQL, schema::logonProposal(store::Win1252::toUnicode(account)));
        UserSQL->open();
        if (UserSQL->recordCount() == 1)
            proposal = UserSQL->field(schema::benutzer::kUser).asString();
    }

    Benutzer->setText(proposal);
    if (!Benutzer->text().isEmpty())
        Pass->setFocus();

    Pass->setMaskChar(ui::kPasswordMask);

    Animate1->setFileName(programFolder() + QStringLiteral("key.avi"));
    Animate1->setActive(true);
}

void TSLogon::OKbuttonClick()
{
    setModalResult(ui::ModalResult::OK);
    m_foundThisPress = false;

    const ClosedAfterwards closed(UserSQL);
    setStatement(UserSQL, schema::logonCheck(Benutzer->text()));
    UserSQL->open();

    const int found = UserSQL->recordCount();
    if (found == 0) {
        setModalResult(ui::ModalResult::None);
        recordRefusal(QVariant(), QStringLiteral("Benutzername unbekannt"));
        ui::messageDlg(QStringLiteral("Benutzername %1 ist unbekannt!").arg(Benutzer->text()),
                       ui::MsgKind::Error, ui::MsgButton::OK);
    } else if (found == 1) {
        bool exact = true;
        m_user.User = store::Win1252::fromUnicode(UserSQL->field(schema::benutzer::kUser).asString());
        m_user.Initialien =
            store::Win1252::fromUnicode(UserSQL->field(schema::benutzer::kInitialien).asString());
        m_user.RealName = store::Win1252::fromUnicode(UserSQL->field(schema::benutzer::kRealName).asString());
        m_user.Passwort =
            store::Win1252::fromUnicode(UserSQL->field(schema::benutzer::kPasswort).asString(), &exact);
        m_user.Admin = UserSQL->field(schema::benutzer::kAdmin).asBoolean();
        m_user.Id = UserSQL->field(schema::benutzer::kId).value();
        m_passwortExact = exact;
        m_foundThisPress = true;
    } else {
        setModalResult(ui::ModalResult::Cancel);
        recordRefusal(QVariant(), QStringLiteral("Benutzername mehrdeutig"));
    }

    // Only a lookup that found exactly this one user may change a password: the update would otherwise
    // hit no record, or every record of an ambiguous name.
    if (!Pwchange->isChecked() || !m_foundThisPress || !passwordMatches(m_user.Passwort))
        return;
    changePassword();
}

void TSLogon::changePassword()
{
    const auto dialog = std::make_unique<TSPWchange>(this);
    if (dialog->showModal() != ui::ModalResult::OK)
        return;
    const QByteArray scrambled = ScramblePassword(dialog->newPassword());
    // The user changes their own password: the journal names them.
    if (SData)
        SData->Journal->setAdministrator(Benutzer->text());
    setStatement(UserSQL, schema::passwordChange(store::Win1252::toUnicode(scrambled), Benutzer->text()));
    UserSQL->execute();
}

void TSLogon::recordRefusal(const QVariant &userId, const QString &reason)
{
    if (SData)
        ui::guarded([&] { SData->Journal->logon(SData->SecureDB, Benutzer->text(), userId, reason); });
}

void TSLogon::Button2Click()
{
    // Abbruch needs nothing beyond its result.
}

bool TSLogon::passwordMatches(const QByteArray &storedScrambled) const
{
    // A stored text that is not 8-bit text through and through was never written by us and matches nothing;
    // read lossily it could equal a typed password by accident.
    return m_passwortExact && ScramblePassword(store::Win1252::fromUnicode(Pass->text())) == storedScrambled;
}

void TSLogon::FormCloseQuery(bool &CanClose)
{
    if (modalResult() != ui::ModalResult::OK)
        return;
    // Without a user found by this very press there is nobody whose password could be right, not even an
    // empty one: the lookup may have failed after an earlier press had found someone else.
    if (m_foundThisPress && passwordMatches(m_user.Passwort))
        return;
    CanClose = false;
    // A press whose lookup failed judged no password, and the user an earlier press found is not the one
    // typed now: there is no refusal to record, and the failure has been reported already.
    if (m_foundThisPress)
        recordRefusal(m_user.Id, QStringLiteral("falsches Kennwort"));
    ui::messageDlg(QStringLiteral("Falscher Benutzer oder falsches Passwort!"), ui::MsgKind::Warning,
                   ui::MsgButton::OK);
    Pass->clear();
    Pass->setFocus();
}

bool TSLogon::closeQuery()
{
    bool canClose = true;
    FormCloseQuery(canClose);
    return canClose;
}
