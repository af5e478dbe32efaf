#pragma once

#include "ErrorHandler.h"
#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace ui {

// Runs a member handler of receiver behind the one error guard (guarded()) whenever the button is clicked;
// the connection ends with the receiver. With boxesOn, the questions and errors the handler shows stand on
// that window (BoxOwner), whichever window the desktop has made active.
template <typename Receiver>
void onClick(QAbstractButton *button, Receiver *receiver, void (Receiver::*handler)(),
             QWidget *boxesOn = nullptr)
{
    const QPointer<QWidget> boxes(boxesOn);
    QObject::connect(button, &QAbstractButton::clicked, receiver, [receiver, handler, boxes] {
        std::optional<BoxOwner> owner;
        if (boxes)
            owner.emplace(boxes);
        guarded([receiver, handler] { (receiver->*handler)(); });
    });
}

} // namespace ui
