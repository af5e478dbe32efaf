#include "ModalDialog.h"

#include "ErrorHandler.h"
#include "ResultButton.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

namespace ui {

ModalDialog::ModalDialog(QWidget *parent) : QDialog(parent)
{
    setModal(true);
}

ModalResult ModalDialog::showModal()
{
    m_result = ModalResult::None;
    const QPointer<ModalDialog> self(this);
    exec();
    if (!self)
        return ModalResult::Cancel;
    // Ended some other way (hidden, application quitting): nobody confirmed anything.
    if (m_result == ModalResult::None)
        m_result = ModalResult::Cancel;
    return m_result;
}

bool ModalDialog::closeQueryGuarded()
{
    bool allowed = false;
    guarded([&] { allowed = closeQuery(); });
    return allowed;
}

bool ModalDialog::tryClose()
{
    if (m_result == ModalResult::None)
        return false;
    if (!closeQueryGuarded()) {
        m_result = ModalResult::None;
        return false;
    }
    finish();
    return true;
}

void ModalDialog::finish()
{
    QDialog::done(m_result == ModalResult::OK ? QDialog::Accepted : QDialog::Rejected);
}

void ModalDialog::setDefaultButton(ResultButton *button)
{
    if (button)
        button->setDefault(true);
}

void ModalDialog::setCancelButton(ResultButton *button)
{
    m_cancelButton = button;
}

void ModalDialog::accept()
{
    m_result = ModalResult::OK;
    tryClose();
}

void ModalDialog::reject()
{
    // QDialog calls this for Escape.
    if (m_cancelButton && m_cancelButton->isEnabled()) {
        m_cancelButton->click();
        return;
    }
    m_result = ModalResult::Cancel;
    tryClose();
}

void ModalDialog::closeEvent(QCloseEvent *event)
{
    if (!isVisible()) {
        event->accept();
        return;
    }
    if (m_result == ModalResult::None)
        m_result = ModalResult::Cancel;
    if (!closeQueryGuarded()) {
        m_result = ModalResult::None;
        event->ignore();
        return;
    }
    event->accept();
    finish(); // ends exec() with the result; a plain close would only hide the dialog
}

void ModalDialog::showEvent(QShowEvent *event)
{
    if (m_centred && !event->spontaneous()) {
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->geometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

} // namespace ui
