#pragma once

#include <QLabel>
#include <QPoint>
#include <QString>

namespace ui {

// A label at a designed position, as large as its text.
inline QLabel *placedLabel(QWidget *parent, const QString &text, QPoint at, const QString &name = QString())
{
    auto *label = new QLabel(text, parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->adjustSize();
    label->move(at);
    return label;
}

} // namespace ui
