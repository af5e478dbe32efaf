#include "PasswordEdit.h"

#include "Win1252Validator.h"

#include <QApplication>
#include <QEvent>
#include <QProxyStyle>

namespace ui {

class PasswordEdit::MaskStyle : public QProxyStyle
{
public:
    explicit MaskStyle(const PasswordEdit *edit) : m_edit(edit) {}

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return m_edit->maskChar().unicode();
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    const PasswordEdit *m_edit;
};

PasswordEdit::PasswordEdit(QWidget *parent) : QLineEdit(parent), m_style(std::make_unique<MaskStyle>(this))
{
    setStyle(m_style.get());
    setEchoMode(QLineEdit::Password);
    guardWin1252(this);
}

PasswordEdit::~PasswordEdit()
{
    // The widget must let go of its style before the style is destroyed.
    setStyle(nullptr);
}

void PasswordEdit::setMaskChar(QChar mask)
{
    if (mask == m_mask)
        return;
    m_mask = mask;
    // QLineEdit fetches the password character again on a style change.
    QEvent styleChange(QEvent::StyleChange);
    QApplication::sendEvent(this, &styleChange);
    update();
}

} // namespace ui
