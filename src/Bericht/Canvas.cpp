#include "Canvas.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace report {

void Canvas::plainLine(QPointF origin, const QRawFont &raw, const std::vector<quint32> &ids,
                       const std::vector<float> &advances, QStringView text)
{
    QList<quint32> indexes(ids.begin(), ids.end());
    QList<QPointF> positions;
    positions.reserve(indexes.size());
    qreal x = 0;
    for (const float advance : advances) {
        positions.append(QPointF(x, 0));
        x += static_cast<qreal>(advance);
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    glyphs(origin, run, text, true);
}

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
