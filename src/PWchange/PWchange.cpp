#include "PWchange.h"

#include "DesignFont.h"
#include "MessageBoxes.h"
#include "PasswordEdit.h"
#include "PlacedLabel.h"
#include "ResultButton.h"
#include "Schema.h"
#include "Win1252.h"

#include <QGroupBox>
#include <QLabel>

TSPWchange::TSPWchange(QWidget *parent)
    : ui::KeyedWindow(QSize(254, 140), QRect(0, 0, 251, 136), QSize(34, 34), parent)
{
    setObjectName(QStringLiteral("SPWchange"));
    setWindowTitle(QStringLiteral("Kennwort ändern"));

    GroupBox1 = new QGroupBox(QStringLiteral("Kennwort ändern"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(15, 10, 221, 81);

    Label1 = ui::placedLabel(GroupBox1, QStringLiteral("neues Kennwort"), QPoint(5, 25));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = ui::placedLabel(GroupBox1, QStringLiteral("Wiederholung"), QPoint(5, 50));
    Label2->setObjectName(QStringLiteral("Label2"));

    passneu = new ui::PasswordEdit(GroupBox1);
    passneu->setObjectName(QStringLiteral("passneu"));
    passneu->setGeometry(90, 20, 121, 21);
    passneu->setMaskChar(ui::kPasswordMask);

    passneucheck = new ui::PasswordEdit(GroupBox1);
    passneucheck->setObjectName(QStringLiteral("passneucheck"));
    passneucheck->setGeometry(90, 45, 121, 22);
    passneucheck->setFont(ui::designFont(QStringLiteral("Arial"), 8));
    passneucheck->setMaskChar(ui::kPasswordMask);

    // A screen reader names each edit after the label beside it.
    Label1->setBuddy(passneu);
    Label2->setBuddy(passneucheck);
    ui::keepLabelsClear(GroupBox1);
    passneucheck->setAccessibleDescription(QStringLiteral("Das neue Kennwort noch einmal eingeben"));

    OKbutton = new ui::ResultButton(QStringLiteral("OK"), ui::ModalResult::OK, this);
    OKbutton->setObjectName(QStringLiteral("OKbutton"));
    OKbutton->setGeometry(40, 100, 75, 25);
    OKbutton->onClick([this] { OKbuttonClick(); });

    Button2 = new ui::ResultButton(QStringLiteral("Abbruch"), ui::ModalResult::Cancel, this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(140, 100, 75, 25);

    setDefaultButton(OKbutton);
    setCancelButton(Button2);

    setTabOrder(passneu, passneucheck);
    setTabOrder(passneucheck, OKbutton);
    setTabOrder(OKbutton, Button2);
    passneu->setFocus();
}

QByteArray TSPWchange::newPassword() const
{
    return store::Win1252::fromUnicode(passneu->text());
}

void TSPWchange::OKbuttonClick()
{
    setModalResult(ui::ModalResult::OK);
    // Both checks run, so that the user hears every reason at once.
    if (newPassword().size() < kMinPasswordLength) {
        setModalResult(ui::ModalResult::Cancel);
        ui::messageDlg(QStringLiteral("Passwort ist zu kurz. Änderung wird nicht durchgeführt."),
                       ui::MsgKind::Error, ui::MsgButton::OK);
    }
    // Told, not cut off by the edit: a pasted password cut to the field's size would be stored shorter than
    // the one the user keeps, and the logon would refuse that one.
    if (newPassword().size() > schema::kPasswortSize) {
        setModalResult(ui::ModalResult::Cancel);
        ui::messageDlg(QStringLiteral("Passwort ist zu lang (höchstens %1 Zeichen). Änderung wird nicht "
                                      "durchgeführt.")
                           .arg(schema::kPasswortSize),
                       ui::MsgKind::Error, ui::MsgButton::OK);
    }
    // Exact: the edits only take Windows-1252 characters, each one byte, so equal texts are equal bytes.
    if (passneu->text() != passneucheck->text()) {
        setModalResult(ui::ModalResult::Cancel);
        ui::messageDlg(QStringLiteral("Eingaben stimmen nicht überein. Passwort wird nicht geändert."),
                       ui::MsgKind::Error, ui::MsgButton::OK);
    }
}
