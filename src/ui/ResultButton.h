#pragma once

#include "ModalDialog.h"

#include <QPushButton>

#include <functional>
#include <vector>

namespace ui {

// A push button that carries a dialog result.
//
// Pressing it sets the result of the ModalDialog it sits in, then runs its click handlers in the order they
// were added (each inside ui::guarded(), so an error ends that handler but not the press), and then asks the
// dialog to close with whatever result the handlers left. Handlers belong in onClick(): a plain connection
// to clicked() runs after the close attempt.
class ResultButton : public QPushButton
{
    Q_OBJECT

public:
    ResultButton(const QString &text, ModalResult result, QWidget *parent = nullptr);

    ModalResult result() const { return m_result; }

    void onClick(std::function<void()> handler);

private:
    void press();

    ModalResult m_result;
    std::vector<std::function<void()>> m_handlers;
};

} // namespace ui
