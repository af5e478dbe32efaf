#pragma once

// Text laid out for the report's pages. Nearly every cell of a large report is one plain line: a path, a
// name, an id. Qt's text layout (itemizing, shaping, finding line breaks) costs more per cell than the PDF
// that is painted of it, so such a line is measured by adding the advances of its characters, each looked
// up once per font, and painted as one glyph run. Anything else (a line break, a text wider than its
// column, a character the font lacks, a script that needs shaping) goes through QTextLayout.

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QString>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <vector>

class QPaintDevice;

namespace report {

class Canvas;

// One font on one device, with what its plain lines need.
class PlainFont
{
public:
    PlainFont(const QFont &font, QPaintDevice &device);

    const QFont &font() const { return m_font; }
    // Of a line as QTextLayout lays it out in this font: its height and the baseline's distance from its top.
    qreal lineHeight() const { return m_lineHeight; }
    qreal ascent() const { return m_ascent; }

    // The width of the text as one line without shaping; nothing when it is no such line.
    std::optional<qreal> width(const QString &text);
    // Paints a text width() measured, its baseline's left end at `origin`.
    void paint(Canvas &canvas, QPointF origin, const QString &text);

private:
    struct Glyph
    {
        quint32 index = 0;
        float advance = 0;
        signed char plain = -1; // not yet looked at
    };
    const Glyph &glyph(char16_t c)
    {
        const Glyph &g = m_glyphs[c];
        return g.plain < 0 ? lookUp(c) : g;
    }
    const Glyph &lookUp(char16_t c);

    QFont m_font;
    QRawFont m_raw;
    qreal m_lineHeight = 0;
    qreal m_ascent = 0;
    std::vector<Glyph> m_glyphs;
    // Of the line being painted, kept to spare an allocation a line.
    std::vector<quint32> m_ids;
    std::vector<float> m_advances;
};

// A text laid out in a width: one plain line, or the lines of Qt's layout. Its lines can be painted a run
// at a time, so that a text taller than what is left of a page goes on on the next.
class LaidText
{
public:
    LaidText(PlainFont &font, const QString &text, qreal width, QPaintDevice &device);

    int lineCount() const { return m_layout ? static_cast<int>(m_tops.size()) - 1 : 1; }
    qreal height() const { return m_height; }
    // Of its widest line.
    qreal width() const { return m_width; }
    // Of the lines [from, to): their height together.
    qreal heightOf(int from, int to) const;
    // How many lines from `from` fit into `space` (at least one, when `atLeastOne`).
    int fitting(int from, qreal space, bool atLeastOne) const;
    // Paints the lines [from, to), the first with its top at `topLeft`.
    void paint(Canvas &canvas, QPointF topLeft, int from, int to) const;

private:
    PlainFont &m_font;
    QString m_text;
    std::unique_ptr<QTextLayout> m_layout; // none for one plain line
    std::vector<qreal> m_tops; // of each line of the layout, and after them the bottom of the last
    qreal top(int line) const
    {
        return m_layout ? m_tops[static_cast<std::size_t>(line)] : line > 0 ? m_height : 0;
    }
    qreal m_height = 0;
    qreal m_width = 0;
};

} // namespace report
