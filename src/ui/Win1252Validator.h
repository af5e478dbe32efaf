#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace ui {

// Keeps text the user types or pastes into an edit within Windows-1252, the program's 8-bit text.
//
// Passwords and other program strings cross the store's Windows-1252 codec, which would turn any other
// character into "?" without a word. So an edit guarded by this validator refuses such input outright: a
// keystroke with such a character inserts nothing, and a paste containing one inserts nothing at all
// (rather than a silently shortened text). The refusal is visible: a tool tip with
// win1252Hint() appears under the edit. Characters already in the edit (text set by the program from the
// database's wide text) are left alone and may be deleted or moved; the edit only refuses to gain any.
// Every accepted character is one byte, so an edit's maxLength stays the field's size in bytes.
class Win1252Validator : public QValidator
{
    Q_OBJECT

public:
    // Compares input with the edit's text as it stood before the change; owned by the edit.
    explicit Win1252Validator(QLineEdit *edit);

    State validate(QString &input, int &pos) const override;

    // Whether the most recent validate() refused its input.
    bool lastRefused() const { return m_lastRefused; }

private:
    QString m_accepted; // the edit's text before the change under validation
    mutable bool m_lastRefused = false;
};

// "Zeichen außerhalb von Windows-1252 sind nicht erlaubt."
QString win1252Hint();

// Installs a Win1252Validator (owned by the edit) and shows win1252Hint() as a tool tip whenever the edit
// refuses input because of it. Replaces any validator the edit had.
Win1252Validator *guardWin1252(QLineEdit *edit);

} // namespace ui
