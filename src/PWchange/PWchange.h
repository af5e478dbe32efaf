#pragma once

#include "KeyedWindow.h"
#include "PasswordRules.h"

class QGroupBox;
class QLabel;

namespace ui {
class PasswordEdit;
class ResultButton;
} // namespace ui

// The dialog that asks for a new password twice ("Kennwort ändern").
//
// It only judges the two entries: OK closes it with the result OK, but only when the new password has at
// least 5 characters and no more than the Passwort field holds, and the repetition equals it byte for byte;
// otherwise it closes with Cancel after saying why (both reasons, length first, when both apply). It never
// keeps itself open for a second try. Whoever opened it reads passneu when the result is OK and stores the
// password.
class TSPWchange : public ui::KeyedWindow
{
    Q_OBJECT

public:
    explicit TSPWchange(QWidget *parent = nullptr);

    // The new password as the program's 8-bit text (Windows-1252), which is what gets scrambled.
    QByteArray newPassword() const;

    void OKbuttonClick();

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLabel *Label2;
    ui::PasswordEdit *passneu;
    ui::PasswordEdit *passneucheck;
    ui::ResultButton *OKbutton;
    ui::ResultButton *Button2;
};
