#include "Win1252Validator.h"

#include "Win1252.h"

#include <QHash>
#include <QLineEdit>
#include <QToolTip>

namespace ui {

namespace {

// Whether input holds a character without a Windows-1252 byte that `before` did not have as often.
bool gainsForeign(const QString &before, const QString &input)
{
    QHash<char16_t, qsizetype> available;
    for (QChar c : before) {
        if (!store::Win1252::canEncode(c))
            ++available[c.unicode()];
    }
    for (QChar c : input) {
        if (!store::Win1252::canEncode(c) && --available[c.unicode()] < 0)
            return true;
    }
    return false;
}

} // namespace

Win1252Validator::Win1252Validator(QLineEdit *edit) : QValidator(edit), m_accepted(edit->text())
{
    // QLineEdit validates its new text in place, so the text before the change is remembered here.
    connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { m_accepted = text; });
}

QValidator::State Win1252Validator::validate(QString &input, int &) const
{
    m_lastRefused = gainsForeign(m_accepted, input);
    return m_lastRefused ? Invalid : Acceptable;
}

QString win1252Hint()
{
    return QStringLiteral("Zeichen außerhalb von Windows-1252 sind nicht erlaubt.");
}

Win1252Validator *guardWin1252(QLineEdit *edit)
{
    auto *validator = new Win1252Validator(edit);
    edit->setValidator(validator);
    QObject::connect(edit, &QLineEdit::inputRejected, validator, [edit, validator] {
        if (validator->lastRefused())
            QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), win1252Hint(), edit);
    });
    return validator;
}

} // namespace ui
