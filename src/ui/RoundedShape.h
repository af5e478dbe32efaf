#pragma once

#include <QColor>
#include <QRegion>
#include <QSize>
#include <QWidget>

namespace ui {

// A rectangle with rounded corners, filled and outlined like a Windows shape control: the pen's 1-pixel
// outline lies inside the widget's rectangle, and the corners are quarter ellipses of cornerEllipse().
// Nothing outside the outline is painted. It lets mouse presses through to the window beneath.
class RoundedShape : public QWidget
{
    Q_OBJECT

public:
    explicit RoundedShape(QWidget *parent = nullptr);

    void setCornerEllipse(QSize ellipse);
    QSize cornerEllipse() const { return m_corner; }
    void setBrushColour(const QColor &colour);

    // The pixels the shape covers, in its own coordinates.
    QRegion coveredRegion() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintShape(class QPainter &painter) const;

    QSize m_corner{0, 0};
    QColor m_brush{192, 192, 192};
    QColor m_pen{0, 0, 0};
};

} // namespace ui
