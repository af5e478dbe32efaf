#pragma once

// What the report's pages are painted on. The layout decides every position once; a canvas only puts
// glyphs, fills and rules where it is told, so that a printer and the PDF the tool writes show the same
// pages. Positions are in the units of the paint device the layout measured with, from the top left of the
// page's printable area, y downwards.

#include <QColor>
#include <QGlyphRun>
#include <QPointF>
#include <QRectF>
#include <QStringView>

#include <vector>

class QPagedPaintDevice;
class QPainter;
class QTextLine;

namespace report {

class Canvas
{
public:
    virtual ~Canvas() = default;

    // Ends the page painted so far and begins the next (the first page is begun by the canvas itself).
    virtual void newPage() = 0;
    // Glyphs of one font, `origin` added to their positions. `text` is what they show: one character a
    // glyph when `oneEach`, otherwise the text a line of a layout was made of.
    virtual void glyphs(QPointF origin, const QGlyphRun &run, QStringView text, bool oneEach) = 0;
    // One plain line: glyph `ids` of `raw`, one character of `text` each, each after the one before by its
    // `advances`. Nearly every text of a large report is such a line, so a canvas may take it the short way.
    virtual void plainLine(QPointF origin, const QRawFont &raw, const std::vector<quint32> &ids,
                           const std::vector<float> &advances, QStringView text);
    // A line of a layout, `shift` added to its position.
    virtual void layoutLine(const QTextLine &line, QPointF shift, QStringView text) = 0;
    virtual void fill(const QRectF &rect, const QColor &color) = 0;
    virtual void rule(QPointF from, QPointF to, const QColor &color, qreal width) = 0;
    // Whether the pages' numbers of all ("Seite 3 von 41") are painted once the last page is known, so that
    // the pages need not be counted before they are painted.
    virtual bool numbersLast() const { return false; }
};

// Painting through a QPainter on any paged device: a printer, a print preview's.
class PainterCanvas final : public Canvas
{
public:
    PainterCanvas(QPainter &painter, QPagedPaintDevice &device) : m_painter(painter), m_device(device) {}

    void newPage() override;
    void glyphs(QPointF origin, const QGlyphRun &run, QStringView text, bool oneEach) override;
    void layoutLine(const QTextLine &line, QPointF shift, QStringView text) override;
    void fill(const QRectF &rect, const QColor &color) override;
    void rule(QPointF from, QPointF to, const QColor &color, qreal width) override;

private:
    QPainter &m_painter;
    QPagedPaintDevice &m_device;
};

} // namespace report
