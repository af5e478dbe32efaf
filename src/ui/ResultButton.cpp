#include "ResultButton.h"

#include "ErrorHandler.h"

#include <QPointer>

namespace ui {

ResultButton::ResultButton(const QString &text, ModalResult result, QWidget *parent)
    : QPushButton(text, parent), m_result(result)
{
    connect(this, &QPushButton::clicked, this, &ResultButton::press);
}

void ResultButton::onClick(std::function<void()> handler)
{
    m_handlers.push_back(std::move(handler));
}

void ResultButton::press()
{
    const QPointer<ModalDialog> dialog = qobject_cast<ModalDialog *>(window());
    if (dialog && m_result != ModalResult::None)
        dialog->setModalResult(m_result);

    const QPointer<ResultButton> self(this);
    // A copy: a handler may add handlers or even destroy the button.
    const auto handlers = m_handlers;
    for (const auto &handler : handlers) {
        guarded(handler);
        if (!self)
            return;
    }
    if (dialog)
        dialog->tryClose();
}

} // namespace ui
