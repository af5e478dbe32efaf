#include "ReportPdf.h"

#include "Canvas.h"
#include "PdfOutput.h"
#include "PlainText.h"
#include "ReportContent.h"

#include "PrivateFile.h"
#include "StoreError.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QVarLengthArray>

#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace report {

namespace {

// The resolution of the PDF the tool writes; a printer brings its own.
constexpr int kDpi = 300;

// Millimetres on a device of that resolution.
qreal mmAt(int dpi, qreal millimetres)
{
    return millimetres / 25.4 * dpi;
}

QFont font(qreal points, bool bold = false)
{
    // Sans with the marks the report needs (☐, ›, →) in one family, so that no glyph falls back elsewhere.
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    // Ligatures would turn "ff" in "Zugriffsprüfung" into one glyph that a search in the PDF misses.
    f.setStyleStrategy(QFont::PreferNoShaping);
    // A plain line is set by the advances of its characters alone (PlainText.h); the rest alike.
    f.setKerning(false);
    return f;
}

struct Column
{
    QString title;
    qreal share; // of the table's width
};

// The report's fonts on its device, each made once for all passes, with the glyphs of its plain lines.
class Fonts
{
public:
    explicit Fonts(QPaintDevice &device) : m_device(device) {}

    PlainFont &of(const QFont &f)
    {
        std::unique_ptr<PlainFont> &made = m_fonts[{f.pointSizeF(), f.bold()}];
        if (!made)
            made = std::make_unique<PlainFont>(f, m_device);
        return *made;
    }

private:
    QPaintDevice &m_device;
    std::map<std::pair<qreal, bool>, std::unique_ptr<PlainFont>> m_fonts;
};

// "Seite 3 von 41" flush right in a page's foot.
void pageNumber(Canvas &canvas, Fonts &fonts, QPaintDevice &device, int page, int total)
{
    const QFont small = font(7.5);
    const qreal width = device.width();
    const LaidText laid(fonts.of(small), QStringLiteral("Seite %1 von %2").arg(page).arg(total), width,
                        device);
    laid.paint(canvas,
               QPointF(width - laid.width(), device.height() - QFontMetricsF(small, &device).height()), 0, 1);
}

// Places text on pages: it measures a section (Measure: one endless page), counts the pages (Count: breaks,
// nothing painted) or paints them (Paint). Every pass takes the same steps with the same metrics, so the
// count of the second is the number the third paints.
class Pages
{
public:
    enum class Mode
    {
        Measure,
        Count,
        Paint
    };

    Pages(Mode mode, QPaintDevice &device, Canvas *canvas, Fonts &fonts, const ReportContent &content,
          int total)
        : m_mode(mode), m_device(device), m_canvas(canvas), m_fonts(fonts), m_total(total),
          m_width(device.width()), m_height(device.height()), m_dpi(device.logicalDpiY()), kPad(mm(1.2))
    {
        m_head = content.scopeLine();
        m_source = content.titlePage().source;
        m_made = content.titlePage().made;
        const qreal small = QFontMetricsF(font(7.5), &m_device).height();
        m_top = 2 * small + mm(4);
        m_bottom = m_height - small - mm(4);
        if (mode == Mode::Measure)
            m_bottom = std::numeric_limits<qreal>::max();
    }

    qreal y() const { return m_y; }
    int page() const { return m_page; }
    bool atTop() const { return m_y <= m_top; }
    qreal remaining() const { return m_bottom - m_y; }
    qreal width() const { return m_width; }
    // Millimetres on this device.
    qreal mm(qreal millimetres) const { return mmAt(m_dpi, millimetres); }
    Fonts &fonts() const { return m_fonts; }
    // Above and below the text of a table's cell.
    qreal pad() const { return kPad; }

    void newPage()
    {
        if (m_page > 0 && m_mode == Mode::Paint)
            m_canvas->newPage();
        ++m_page;
        m_y = m_top;
        if (m_mode == Mode::Paint)
            paintHeadAndFoot();
    }

    void space(qreal height) { m_y += height; }

    // Text wrapped to the width at words, and inside a word longer than a line; returns its height.
    qreal measure(const QString &text, const QFont &f, qreal width) const
    {
        return LaidText(m_fonts.of(f), text, width, m_device).height();
    }

    void paragraph(const QString &text, const QFont &f, qreal indent = 0)
    {
        place({{text, f, indent, m_width - indent}}, 0, Look::Text, m_top, m_bottom - m_top, {});
    }

    // Label and value side by side, the value wrapped in its column.
    void field(const QString &label, const QString &value)
    {
        const qreal labelWidth = mm(55);
        place({{label, font(9.5, true), 0, labelWidth - mm(2)},
               {value, font(9.5), labelWidth, m_width - labelWidth}},
              0, Look::Text, m_top, m_bottom - m_top, {});
        m_y += mm(0.8);
    }

    // A table whose rows break across pages; on every page it continues on, its caption (marked as a
    // continuation) and its column heads come again. A row taller than a page goes on below them.
    void table(const QString &caption, const std::vector<Column> &columns,
               const std::vector<QStringList> &rows)
    {
        const QFont captionFont = font(10.5, true), headFont = font(8.5, true), cellFont = font(8.5);
        const QString continued = QStringLiteral("%1 (Fortsetzung)").arg(caption);
        const std::vector<Cell> head = cells(columnTitles(columns), columns, headFont);
        const qreal headHeight = height(head) + 2 * kPad;
        const qreal captionHeight = measure(caption, captionFont, m_width) + mm(1);
        const qreal continuedHeight = measure(continued, captionFont, m_width) + mm(1);
        // What a page offers a row below the continued caption and the heads.
        const qreal room = m_bottom - m_top - continuedHeight - headHeight;
        const qreal first = rows.empty() ? measure(QStringLiteral("keine"), cellFont, m_width)
                                         : height(cells(rows[0], columns, cellFont)) + 2 * kPad;
        // A first row taller than a page is split anyway: a line of it under the heads is enough.
        const qreal firstNeeded = first <= room ? first : m_fonts.of(cellFont).lineHeight() + 2 * kPad;
        if (captionHeight + headHeight + firstNeeded > remaining() && !atTop())
            newPage();
        paint({caption, captionFont, 0, m_width});
        m_y += captionHeight;
        if (rows.empty()) {
            paint({QStringLiteral("keine"), cellFont, mm(2), m_width});
            m_y += first + mm(3);
            return;
        }
        place(head, kPad, Look::Head, m_y, room, {});
        const qreal underHead = m_y;
        const auto again = [&] {
            paint({continued, captionFont, 0, m_width});
            m_y += continuedHeight;
            place(head, kPad, Look::Head, m_y, room, {});
        };
        for (const QStringList &row : rows)
            place(cells(row, columns, cellFont), kPad, Look::Row, underHead, room, again);
        m_y += mm(3);
    }

private:
    struct Cell
    {
        QString text;
        QFont font;
        qreal x;
        qreal width;
    };
    enum class Look
    {
        Text,
        Head, // filled
        Row,  // ruled below
    };

    static QStringList columnTitles(const std::vector<Column> &columns)
    {
        QStringList titles;
        for (const Column &c : columns)
            titles << c.title;
        return titles;
    }

    std::vector<Cell> cells(const QStringList &texts, const std::vector<Column> &columns,
                            const QFont &f) const
    {
        std::vector<Cell> out;
        out.reserve(columns.size());
        qreal x = 0;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            out.push_back(
                {texts.value(static_cast<qsizetype>(i)), f, x + kPad, columns[i].share * m_width - 2 * kPad});
            x += columns[i].share * m_width;
        }
        return out;
    }

    qreal height(const std::vector<Cell> &row) const
    {
        qreal h = 0;
        for (const Cell &c : row)
            h = std::max(h, measure(c.text, c.font, c.width));
        return h;
    }

    // One cell's text at the current line, whole, however tall.
    void paint(const Cell &c) const
    {
        if (m_mode != Mode::Paint)
            return;
        const LaidText laid(m_fonts.of(c.font), c.text, c.width, m_device);
        laid.paint(*m_canvas, QPointF(c.x, m_y), 0, laid.lineCount());
    }

    // Cells side by side from the current line, `pad` above and below. A block taller than the rest of the
    // page starts on the next one (unless the line is not below `keepFrom`), where `again` first paints
    // what heads it and `room` is left; a block taller than that room is painted a slice of lines at a
    // time, each slice on a page of its own, so that nothing is ever painted beyond a page.
    void place(const std::vector<Cell> &row, qreal pad, Look look, qreal keepFrom, qreal room,
               const std::function<void()> &again)
    {
        std::vector<LaidText> laid;
        laid.reserve(row.size());
        qreal whole = 0;
        for (const Cell &c : row) {
            laid.emplace_back(m_fonts.of(c.font), c.text, c.width, m_device);
            whole = std::max(whole, laid.back().height());
        }
        const auto turn = [&] {
            newPage();
            if (again)
                again();
        };
        bool fresh = atTop();
        if (whole + 2 * pad > remaining() && m_y > keepFrom && whole + 2 * pad <= room) {
            turn();
            fresh = true;
        }
        const auto cells = static_cast<qsizetype>(row.size());
        QVarLengthArray<int, 4> from(cells, 0), to(cells, 0);
        for (;;) {
            qreal slice = 0;
            bool left = false;
            for (qsizetype i = 0; i < cells; ++i) {
                const LaidText &text = laid[static_cast<std::size_t>(i)];
                to[i] = text.fitting(from[i], remaining() - 2 * pad, fresh);
                slice = std::max(slice, text.heightOf(from[i], to[i]));
                left = left || to[i] < text.lineCount();
            }
            if (slice > 0 || !left) {
                if (m_mode == Mode::Paint) {
                    if (look == Look::Head)
                        m_canvas->fill(QRectF(0, m_y, m_width, slice + 2 * pad), QColor(225, 225, 225));
                    for (qsizetype i = 0; i < cells; ++i)
                        laid[static_cast<std::size_t>(i)].paint(
                            *m_canvas, QPointF(row[static_cast<std::size_t>(i)].x, m_y + pad), from[i],
                            to[i]);
                    if (look != Look::Text)
                        m_canvas->rule(QPointF(0, m_y + slice + 2 * pad),
                                       QPointF(m_width, m_y + slice + 2 * pad), QColor(150, 150, 150),
                                       mm(0.15));
                }
                m_y += slice + 2 * pad;
                from = to;
            }
            if (!left)
                return;
            turn();
            fresh = true;
        }
    }

    void paintHeadAndFoot()
    {
        const QFont small = font(7.5);
        const QFontMetricsF metrics(small, &m_device);
        // One line each, shortened in its middle to the width; the page number flush right.
        const auto line = [&](const QString &text, qreal y) {
            const LaidText laid(m_fonts.of(small), metrics.elidedText(text, Qt::ElideMiddle, m_width),
                                m_width, m_device);
            laid.paint(*m_canvas, QPointF(0, y), 0, 1);
        };
        line(QStringLiteral("Zugriffsprüfung: %1").arg(m_head), 0);
        line(m_source, metrics.height());
        const qreal rule = 2 * metrics.height() + mm(1.5);
        const QColor grey(120, 120, 120);
        m_canvas->rule(QPointF(0, rule), QPointF(m_width, rule), grey, mm(0.2));
        const qreal foot = m_height - metrics.height();
        m_canvas->rule(QPointF(0, foot - mm(1.5)), QPointF(m_width, foot - mm(1.5)), grey, mm(0.2));
        line(QStringLiteral("Erstellt am %1").arg(m_made), foot);
        if (!m_canvas->numbersLast())
            pageNumber(*m_canvas, m_fonts, m_device, m_page, m_total);
    }

    Mode m_mode;
    QPaintDevice &m_device; // measures
    Canvas *m_canvas;       // paints, in Paint
    Fonts &m_fonts;
    int m_total;
    qreal m_width, m_height;
    int m_dpi;
    qreal kPad; // inside a table's cell
    qreal m_top = 0, m_bottom = 0, m_y = 0;
    int m_page = 0;
    QString m_head, m_source, m_made;
};

void titlePage(Pages &pages, const ReportContent &content)
{
    const TitlePage &t = content.titlePage();
    pages.space(pages.mm(20));
    pages.paragraph(QStringLiteral("Zugriffsprüfung"), font(22, true));
    pages.paragraph(QStringLiteral("Bericht über die Rechte in der Sicherheitsdatenbank"), font(12));
    pages.space(pages.mm(12));
    pages.field(QStringLiteral("Datenbank"), t.source);
    pages.field(QStringLiteral("Erstellt am"), t.made);
    pages.field(QStringLiteral("Erstellt von"), t.madeBy);
    pages.field(QStringLiteral("Umfang"), t.scope);
    pages.field(QStringLiteral("Änderungen"), t.since.isEmpty()
                                                  ? QStringLiteral("nicht aufgeführt")
                                                  : QStringLiteral("aus dem Protokoll, %1").arg(t.since));
    pages.space(pages.mm(4));
    for (const auto &[label, value] : t.counts)
        pages.field(label, value);
}

void signOff(Pages &pages)
{
    const QFont f = font(10);
    pages.space(pages.mm(4));
    pages.paragraph(
        QStringLiteral("☐ Rechte bestätigt     ☐ Änderungen nötig: ______________________________"), f);
    pages.space(pages.mm(6));
    pages.paragraph(
        QStringLiteral("Name, Datum, Unterschrift: ________________________________________________"), f);
    pages.space(pages.mm(8));
}

void userSection(Pages &pages, const ReportContent &content, const UserSection &s)
{
    pages.paragraph(QStringLiteral("Benutzer %1").arg(s.user), font(14, true));
    pages.space(pages.mm(2));
    pages.field(QStringLiteral("Vollständiger Name"), s.realName);
    pages.field(QStringLiteral("Initialien"),
                s.sharedWith.isEmpty() ? s.initials
                                       : QStringLiteral("%1, geteilt mit %2: sie haben dieselben Rechte")
                                             .arg(s.initials, s.sharedWith.join(QStringLiteral(", "))));
    pages.field(QStringLiteral("Administrator"), s.admin);
    pages.space(pages.mm(2));
    std::vector<QStringList> held;
    held.reserve(s.held.size());
    for (const rights::Held &h : s.held)
        held.push_back({QString::number(h.function), h.path});
    pages.table(QStringLiteral("Funktionen (%1)").arg(s.held.size()),
                {{QStringLiteral("id"), 0.1}, {QStringLiteral("Funktion"), 0.9}}, held);
    if (content.listsChanges()) {
        std::vector<QStringList> changes;
        for (const Change &c : s.changes)
            changes.push_back({c.when, c.by, c.action, c.what});
        pages.table(QStringLiteral("Änderungen %1").arg(content.titlePage().since),
                    {{QStringLiteral("Zeit (UTC)"), 0.19},
                     {QStringLiteral("Von"), 0.13},
                     {QStringLiteral("Aktion"), 0.2},
                     {QStringLiteral("Änderung"), 0.48}},
                    changes);
    }
    signOff(pages);
}

// What a user's section takes at least: one line a row of its tables. Most sections of a large report are
// longer than what is left of a page, which this tells without laying them out.
qreal userSectionAtLeast(Pages &pages, const ReportContent &content, const UserSection &s)
{
    const std::size_t rows = s.held.size() + (content.listsChanges() ? s.changes.size() : 0);
    return static_cast<qreal>(rows) * (pages.fonts().of(font(8.5)).lineHeight() + 2 * pages.pad());
}

void functionSection(Pages &pages, const FunctionSection &s)
{
    pages.paragraph(QStringLiteral("Funktion %1").arg(s.id), font(13, true));
    pages.paragraph(s.path, font(9.5));
    pages.space(pages.mm(2));
    std::vector<QStringList> holders;
    holders.reserve(s.holders.size());
    for (const HolderLine &h : s.holders)
        holders.push_back({h.user, h.realName, h.initials});
    pages.table(QStringLiteral("Inhaber (%1)").arg(s.holders.size()),
                {{QStringLiteral("Benutzer"), 0.3},
                 {QStringLiteral("Vollständiger Name"), 0.5},
                 {QStringLiteral("Initialien"), 0.2}},
                holders);
    pages.space(pages.mm(4));
}

void findingsPage(Pages &pages, const ReportContent &content)
{
    pages.newPage();
    pages.paragraph(QStringLiteral("Befunde der Prüfung"), font(14, true));
    if (!content.checkedEveryAssignment())
        pages.paragraph(QStringLiteral("Geprüft wurden alle Benutzer und Funktionen der Datei, von den "
                                       "Zuordnungen die dieses Berichts."),
                        font(9.5));
    pages.space(pages.mm(3));
    const auto &found = content.findings();
    if (found.empty()) {
        pages.paragraph(QStringLiteral("Keine Befunde: die Prüfung fand nichts Falsches oder Zweifelhaftes."),
                        font(9.5));
        return;
    }
    std::vector<QStringList> rows;
    for (const rights::Problem &p : found) {
        QStringList ids;
        for (std::size_t i = 0; i < p.rows.size() && i < 20; ++i)
            ids << QString::number(p.rows[i]);
        if (p.rows.size() > 20)
            ids << QStringLiteral("… (%1 insgesamt)").arg(p.rows.size());
        rows.push_back({p.text, ids.join(QStringLiteral(", "))});
    }
    pages.table(rights::findingsCount(found.size()),
                {{QStringLiteral("Befund"), 0.7}, {QStringLiteral("Zeilen (ids)"), 0.3}}, rows);
}

// One pass over the whole report. In Count it notes, per section, whether it starts on a new page; Paint
// follows those notes, so both passes break alike. Returns false when stopped.
bool pass(Pages &pages, QPaintDevice &device, const ReportContent &content, std::vector<char> &breaks,
          const std::function<bool()> &step)
{
    pages.newPage();
    titlePage(pages, content);
    const bool ofUsers = content.userCount() > 0;
    const std::size_t count = ofUsers ? content.userCount() : content.functionCount();
    const bool counting = breaks.empty();
    if (counting)
        breaks.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!step())
            return false;
        if (ofUsers) {
            const UserSection s = content.user(i);
            if (counting) {
                // The first section of users starts after the title page; the next where it fits whole.
                if (i == 0 || userSectionAtLeast(pages, content, s) > pages.remaining()) {
                    breaks[i] = 1;
                } else {
                    Pages measure(Pages::Mode::Measure, device, nullptr, pages.fonts(), content, 0);
                    userSection(measure, content, s);
                    breaks[i] = measure.y() > pages.remaining() ? 1 : 0;
                }
            }
            if (breaks[i])
                pages.newPage();
            userSection(pages, content, s);
        } else {
            if (i == 0)
                pages.newPage();
            functionSection(pages, content.function(i));
        }
    }
    findingsPage(pages, content);
    return true;
}

} // namespace

QPageLayout reportPage()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 14, 18, 14),
                       QPageLayout::Millimeter);
}

namespace {

// Lays the pages out as measured on `device` and paints them on the canvas `begin` gives. A canvas that
// paints the pages' numbers last gets them in one pass; any other once they are counted, in a pass before.
// Returns the number of pages, or nothing when stopped.
std::optional<int> layOut(const ReportContent &content, QPaintDevice &device, Fonts &fonts, bool numbersLast,
                          const std::function<Canvas &()> &begin, const Progress &progress)
{
    const qint64 sections = static_cast<qint64>(std::max(content.userCount(), content.functionCount()));
    // Told in steps of both passes, so that one pass goes two steps a section.
    const qint64 steps = 2 * sections;
    qint64 done = 0;
    const auto step = [&]() {
        const bool go = !progress || progress(done, steps);
        done += numbersLast ? 2 : 1;
        return go;
    };

    std::vector<char> breaks;
    int total = 0;
    if (!numbersLast) {
        Pages counted(Pages::Mode::Count, device, nullptr, fonts, content, 0);
        if (!pass(counted, device, content, breaks, step))
            return std::nullopt;
        total = counted.page();
    }
    Pages painted(Pages::Mode::Paint, device, &begin(), fonts, content, total);
    if (!pass(painted, device, content, breaks, step))
        return std::nullopt;
    if (progress)
        progress(steps, steps);
    return painted.page();
}

} // namespace

std::optional<int> writePdf(const ReportContent &content, QIODevice &device, const Progress &progress)
{
    // The pages are measured as on Qt's PDF writer at this resolution (which is never painted on) and
    // written by our own: Qt's sets every glyph apart with its position and compresses it hard, which for a
    // report of thousands of pages takes many times as long as the text itself.
    QBuffer nowhere;
    QPdfWriter metrics(&nowhere);
    metrics.setResolution(kDpi);
    metrics.setPageLayout(reportPage());
    PdfOutput pdf(device, reportPage(), kDpi);
    pdf.setTitle(QStringLiteral("Zugriffsprüfung: %1").arg(content.scopeLine()));
    pdf.setCreator(QStringLiteral("Sicherheit"));
    Fonts fonts(metrics);
    const std::optional<int> pages = layOut(
        content, metrics, fonts, true, [&]() -> Canvas & { return pdf; }, progress);
    if (pages)
        pdf.finish(
            [&](Canvas &canvas, int page, int total) { pageNumber(canvas, fonts, metrics, page, total); });
    if (pdf.failed())
        throw store::StoreError(QStringLiteral("Der Bericht kann nicht als PDF geschrieben werden: %1")
                                    .arg(device.errorString()));
    return pages;
}

std::optional<int> paintReport(const ReportContent &content, QPagedPaintDevice &device,
                               const Progress &progress)
{
    device.setPageLayout(reportPage());
    QPainter painter;
    std::optional<PainterCanvas> canvas;
    Fonts fonts(device);
    const std::optional<int> pages = layOut(
        content, device, fonts, false,
        [&]() -> Canvas & {
            if (!painter.begin(&device))
                throw store::StoreError(
                    device.devType() == QInternal::Printer
                        ? QStringLiteral("Der Bericht kann nicht gedruckt werden: der "
                                         "Drucker nimmt keinen Auftrag an.")
                        : QStringLiteral("Der Bericht kann nicht als PDF geschrieben werden."));
            return canvas.emplace(painter, device);
        },
        progress);
    if (painter.isActive() && !painter.end())
        throw store::StoreError(
            QStringLiteral("Der Bericht wurde nicht vollständig gedruckt: der Drucker hat "
                           "die Seiten nicht angenommen."));
    return pages;
}

namespace {

// The PDF's bytes on their way into a private file. A failure to write is kept and raised once the writer is
// done, naming the file.
class PrivateDevice : public QIODevice
{
public:
    explicit PrivateDevice(store::PrivateFile &file) : m_file(file) { open(QIODevice::WriteOnly); }

    const std::optional<store::StoreError> &failure() const { return m_failure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (m_failure)
            return -1;
        try {
            m_file.write(QByteArrayView(data, size));
        } catch (const store::StoreError &e) {
            m_failure = e;
            return -1;
        }
        return size;
    }

private:
    store::PrivateFile &m_file;
    std::optional<store::StoreError> m_failure;
};

} // namespace

std::optional<int> savePdf(const ReportContent &content, const QString &path,
                           store::PrivateFile::Existing existing, const Progress &progress)
{
    store::PrivateFile file(path, existing);
    PrivateDevice device(file);
    std::optional<int> pages;
    try {
        pages = writePdf(content, device, progress);
    } catch (const store::StoreError &) {
        // The file's own failure names the cause better than the PDF's.
        if (device.failure())
            throw *device.failure();
        throw;
    }
    device.close();
    if (device.failure())
        throw *device.failure();
    if (pages)
        file.commit();
    return pages;
}

} // namespace report
