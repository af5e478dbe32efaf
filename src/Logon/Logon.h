#pragma once

#include "KeyedWindow.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace store {
class RecordSet;
}

namespace ui {
class Animate;
class PasswordEdit;
class ResultButton;
} // namespace ui

// The user the logon found: copies of one Benutzer record, as the program's 8-bit text (Windows-1252).
// Passwort is the stored, scrambled form. Starts empty and not an administrator.
struct SignedOnUser
{
    QByteArray User;
    QByteArray Initialien;
    QByteArray RealName;
    QByteArray Passwort;
    bool Admin = false;
    QVariant Id; // the user's row, as the journal names it

    // The texts for display.
    QString userText() const;
    QString initialienText() const;
    QString realNameText() const;
};

// The gate of the program ("Sicherheitskontrolle"): asks for user name and password, checks them against
// Benutzer on SData->SecureDB, optionally lets the user change the own password on the way, and keeps the
// signed-on user for the rest of the run.
//
// Use: create it once without a parent (the application owns it; keep it to the end of the run), call
// showModal(), go on only with ui::ModalResult::OK, then read signedOnUser(). Creation runs FormCreate,
// which proposes the user whose NTUser is the current account and starts the key animation; an error there
// is shown by the default error handler and the dialog still opens.
//
// OK looks the entered name up. Unknown name: error box, the dialog stays open. More than one record: the
// dialog closes with Cancel, silently. Exactly one: that record becomes the signed-on user (even if the
// password then turns out wrong) and the close check compares passwords; a wrong one gets a warning,
// empties Pass and keeps the dialog open. The close check trusts only a user found by the same press: when
// the lookup fails (a locked file), the store's error is shown and the dialog stays open as for a wrong
// password, whoever an earlier press found. With "Passwort ändern" ticked and the right password, the
// password change dialog runs first and, when it ends with OK, the new password is stored for every record
// of that user name; this logon still completes with the old one.
class TSLogon : public ui::KeyedWindow
{
    Q_OBJECT

public:
    explicit TSLogon(QWidget *parent = nullptr);
    ~TSLogon() override;

    const SignedOnUser &signedOnUser() const { return m_user; }

    void FormCreate();
    void OKbuttonClick();
    void Button2Click();
    // The close check; CanClose comes in true.
    void FormCloseQuery(bool &CanClose);

    store::RecordSet *UserSQL;

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Benutzer;
    ui::PasswordEdit *Pass;
    QCheckBox *Pwchange;
    ui::ResultButton *OKbutton;
    ui::ResultButton *Button2;
    ui::Animate *Animate1;

protected:
    bool closeQuery() override;

private:
    // The group box with the name, the password and "Passwort ändern".
    void buildSignOnBox();
    // OK and "Abbruch", the clip beside the box, and the keyboard's way through the dialog.
    void buildButtons();
    // Whether the entered password, scrambled, is exactly the stored one.
    bool passwordMatches(const QByteArray &storedScrambled) const;
    // Into the journal; a journal that cannot be written is reported and changes nothing of the logon.
    void recordRefusal(const QVariant &userId, const QString &reason);
    void changePassword();

    SignedOnUser m_user;
    // Whether this press's own lookup found exactly one record. The signed-on user keeps the values of an
    // earlier press, but a press whose lookup failed half way proved nobody and must not let them in.
    bool m_foundThisPress = false;
    // False when the stored password held a character outside Windows-1252 (no password matches it).
    bool m_passwortExact = true;
};

// The one logon dialog of the run; null while there is none.
extern TSLogon *SLogon;
