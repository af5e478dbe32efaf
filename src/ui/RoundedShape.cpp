#include "RoundedShape.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

namespace ui {

RoundedShape::RoundedShape(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RoundedShape::setCornerEllipse(QSize ellipse)
{
    m_corner = ellipse;
    update();
}

void RoundedShape::setBrushColour(const QColor &colour)
{
    m_brush = colour;
    update();
}

void RoundedShape::paintShape(QPainter &painter) const
{
    // Hard pixel edges, never smoothed: a smoothed edge would blend with whatever lies behind the window.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(m_pen, 0));
    painter.setBrush(m_brush);
    const QRect outline = rect().adjusted(0, 0, -1, -1);
    painter.drawRoundedRect(outline, m_corner.width() / 2.0, m_corner.height() / 2.0, Qt::AbsoluteSize);
}

void RoundedShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintShape(painter);
}

QRegion RoundedShape::coveredRegion() const
{
    if (size().isEmpty())
        return {};
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintShape(painter);
    }
    return QRegion(QBitmap::fromImage(image.createAlphaMask()));
}

} // namespace ui
