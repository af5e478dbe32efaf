#include "PdfOutput.h"

#include <QDateTime>
#include <QtEndian>
#include <QTextLayout>

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace report {

namespace {

// Object numbers fixed before anything is written: the catalog, the page tree, the resources every page
// shares, the document's information.
constexpr int kCatalog = 1, kPageTree = 2, kResources = 3, kInfo = 4;

void number(QByteArray &out, double value, int decimals)
{
    char buffer[48];
    const auto made =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, made.ptr - buffer);
}

QByteArray number(double value, int decimals)
{
    QByteArray out;
    number(out, value, decimals);
    return out;
}

// A text string of the document's information: UTF-16 with its byte order mark, in hex.
QByteArray textString(const QString &text)
{
    QByteArray bytes("\xFE\xFF", 2);
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() >> 8));
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return '<' + bytes.toHex() + '>';
}

// A code that a string of a content stream would have to escape.
bool escaped(int code)
{
    return code == '\r' || code == '(' || code == ')' || code == '\\';
}

QByteArray hex2(int code)
{
    return QByteArray::number(code, 16).rightJustified(2, '0').toUpper();
}

QByteArray hex16(const QString &text)
{
    QByteArray out;
    for (QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return out;
}

void colour(QByteArray &out, const QColor &c, const char *op)
{
    number(out, c.redF(), 3);
    out += ' ';
    number(out, c.greenF(), 3);
    out += ' ';
    number(out, c.blueF(), 3);
    out += op;
}

quint16 u16(const QByteArray &table, int at)
{
    return table.size() >= at + 2 ? qFromBigEndian<quint16>(table.constData() + at) : 0;
}

qint16 s16(const QByteArray &table, int at)
{
    return static_cast<qint16>(u16(table, at));
}

// The font file a raw font was read from, made again of its tables: those a reader needs to draw glyphs
// by their ids (outlines, metrics, hinting) and those that name it.
QByteArray fontFile(const QRawFont &raw, bool &outlinesInCff)
{
    static const char *const tags[] = {"CFF ", "OS/2", "cmap", "cvt ", "fpgm", "glyf", "head",
                                       "hhea", "hmtx", "loca", "maxp", "name", "post", "prep"};
    std::vector<std::pair<QByteArray, QByteArray>> tables;
    for (const char *tag : tags) {
        QByteArray data = raw.fontTable(tag);
        if (!data.isEmpty())
            tables.emplace_back(QByteArray(tag, 4), std::move(data));
    }
    outlinesInCff =
        std::any_of(tables.begin(), tables.end(), [](const auto &t) { return t.first == "CFF "; });
    if (tables.empty())
        return {};
    const auto n = static_cast<quint16>(tables.size());
    quint16 power = 1, log = 0;
    while (power * 2 <= n) {
        power = static_cast<quint16>(power * 2);
        ++log;
    }
    QByteArray file;
    const auto put16 = [&](quint16 v) {
        file.append(static_cast<char>(v >> 8));
        file.append(static_cast<char>(v & 0xFF));
    };
    const auto put32 = [&](quint32 v) {
        put16(static_cast<quint16>(v >> 16));
        put16(static_cast<quint16>(v & 0xFFFF));
    };
    file.append(outlinesInCff ? QByteArray("OTTO") : QByteArray("\x00\x01\x00\x00", 4));
    put16(n);
    put16(static_cast<quint16>(power * 16));
    put16(log);
    put16(static_cast<quint16>(n * 16 - power * 16));
    quint32 offset = 12 + 16u * n;
    for (auto &[tag, data] : tables) {
        const auto length = static_cast<quint32>(data.size());
        data.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
        quint32 sum = 0;
        for (qsizetype i = 0; i < data.size(); i += 4)
            sum += qFromBigEndian<quint32>(data.constData() + i);
        file.append(tag);
        put32(sum);
        put32(offset);
        put32(length);
        offset += static_cast<quint32>(data.size());
    }
    for (const auto &table : tables)
        file.append(table.second);
    return file;
}

} // namespace

PdfOutput::PdfOutput(QIODevice &out, const QPageLayout &page, int dpi) : m_out(out)
{
    const QRectF full = page.fullRect(QPageLayout::Point);
    const QMarginsF margins = page.margins(QPageLayout::Point);
    m_media = "[0 0 " + number(full.width(), 3) + ' ' + number(full.height(), 3) + ']';
    // Device units to points, y downwards from the printable area's top left.
    const double scale = 72.0 / dpi;
    m_begin = "q " + number(scale, 6) + " 0 0 " + number(-scale, 6) + ' ' + number(margins.left(), 3) + ' ' +
              number(full.height() - margins.top(), 3) + " cm 0 g\n";
    for (int i = kCatalog; i <= kInfo; ++i)
        reserve();
    write(QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"));
    beginPage();
    m_packer = std::thread([this] { pack(); });
}

PdfOutput::~PdfOutput()
{
    stopPacking();
}

void PdfOutput::stopPacking()
{
    if (!m_packer.joinable())
        return;
    {
        const std::lock_guard lock(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    m_packer.join();
}

void PdfOutput::pack()
{
    for (;;) {
        std::pair<int, QByteArray> job;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_closing; });
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_changed.notify_all();
        writeStream(job.first, job.second, {}, true);
    }
}

int PdfOutput::reserve()
{
    return m_next++;
}

void PdfOutput::begin(int object)
{
    m_written.emplace_back(object, m_offset);
    write(QByteArray::number(object) + " 0 obj\n");
}

void PdfOutput::write(const QByteArray &bytes)
{
    if (!m_failed && m_out.write(bytes) != bytes.size())
        m_failed = true;
    m_offset += bytes.size();
}

void PdfOutput::beginPage()
{
    m_content = m_begin;
    // Most pages take a few kilobytes: grown from the start, the content would be copied several times.
    m_content.reserve(8192);
    m_inText = false;
    m_inString = false;
    m_font = -1;
    m_rules.clear();
    m_ruleColour = QColor();
    m_ruleWidth = -1;
}

void PdfOutput::endPage()
{
    endText();
    m_content += m_rules;
    m_content += "Q\n";
    const int contents = reserve();
    m_pages.push_back(contents);
    if (!m_packer.joinable()) {
        writeStream(contents, m_content, {}, true);
        return;
    }
    {
        // A few pages ahead at most: the writer waits for the packer rather than heaping up pages.
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_queue.size() < 4; });
        m_queue.emplace_back(contents, std::move(m_content));
    }
    m_changed.notify_all();
}

void PdfOutput::newPage()
{
    endPage();
    beginPage();
}

void PdfOutput::endText()
{
    closeString();
    if (m_inText)
        m_content += "ET\n";
    m_inText = false;
}

std::size_t PdfOutput::fontOf(const QRawFont &raw)
{
    if (m_last < m_raws.size() && m_raws[m_last].first == raw)
        return m_raws[m_last].second;
    for (m_last = 0; m_last < m_raws.size(); ++m_last)
        if (m_raws[m_last].first == raw)
            return m_raws[m_last].second;
    // A raw font not seen before: of a face and size seen before, or new.
    const std::size_t made = madeFont(raw);
    m_raws.emplace_back(raw, made);
    return made;
}

std::size_t PdfOutput::madeFont(const QRawFont &raw)
{
    const QString key = QStringLiteral("%1/%2/%3/%4")
                            .arg(raw.familyName(), raw.styleName())
                            .arg(raw.weight())
                            .arg(static_cast<int>(raw.style()));
    std::size_t face = 0;
    while (face < m_faces.size() && m_faces[face].key != key)
        ++face;
    if (face == m_faces.size()) {
        QByteArray name;
        for (QChar c : raw.familyName() + QLatin1Char('-') + raw.styleName())
            if (c.isLetterOrNumber() && c.unicode() < 128)
                name += static_cast<char>(c.unicode());
            else if (c == u'-')
                name += '-';
        m_faces.push_back({raw, key, name.isEmpty() ? QByteArray("Font") : name, 0});
    }
    for (std::size_t i = 0; i < m_fonts.size(); ++i)
        if (m_fonts[i].face == face && m_fonts[i].size == raw.pixelSize())
            return i;
    Font font;
    font.raw = raw;
    font.face = face;
    font.size = raw.pixelSize();
    font.object = reserve();
    m_fonts.push_back(std::move(font));
    return m_fonts.size() - 1;
}

double PdfOutput::widthOf(Font &font, quint32 glyph)
{
    if (glyph >= font.widths.size()) {
        font.widths.resize(glyph + 1, -1);
        font.text.resize(glyph + 1);
        font.codes.resize(glyph + 1, -1);
    }
    double &w = font.widths[glyph];
    if (w < 0) {
        const double advance = font.raw.advancesForGlyphIndexes(QList<quint32>{glyph}).value(0).x();
        // In thousandths of the size, rounded as written, so that the reader's pen goes where ours does.
        w = font.size > 0 ? std::round(advance / font.size * 1e6) / 1000 : 0;
    }
    return w;
}

int PdfOutput::codeOf(std::size_t index, quint32 glyph)
{
    Font &font = m_fonts[index];
    widthOf(font, glyph);
    int &code = font.codes[glyph];
    if (code >= 0)
        return code;
    while (!font.sets.empty() && font.used < 256 && escaped(font.used))
        ++font.used;
    if (font.sets.empty() || font.used >= 256) {
        m_sets.push_back({index, {}});
        font.sets.push_back(static_cast<int>(m_sets.size() - 1));
        font.used = 0;
    }
    const int set = font.sets.back(), byte = font.used++;
    m_sets[static_cast<std::size_t>(set)].glyphs.emplace_back(static_cast<unsigned char>(byte), glyph);
    code = set * 256 + byte;
    return code;
}

void PdfOutput::openString()
{
    if (!m_inString)
        m_content += "[(";
    m_inString = true;
}

void PdfOutput::closeString()
{
    if (m_inString)
        m_content += ")] TJ\n";
    m_inString = false;
}

void PdfOutput::beginText()
{
    if (m_inText)
        return;
    m_content += "BT\n";
    m_inText = true;
    m_placed = false;
}

// Hundredths of a unit as a number: "-12.05".
void PdfOutput::hundredths(qint64 value)
{
    char buffer[32];
    char *end = buffer + sizeof buffer, *p = end;
    const bool negative = value < 0;
    quint64 v = static_cast<quint64>(negative ? -value : value);
    const quint64 fraction = v % 100;
    v /= 100;
    if (fraction != 0) {
        *--p = static_cast<char>('0' + fraction % 10);
        *--p = static_cast<char>('0' + fraction / 10);
        *--p = '.';
    }
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (negative)
        *--p = '-';
    m_content.append(p, end - p);
}

void PdfOutput::moveTo(double x, double y)
{
    closeString();
    beginText();
    const qint64 hx = std::llround(x * 100), hy = std::llround(y * 100);
    // The first line of a text object is placed whole; each next from the one before, which is shorter.
    if (!m_placed) {
        m_content += "1 0 0 -1 ";
        hundredths(hx);
        m_content += ' ';
        hundredths(hy);
        m_content += " Tm\n";
    } else {
        hundredths(hx - m_lineX);
        m_content += ' ';
        hundredths(m_lineY - hy);
        m_content += " Td\n";
    }
    m_placed = true;
    m_lineX = hx;
    m_lineY = hy;
}

void PdfOutput::useSet(int set)
{
    if (m_font == set)
        return;
    closeString();
    beginText();
    m_content += "/F" + QByteArray::number(set) + ' ';
    number(m_content, m_fonts[m_sets[static_cast<std::size_t>(set)].font].size, 3);
    m_content += " Tf\n";
    m_font = set;
}

void PdfOutput::glyphs(QPointF origin, const QGlyphRun &run, QStringView text, bool oneEach)
{
    const QList<quint32> ids = run.glyphIndexes();
    const QList<QPointF> at = run.positions();
    if (ids.isEmpty())
        return;
    const std::size_t index = fontOf(run.rawFont());
    Font &font = m_fonts[index];
    for (qsizetype i = 0; i < ids.size(); ++i)
        widthOf(font, ids[i]);
    if (oneEach) {
        for (qsizetype i = 0; i < ids.size() && i < text.size(); ++i)
            if (QString &shown = font.text[ids[i]]; shown.isNull())
                shown = text[i];
    } else {
        // Each character of the line that this font draws by one glyph of its own.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QString c = text.mid(i, n).toString();
            const QList<quint32> glyph = font.raw.glyphIndexesForString(c);
            if (glyph.size() == 1 && glyph[0] != 0 && glyph[0] < font.text.size() &&
                font.text[glyph[0]].isNull())
                font.text[glyph[0]] = c;
            i += n - 1;
        }
    }
    beginText();
    const double size = font.size > 0 ? font.size : 1;
    double pen = 0, y = 0;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const int code = codeOf(index, ids[i]);
        useSet(code >> 8);
        const double gx = origin.x() + at[i].x(), gy = origin.y() + at[i].y();
        if (i == 0 || std::abs(gy - y) > 0.01) {
            moveTo(gx, gy);
            pen = gx;
            y = gy;
        } else if (std::abs(gx - pen) > 0.01) {
            m_content += m_inString ? ")" : "[";
            number(m_content, (pen - gx) * 1000 / size, 1);
            m_content += "(";
            m_inString = true;
            pen = gx;
        }
        openString();
        m_content += static_cast<char>(code & 0xFF);
        pen += m_fonts[index].widths[ids[i]] * size / 1000;
    }
    closeString();
}

void PdfOutput::plainLine(QPointF origin, const QRawFont &raw, const std::vector<quint32> &ids,
                          const std::vector<float> &, QStringView text)
{
    // The glyphs follow each other by their advances, which are the widths the fonts are written with: the
    // line needs its start alone.
    if (ids.empty())
        return;
    const std::size_t index = fontOf(raw);
    Font &font = m_fonts[index];
    m_line.clear();
    bool placed = false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const quint32 id = ids[i];
        int code = id < font.codes.size() ? font.codes[id] : -1;
        if (code < 0)
            code = codeOf(index, id);
        if (QString &shown = font.text[id]; shown.isNull() && i < static_cast<std::size_t>(text.size()))
            shown = text[static_cast<qsizetype>(i)];
        if (code >> 8 != m_font) {
            if (!m_line.empty()) {
                m_content.append(m_line.data(), static_cast<qsizetype>(m_line.size()));
                m_line.clear();
            }
            useSet(code >> 8);
        }
        if (!placed) {
            moveTo(origin.x(), origin.y());
            placed = true;
        }
        if (!m_inString) {
            m_content += "[(";
            m_inString = true;
        }
        m_line.push_back(static_cast<char>(code & 0xFF));
    }
    m_content.append(m_line.data(), static_cast<qsizetype>(m_line.size()));
    closeString();
}

void PdfOutput::layoutLine(const QTextLine &line, QPointF shift, QStringView text)
{
    for (const QGlyphRun &run : line.glyphRuns())
        glyphs(shift, run, text, false);
}

void PdfOutput::fill(const QRectF &rect, const QColor &color)
{
    endText();
    m_content += "q ";
    colour(m_content, color, " rg ");
    for (const double v : {rect.x(), rect.y(), rect.width(), rect.height()}) {
        number(m_content, v, 2);
        m_content += ' ';
    }
    m_content += "re f Q\n";
}

void PdfOutput::rule(QPointF from, QPointF to, const QColor &color, qreal width)
{
    // Rules never cross text: they are drawn after the page's text, so that the text is not broken into
    // text objects around each, and they set their colour and width only when these change.
    if (color != m_ruleColour || width != m_ruleWidth) {
        colour(m_rules, color, " RG ");
        number(m_rules, width, 2);
        m_rules += " w\n";
        m_ruleColour = color;
        m_ruleWidth = width;
    }
    for (const double v : {from.x(), from.y()}) {
        number(m_rules, v, 2);
        m_rules += ' ';
    }
    m_rules += "m ";
    for (const double v : {to.x(), to.y()}) {
        number(m_rules, v, 2);
        m_rules += ' ';
    }
    m_rules += "l S\n";
}

// One compressor for every stream, reset for each: made anew, it would clear and allocate its tables for
// every page.
struct PdfOutput::Deflater
{
    z_stream z{};
    bool ready = false;
    ~Deflater()
    {
        if (ready)
            deflateEnd(&z);
    }
};

bool PdfOutput::deflated(const QByteArray &data)
{
    if (!m_deflater)
        m_deflater = std::make_unique<Deflater>();
    z_stream &z = m_deflater->z;
    if (!m_deflater->ready) {
        // The fastest level: most of a page is glyph codes, which pack well at any level. A page's content is
        // a few kilobytes, for which a small window and hash find what large ones would, sooner.
        if (deflateInit2(&z, 1, Z_DEFLATED, 13, 6, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        m_deflater->ready = true;
    } else if (deflateReset(&z) != Z_OK) {
        return false;
    }
    const uLong bound = deflateBound(&z, static_cast<uLong>(data.size()));
    m_packed.resize(static_cast<qsizetype>(bound));
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(m_packed.data());
    z.avail_out = static_cast<uInt>(bound);
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        return false;
    m_packed.resize(static_cast<qsizetype>(z.total_out));
    return true;
}

void PdfOutput::writeStream(int object, const QByteArray &data, const QByteArray &extra, bool compress)
{
    const QByteArray *body = &data;
    if (compress) {
        if (deflated(data))
            body = &m_packed;
        else
            compress = false;
    }
    begin(object);
    write("<< /Length " + QByteArray::number(body->size()) + (compress ? " /Filter /FlateDecode" : "") +
          extra + " >>\nstream\n");
    write(*body);
    write("\nendstream\nendobj\n");
}

void PdfOutput::writeFace(Face &face)
{
    bool cff = false;
    const QByteArray file = fontFile(face.raw, cff);
    int fileObject = 0;
    if (!file.isEmpty()) {
        fileObject = reserve();
        writeStream(fileObject, file,
                    cff ? QByteArray(" /Subtype /OpenType") : " /Length1 " + QByteArray::number(file.size()),
                    true);
    }
    const QByteArray head = face.raw.fontTable("head"), hhea = face.raw.fontTable("hhea");
    const double em = u16(head, 18) > 0 ? u16(head, 18) : 1000;
    const auto scaled = [&](int v) {
        return QByteArray::number(static_cast<int>(std::lround(v * 1000 / em)));
    };
    face.descriptor = reserve();
    begin(face.descriptor);
    write("<< /Type /FontDescriptor /FontName /" + face.name + " /Flags 32 /FontBBox [" +
          scaled(s16(head, 36)) + ' ' + scaled(s16(head, 38)) + ' ' + scaled(s16(head, 40)) + ' ' +
          scaled(s16(head, 42)) + "] /ItalicAngle 0 /Ascent " + scaled(s16(hhea, 4)) + " /Descent " +
          scaled(s16(hhea, 6)) + " /CapHeight " + scaled(s16(hhea, 4)) + " /StemV 80" +
          (fileObject ? (cff ? " /FontFile3 " : " /FontFile2 ") + QByteArray::number(fileObject) + " 0 R"
                      : "") +
          " >>\nendobj\n");
}

void PdfOutput::writeFont(const Font &font)
{
    const Face &face = m_faces[font.face];
    const bool cff = !face.raw.fontTable("CFF ").isEmpty();
    QByteArray widths;
    for (std::size_t g = 0; g < font.widths.size(); ++g) {
        if (font.widths[g] < 0)
            continue;
        widths += QByteArray::number(static_cast<qulonglong>(g)) + " [";
        for (; g < font.widths.size() && font.widths[g] >= 0; ++g) {
            number(widths, font.widths[g], 3);
            widths += ' ';
        }
        widths += "]\n";
    }
    begin(font.object);
    write(QByteArray("<< /Type /Font /Subtype ") + (cff ? "/CIDFontType0" : "/CIDFontType2") +
          " /BaseFont /" + face.name +
          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
          QByteArray::number(face.descriptor) + " 0 R /DW 1000 /W [" + widths + "]" +
          (cff ? "" : " /CIDToGIDMap /Identity") + " >>\nendobj\n");
}

void PdfOutput::writeSet(const CodeSet &set, int object, int cid)
{
    const Font &font = m_fonts[set.font];
    const int encoding = reserve(), toUnicode = reserve();
    const QByteArray name = "SicherheitCodes" + QByteArray::number(object);
    begin(object);
    write("<< /Type /Font /Subtype /Type0 /BaseFont /" + m_faces[font.face].name + " /Encoding " +
          QByteArray::number(encoding) + " 0 R /DescendantFonts [" + QByteArray::number(cid) +
          " 0 R] /ToUnicode " + QByteArray::number(toUnicode) + " 0 R >>\nendobj\n");
    const auto blocks = [&](const char *kind, const auto &entry) {
        QByteArray out;
        for (std::size_t i = 0; i < set.glyphs.size(); i += 100) {
            const std::size_t n = std::min<std::size_t>(100, set.glyphs.size() - i);
            QByteArray lines;
            std::size_t made = 0;
            for (std::size_t j = i; j < i + n; ++j) {
                const QByteArray line = entry(set.glyphs[j]);
                if (!line.isEmpty()) {
                    lines += line;
                    ++made;
                }
            }
            if (made > 0)
                out += QByteArray::number(static_cast<qulonglong>(made)) + " begin" + kind + '\n' + lines +
                       "end" + kind + '\n';
        }
        return out;
    };
    const QByteArray system = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";
    const QByteArray codes =
        "%!PS-Adobe-3.0 Resource-CMap\n/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n" +
        system + " def\n/CMapName /" + name + " def\n/CMapType 1 def\n" +
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n" +
        blocks("cidchar",
               [](const std::pair<unsigned char, quint32> &g) {
                   return '<' + hex2(g.first) + "> " + QByteArray::number(g.second) + '\n';
               }) +
        "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    writeStream(encoding, codes, " /Type /CMap /CMapName /" + name + ' ' + system, true);
    const QByteArray cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n" +
        blocks("bfchar",
               [&](const std::pair<unsigned char, quint32> &g) {
                   const QString &text = font.text[g.second];
                   return text.isEmpty() ? QByteArray() : '<' + hex2(g.first) + "> <" + hex16(text) + ">\n";
               }) +
        "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    writeStream(toUnicode, cmap, {}, true);
}

void PdfOutput::finish(const Numbers &numbers)
{
    endPage();
    stopPacking();
    const int total = static_cast<int>(m_pages.size());
    std::vector<int> pages;
    pages.reserve(m_pages.size());
    for (int i = 0; i < total; ++i) {
        beginPage();
        numbers(*this, i + 1, total);
        endText();
        m_content += "Q\n";
        const int number = reserve(), page = reserve();
        writeStream(number, m_content, {}, false);
        begin(page);
        write("<< /Type /Page /Parent " + QByteArray::number(kPageTree) + " 0 R /Resources " +
              QByteArray::number(kResources) + " 0 R /Contents [" +
              QByteArray::number(m_pages[static_cast<std::size_t>(i)]) + " 0 R " +
              QByteArray::number(number) + " 0 R] >>\nendobj\n");
        pages.push_back(page);
    }
    m_pages = std::move(pages);
    for (Face &face : m_faces)
        writeFace(face);
    QByteArray fonts;
    for (const Font &font : m_fonts) {
        writeFont(font);
        for (const int set : font.sets) {
            const int object = reserve();
            writeSet(m_sets[static_cast<std::size_t>(set)], object, font.object);
            fonts += " /F" + QByteArray::number(set) + ' ' + QByteArray::number(object) + " 0 R";
        }
    }
    begin(kResources);
    write("<< /Font <<" + fonts + " >> /ProcSet [/PDF /Text] >>\nendobj\n");
    begin(kPageTree);
    write("<< /Type /Pages /MediaBox " + m_media + " /Count " + QByteArray::number(m_pages.size()) +
          " /Kids [");
    QByteArray kids;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        kids += QByteArray::number(m_pages[i]) + " 0 R" + (i % 10 == 9 ? '\n' : ' ');
        if (kids.size() > 65536) {
            write(kids);
            kids.clear();
        }
    }
    write(kids + "] >>\nendobj\n");
    begin(kCatalog);
    write("<< /Type /Catalog /Pages " + QByteArray::number(kPageTree) + " 0 R >>\nendobj\n");
    begin(kInfo);
    const QString now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    write("<< /Title " + textString(m_title) + " /Creator " + textString(m_creator) + " /Producer " +
          textString(m_creator) + " /CreationDate (D:" + now.toLatin1() + "Z) >>\nendobj\n");
    const qint64 xref = m_offset;
    std::vector<qint64> offsets(static_cast<std::size_t>(m_next), 0);
    for (const auto &[object, offset] : m_written)
        offsets[static_cast<std::size_t>(object)] = offset;
    QByteArray table = "xref\n0 " + QByteArray::number(m_next) + "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        table += QByteArray::number(offsets[i]).rightJustified(10, '0') + " 00000 n \n";
        if (table.size() > 65536) {
            write(table);
            table.clear();
        }
    }
    write(table + "trailer\n<< /Size " + QByteArray::number(m_next) + " /Root " +
          QByteArray::number(kCatalog) + " 0 R /Info " + QByteArray::number(kInfo) + " 0 R >>\nstartxref\n" +
          QByteArray::number(xref) + "\n%%EOF\n");
}

} // namespace report
