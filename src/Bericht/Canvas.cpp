#include "Canvas.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace report {

void PainterCanvas::newPage()
{
    m_device.newPage();
}

void PainterCanvas::glyphs(QPointF origin, const QGlyphRun &run, QStringView, bool)
{
    m_painter.setPen(Qt::black);
    m_painter.drawGlyphRun(origin, run);
}

void PainterCanvas::layoutLine(const QTextLine &line, QPointF shift, QStringView)
{
    m_painter.setPen(Qt::black);
    line.draw(&m_painter, shift);
}

void PainterCanvas::fill(const QRectF &rect, const QColor &color)
{
    m_painter.fillRect(rect, color);
}

void PainterCanvas::rule(QPointF from, QPointF to, const QColor &color, qreal width)
{
    m_painter.setPen(QPen(color, width));
    m_painter.drawLine(from, to);
}

} // namespace report
