#include "InputQuery.h"

#include "ServerPassword.h"
#include "Win1252Validator.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

namespace ui {

bool inputQuery(const QString &caption, const QString &prompt, QString &value, int maxLength)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("InputQuery"));
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
    dialog.setTextValue(value);
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        edit->setMaxLength(maxLength);
        guardWin1252(edit);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

void installServerPasswordPrompt()
{
    store::setServerPasswordPrompt([](const QString &server) -> std::optional<QString> {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setObjectName(QStringLiteral("ServerPassword"));
        dialog.setWindowTitle(QStringLiteral("Datenbankserver"));
        dialog.setLabelText(QStringLiteral("Kennwort für den Datenbankserver %1:").arg(server));
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setTextEchoMode(QLineEdit::Password);
        dialog.setOkButtonText(QStringLiteral("OK"));
        dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    });
}

} // namespace ui
