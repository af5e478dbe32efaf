#pragma once

// The report's PDF written straight to a device, page by page as it is painted: each page's content
// compressed and written when the next begins, the fonts, the page tree and the cross-reference table at
// the end. The pages' numbers of all are painted last, each page's in a content stream of its own beside the
// one of the page, so that the pages are laid out in one pass. A line of text is one string of one-byte
// codes, with the widths of its glyphs, so that a reader places them as the layout did without a position a
// glyph; each font file is embedded once, and each 252 glyphs of a size get codes of their own through an
// embedded map from codes to glyphs, with a map back to the characters, so that the text can be searched
// and copied. A byte a string would have to escape is never a code.

#include "Canvas.h"

#include <QByteArray>
#include <QIODevice>
#include <QPageLayout>
#include <QRawFont>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace report {

class PdfOutput final : public Canvas
{
public:
    // Begins the document and its first page. `dpi` is the resolution of the positions it is given.
    PdfOutput(QIODevice &out, const QPageLayout &page, int dpi);
    ~PdfOutput() override;
    PdfOutput(const PdfOutput &) = delete;
    PdfOutput &operator=(const PdfOutput &) = delete;

    void setTitle(const QString &title) { m_title = title; }
    void setCreator(const QString &creator) { m_creator = creator; }

    void newPage() override;
    void glyphs(QPointF origin, const QGlyphRun &run, QStringView text, bool oneEach) override;
    void plainLine(QPointF origin, const QRawFont &raw, const std::vector<quint32> &ids,
                   const std::vector<float> &advances, QStringView text) override;
    void layoutLine(const QTextLine &line, QPointF shift, QStringView text) override;
    void fill(const QRectF &rect, const QColor &color) override;
    void rule(QPointF from, QPointF to, const QColor &color, qreal width) override;

    bool numbersLast() const override { return true; }

    // Paints a page's number of all pages on the canvas.
    using Numbers = std::function<void(Canvas &canvas, int page, int total)>;
    // Ends the last page, paints every page's number, ends the document.
    void finish(const Numbers &numbers);
    // Whether the device took less than it was given.
    bool failed() const { return m_failed; }

private:
    // A font file, embedded once.
    struct Face
    {
        QRawFont raw;
        QString key;
        QByteArray name;
        int descriptor = 0; // its object
    };
    // A face at one size: the widths of its glyphs are those of that size, as the layout placed them.
    struct Font
    {
        QRawFont raw;
        std::size_t face = 0;
        qreal size = 0;             // in device units
        int object = 0;             // of its CID font, which its sets share
        std::vector<double> widths; // per glyph in thousandths of the size; negative: not used yet
        std::vector<QString> text;  // per glyph, what it shows
        std::vector<int> codes;     // per glyph, its set's resource and its code (Code); negative: none yet
        std::vector<int> sets;      // the resources of its sets of codes, in m_sets
        int used = 0;               // codes given in its last set
    };
    // A set of at most 252 glyphs of a font, each a one-byte code: a font resource of its own.
    struct CodeSet
    {
        std::size_t font = 0;
        std::vector<std::pair<unsigned char, quint32>> glyphs; // code and glyph, in the order given
    };

    int reserve();
    void pack();
    void stopPacking();
    void begin(int object);
    void write(const QByteArray &bytes);
    void beginPage();
    void endPage();
    void endText();
    std::size_t fontOf(const QRawFont &raw);
    std::size_t madeFont(const QRawFont &raw);
    double widthOf(Font &font, quint32 glyph);
    // The set (its resource) and the code of a glyph, given when first asked.
    int codeOf(std::size_t index, quint32 glyph);
    void useSet(int set);
    void beginText();
    void hundredths(qint64 value);
    // Puts the start of the next glyphs at a point.
    void moveTo(double x, double y);
    void openString();
    void closeString();
    // Compresses into m_packed; false when the compressor fails.
    bool deflated(const QByteArray &data);
    void writeStream(int object, const QByteArray &data, const QByteArray &extra, bool compress);
    void writeFace(Face &face);
    void writeFont(const Font &font);
    void writeSet(const CodeSet &set, int object, int cid);

    QIODevice &m_out;
    qint64 m_offset = 0;
    bool m_failed = false;
    int m_next = 1;                                // the next object's number
    std::vector<std::pair<int, qint64>> m_written; // objects and their offsets
    std::vector<int> m_pages;                      // the objects of their contents
    QByteArray m_media, m_begin;                   // the media box; what starts every page's content
    QByteArray m_content;                          // of the page being painted
    std::string m_line;                            // the codes of a plain line, put in at once
    QByteArray m_packed;
    struct Deflater;
    std::unique_ptr<Deflater> m_deflater;
    bool m_inText = false;
    bool m_inString = false; // "[(" of a TJ written, its ")] TJ" not yet
    bool m_placed = false;   // a line placed in the text object, at m_lineX, m_lineY (hundredths)
    qint64 m_lineX = 0, m_lineY = 0;
    QByteArray m_rules;  // of the page being painted, drawn after its text
    QColor m_ruleColour; // set in m_rules
    qreal m_ruleWidth = -1;
    int m_font = -1;      // the set whose resource is set in the text being written
    qreal m_fontSize = 0; // its size
    std::vector<Face> m_faces;
    std::vector<Font> m_fonts;
    std::vector<CodeSet> m_sets;
    // Each raw font the runs came in, and its font: a face at one size may come in several.
    std::vector<std::pair<QRawFont, std::size_t>> m_raws;
    std::size_t m_last = SIZE_MAX; // of the last run, in m_raws
    QString m_title, m_creator;

    // The pages' contents are compressed and written by a thread of their own while the next are laid
    // out; until it is stopped, only it writes.
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::pair<int, QByteArray>> m_queue; // contents' objects and their pages' contents
    bool m_closing = false;
    std::thread m_packer;
};

} // namespace report
