#pragma once

#include <QLineEdit>

#include <memory>

namespace ui {

// The mask character of the sign-on dialogs' password edits: "¤".
inline constexpr QChar kPasswordMask = QChar(0x00A4);

// A line edit that shows every character as one mask character ("?" until told otherwise).
//
// Qt takes the password character from the style, so each edit has a small style of its own that answers
// with the mask character and never shows the last typed character in clear. text() is the real text.
// Passwords are stored as Windows-1252 bytes, so the edit is guarded by guardWin1252(): a character that
// would not survive that conversion is refused, never silently turned into another.
class PasswordEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit PasswordEdit(QWidget *parent = nullptr);
    ~PasswordEdit() override;

    QChar maskChar() const { return m_mask; }
    void setMaskChar(QChar mask);

private:
    class MaskStyle;

    QChar m_mask = u'?';
    std::unique_ptr<MaskStyle> m_style;
};

} // namespace ui
