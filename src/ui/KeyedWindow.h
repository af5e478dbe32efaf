#pragma once

#include "ModalDialog.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace ui {

class RoundedShape;

// How far two colours stand apart as accessibility guidelines measure it: 1 (not at all) to 21 (black and
// white). Text needs 4.5 to be readable for most.
double contrastRatio(const QColor &a, const QColor &b);
// Black or white, whichever stands out more from the background.
QColor inkOn(const QColor &background);

// A frameless modal dialog of which only its rounded body is visible.
//
// The window is frameless and translucent and paints no background at all; what shows is its body, the
// child `Shape1` (a RoundedShape, silver with a black outline). The window is additionally masked to the
// body, which keeps the corners clear on desktops without a compositor. Child controls inherit a silver
// palette. The window has the given client size, the design font ("MS Sans Serif", 8 pt, or its stand-in),
// is centred on the screen when shown, and can be dragged by its body.
class KeyedWindow : public ModalDialog
{
    Q_OBJECT

public:
    KeyedWindow(QSize clientSize, QRect body, QSize cornerEllipse, QWidget *parent = nullptr);

    static QColor bodyColour() { return {192, 192, 192}; }

    RoundedShape *shape() const { return m_shape; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateMask();

    RoundedShape *m_shape;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace ui
