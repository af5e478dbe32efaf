#pragma once

#include <QLabel>
#include <QLayout>
#include <QPoint>
#include <QString>

#include <algorithm>

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

// Large text makes a label wider than the gap the design left before its edit, and the edit would hide the
// label's end. Each edit that a placed label names starts after its label's text instead, keeping its right
// edge (its text scrolls within it); at the designed text size nothing moves.
inline void keepLabelsClear(QWidget *window)
{
    constexpr int kGap = 3;
    constexpr int kNarrowest = 24;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        QWidget *edit = label->buddy();
        if (!edit || edit->parentWidget() != label->parentWidget() || label->parentWidget()->layout())
            continue;
        const int textEnd = label->x() + label->sizeHint().width() + kGap;
        const bool sameRow =
            edit->y() < label->y() + label->height() && label->y() < edit->y() + edit->height();
        if (!sameRow || edit->x() < label->x() || textEnd <= edit->x())
            continue;
        const int right = edit->geometry().right();
        const int left = std::min(textEnd, right + 1 - kNarrowest);
        edit->setGeometry(left, edit->y(), right + 1 - left, edit->height());
    }
}

} // namespace ui
