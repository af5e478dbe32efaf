#include "PlainText.h"

#include "Canvas.h"

#include <QTextOption>

#include <algorithm>

namespace report {

namespace {

// Whether a character is drawn alone by its own glyph: no mark that joins the one before, no control, no
// script whose letters change shape with their neighbours or run right to left.
bool standsAlone(QChar c)
{
    if (c.isSurrogate())
        return false;
    switch (c.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        break;
    }
    switch (c.script()) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
        return true;
    default:
        return false;
    }
}

} // namespace

PlainFont::PlainFont(const QFont &font, QPaintDevice &device)
    : m_font(font), m_raw(QRawFont::fromFont(QFont(font, &device))), m_glyphs(0x10000)
{
    QTextLayout probe(QStringLiteral("X"), m_font, &device);
    probe.beginLayout();
    QTextLine line = probe.createLine();
    line.setLineWidth(1e6);
    probe.endLayout();
    m_lineHeight = line.height();
    m_ascent = line.ascent();
}

const PlainFont::Glyph &PlainFont::lookUp(char16_t c)
{
    Glyph &g = m_glyphs[c];
    {
        g.plain = 0;
        const QChar ch(c);
        if (standsAlone(ch) && m_raw.supportsCharacter(ch)) {
            const QList<quint32> index = m_raw.glyphIndexesForString(QString(ch));
            if (index.size() == 1 && index[0] != 0) {
                g.index = index[0];
                g.advance = static_cast<float>(m_raw.advancesForGlyphIndexes(index).value(0).x());
                g.plain = 1;
            }
        }
    }
    return g;
}

std::optional<qreal> PlainFont::width(const QString &text)
{
    if (!m_raw.isValid())
        return std::nullopt;
    qreal sum = 0;
    for (QChar c : text) {
        const Glyph &g = glyph(c.unicode());
        if (g.plain != 1)
            return std::nullopt;
        sum += static_cast<qreal>(g.advance);
    }
    return sum;
}

void PlainFont::paint(Canvas &canvas, QPointF origin, const QString &text)
{
    m_ids.clear();
    m_advances.clear();
    for (QChar c : text) {
        const Glyph &g = glyph(c.unicode());
        m_ids.push_back(g.index);
        m_advances.push_back(g.advance);
    }
    canvas.plainLine(origin, m_raw, m_ids, m_advances, text);
}

LaidText::LaidText(PlainFont &font, const QString &text, qreal width, QPaintDevice &device)
    : m_font(font), m_text(text)
{
    if (const std::optional<qreal> plain = font.width(text); plain && *plain <= width) {
        m_height = font.lineHeight();
        m_width = *plain;
        return;
    }
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    lines.replace(u'\n', QChar::LineSeparator).replace(u'\r', QChar::LineSeparator);
    m_layout = std::make_unique<QTextLayout>(lines, font.font(), &device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout->setTextOption(option);
    m_layout->beginLayout();
    for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, m_height));
        m_tops.push_back(m_height);
        m_height += line.height();
        m_width = std::max(m_width, line.naturalTextWidth());
    }
    m_layout->endLayout();
    m_tops.push_back(m_height);
}

qreal LaidText::heightOf(int from, int to) const
{
    return top(to) - top(from);
}

int LaidText::fitting(int from, qreal space, bool atLeastOne) const
{
    int to = from;
    while (to < lineCount() && heightOf(from, to + 1) <= space)
        ++to;
    return atLeastOne && to == from && from < lineCount() ? from + 1 : to;
}

void LaidText::paint(Canvas &canvas, QPointF topLeft, int from, int to) const
{
    if (from >= to)
        return;
    if (!m_layout) {
        m_font.paint(canvas, topLeft + QPointF(0, m_font.ascent()), m_text);
        return;
    }
    const QPointF shift = topLeft - QPointF(0, top(from));
    const QString &text = m_layout->text();
    for (int i = from; i < to; ++i) {
        const QTextLine line = m_layout->lineAt(i);
        canvas.layoutLine(line, shift, QStringView(text).mid(line.textStart(), line.textLength()));
    }
}

} // namespace report
