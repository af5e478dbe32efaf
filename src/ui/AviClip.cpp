#include "AviClip.h"

#include "StoreError.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace ui {

namespace {

constexpr qint64 kMaxFileBytes = 256 * 1024 * 1024;
constexpr qint64 kMaxDecodedBytes = 512 * 1024 * 1024;
constexpr int kMaxSide = 4096;
constexpr std::size_t kMaxFrames = 100000;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kFourccDib = 0x20424944; // "DIB ", another name for BI_RGB

[[noreturn]] void fail()
{
    throw store::StoreError(QStringLiteral("AVI kann nicht geöffnet werden"));
}

// A bounds-checked view of part of the file.
class Bytes
{
public:
    Bytes(const uchar *data, qsizetype size) : m_data(data), m_size(size) {}

    qsizetype size() const { return m_size; }
    const uchar *data() const { return m_data; }

    Bytes sub(qsizetype offset, qsizetype length) const
    {
        if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
            fail();
        return {m_data + offset, length};
    }
    std::uint8_t u8(qsizetype offset) const { return *sub(offset, 1).m_data; }
    std::uint16_t u16(qsizetype offset) const
    {
        const uchar *p = sub(offset, 2).m_data;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::uint32_t u32(qsizetype offset) const
    {
        const uchar *p = sub(offset, 4).m_data;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::int32_t i32(qsizetype offset) const { return static_cast<std::int32_t>(u32(offset)); }
    bool tagIs(qsizetype offset, const char (&tag)[5]) const
    {
        const uchar *p = sub(offset, 4).m_data;
        return p[0] == uchar(tag[0]) && p[1] == uchar(tag[1]) && p[2] == uchar(tag[2]) &&
               p[3] == uchar(tag[3]);
    }

private:
    const uchar *m_data;
    qsizetype m_size;
};

struct Chunk
{
    Bytes whole; // id, size and body
    Bytes body;
    bool is(const char (&tag)[5]) const { return whole.tagIs(0, tag); }
    bool isList(const char (&type)[5]) const { return is("LIST") && body.size() >= 4 && body.tagIs(0, type); }
    Bytes listBody() const { return body.sub(4, body.size() - 4); }
};

// Calls fn for each chunk in a container body. A chunk whose size runs past the container is an error; the
// pad byte after an odd-sized chunk may be missing at the very end.
template <typename Fn> void forEachChunk(Bytes container, Fn &&fn)
{
    qsizetype pos = 0;
    while (container.size() - pos >= 8) {
        const std::uint32_t size = container.u32(pos + 4);
        if (size > static_cast<std::uint64_t>(container.size() - pos - 8))
            fail();
        const auto length = static_cast<qsizetype>(size);
        fn(Chunk{container.sub(pos, 8 + length), container.sub(pos + 8, length)});
        pos += 8 + length + (length & 1);
    }
}

struct VideoFormat
{
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::array<QRgb, 256> palette{};
};

struct Headers
{
    std::uint32_t usPerFrame = 0;
    std::optional<int> videoStream;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    VideoFormat format;
};

VideoFormat readFormat(Bytes strf)
{
    VideoFormat f;
    const std::uint32_t headerSize = strf.u32(0);
    if (headerSize < 40 || headerSize > static_cast<std::uint64_t>(strf.size()))
        fail();
    const std::int32_t width = strf.i32(4);
    const std::int32_t height = strf.i32(8);
    f.bitCount = strf.u16(14);
    f.compression = strf.u32(16);
    if (f.compression == kFourccDib)
        f.compression = kBiRgb;
    f.topDown = height < 0;
    if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide)
        fail();
    f.width = width;
    f.height = height < 0 ? -height : height;

    const bool supported = (f.bitCount == 8 && (f.compression == kBiRgb || f.compression == kBiRle8)) ||
                           ((f.bitCount == 24 || f.bitCount == 32) && f.compression == kBiRgb);
    if (!supported || (f.topDown && f.compression != kBiRgb))
        fail();

    if (f.bitCount == 8) {
        const std::uint32_t used = strf.u32(32);
        const qsizetype declared = (used == 0 || used > 256) ? 256 : used;
        const qsizetype present = (strf.size() - static_cast<qsizetype>(headerSize)) / 4;
        const qsizetype entries = std::min(declared, present);
        f.palette.fill(qRgb(0, 0, 0));
        for (qsizetype i = 0; i < entries; ++i) {
            const qsizetype at = static_cast<qsizetype>(headerSize) + 4 * i;
            f.palette[static_cast<std::size_t>(i)] = qRgb(strf.u8(at + 2), strf.u8(at + 1), strf.u8(at));
        }
    }
    return f;
}

Headers readHeaders(Bytes hdrl)
{
    Headers h;
    bool haveMain = false;
    int streamIndex = 0;
    forEachChunk(hdrl, [&](const Chunk &chunk) {
        if (chunk.is("avih")) {
            h.usPerFrame = chunk.body.u32(0);
            haveMain = true;
        } else if (chunk.isList("strl")) {
            const int index = streamIndex++;
            if (h.videoStream)
                return;
            std::optional<Bytes> strh;
            std::optional<Bytes> strf;
            forEachChunk(chunk.listBody(), [&](const Chunk &part) {
                if (part.is("strh"))
                    strh = part.body;
                else if (part.is("strf"))
                    strf = part.body;
            });
            if (!strh || !strh->tagIs(0, "vids"))
                return;
            if (!strf)
                fail();
            h.scale = strh->u32(20);
            h.rate = strh->u32(24);
            h.format = readFormat(*strf);
            h.videoStream = index;
        }
    });
    if (!haveMain || !h.videoStream || *h.videoStream > 99)
        fail();
    return h;
}

// Paints one RLE8 frame over the indices of the previous one. Runs past the right edge are clipped, the
// picture ends at the end-of-bitmap code or the end of the data.
void decodeRle8(Bytes data, const VideoFormat &f, std::vector<std::uint8_t> &indices)
{
    int x = 0;
    int y = 0; // counted from the bottom row
    qsizetype pos = 0;
    const auto put = [&](std::uint8_t index) {
        if (x < f.width && y < f.height)
            indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) +
                    static_cast<std::size_t>(x)] = index;
        ++x;
    };
    while (pos + 2 <= data.size() && y < f.height) {
        const std::uint8_t count = data.u8(pos);
        const std::uint8_t value = data.u8(pos + 1);
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(value);
        } else if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // delta
            x += data.u8(pos);
            y += data.u8(pos + 1);
            pos += 2;
        } else { // absolute run, padded to a 16-bit boundary
            const Bytes run = data.sub(pos, value);
            for (int i = 0; i < value; ++i)
                put(run.u8(i));
            pos += value + (value & 1);
        }
    }
}

QImage fromIndices(const std::vector<std::uint8_t> &indices, const VideoFormat &f)
{
    QImage image(f.width, f.height, QImage::Format_RGB32);
    if (image.isNull())
        fail();
    for (int y = 0; y < f.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(f.height - 1 - y));
        const std::uint8_t *src =
            indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width);
        for (int x = 0; x < f.width; ++x)
            line[x] = f.palette[src[x]];
    }
    return image;
}

QImage decodeUncompressed(Bytes data, const VideoFormat &f)
{
    const qsizetype stride = ((static_cast<qsizetype>(f.width) * f.bitCount + 31) / 32) * 4;
    const Bytes pixels = data.sub(0, stride * f.height); // refuses a short frame
    QImage image(f.width, f.height, QImage::Format_RGB32);
    if (image.isNull())
        fail();
    const int bytesPerPixel = f.bitCount / 8;
    for (int row = 0; row < f.height; ++row) {
        const uchar *src = pixels.data() + stride * row;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(f.topDown ? row : f.height - 1 - row));
        for (int x = 0; x < f.width; ++x) {
            const uchar *p = src + x * bytesPerPixel;
            line[x] = f.bitCount == 8 ? f.palette[p[0]] : qRgb(p[2], p[1], p[0]);
        }
    }
    return image;
}

void applyPaletteChange(Bytes change, VideoFormat &f)
{
    const int first = change.u8(0);
    const int count = change.u8(1) == 0 ? 256 : change.u8(1);
    for (int i = 0; i < count && first + i < 256; ++i) {
        const qsizetype at = 4 + 4 * i;
        f.palette[static_cast<std::size_t>(first + i)] =
            qRgb(change.u8(at), change.u8(at + 1), change.u8(at + 2));
    }
}

} // namespace

AviClip AviClip::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        fail();
    return fromBytes(file.readAll());
}

namespace {

// The frames of the video stream in a movi list, in order: palette changes applied as they come, a dropped
// frame repeating the picture before it. Refuses a clip past the limits on frames and decoded bytes.
std::vector<QImage> readFrames(const Bytes &movi, Headers &headers)
{
    VideoFormat &f = headers.format;
    const std::array<char, 2> stream = {static_cast<char>('0' + *headers.videoStream / 10),
                                        static_cast<char>('0' + *headers.videoStream % 10)};
    const qint64 frameBytes = static_cast<qint64>(f.width) * f.height * 4;
    std::vector<QImage> frames;
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height),
                                      0);
    qint64 decoded = 0;

    const auto onChunk = [&](const Chunk &chunk) {
        const Bytes id = chunk.whole.sub(0, 4);
        if (id.u8(0) != uchar(stream[0]) || id.u8(1) != uchar(stream[1]))
            return;
        const char c = static_cast<char>(id.u8(2));
        const char d = static_cast<char>(id.u8(3));
        if (c == 'p' && d == 'c') {
            applyPaletteChange(chunk.body, f);
            return;
        }
        if (c != 'd' || (d != 'b' && d != 'c'))
            return;
        if (frames.size() >= kMaxFrames)
            fail();
        if (chunk.body.size() == 0) {
            // A dropped frame: the previous picture stays (black before the first).
            frames.push_back(frames.empty() ? fromIndices(indices, f) : frames.back());
            return;
        }
        decoded += frameBytes;
        if (decoded > kMaxDecodedBytes)
            fail();
        if (f.compression == kBiRle8) {
            decodeRle8(chunk.body, f, indices);
            frames.push_back(fromIndices(indices, f));
        } else {
            frames.push_back(decodeUncompressed(chunk.body, f));
        }
    };
    forEachChunk(movi, [&](const Chunk &chunk) {
        if (chunk.isList("rec "))
            forEachChunk(chunk.listBody(), onChunk);
        else
            onChunk(chunk);
    });
    return frames;
}

} // namespace

AviClip AviClip::fromBytes(const QByteArray &bytes)
{
    const Bytes fileBytes(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    if (fileBytes.size() < 12 || !fileBytes.tagIs(0, "RIFF") || !fileBytes.tagIs(8, "AVI "))
        fail();
    const std::uint32_t riffSize = fileBytes.u32(4);
    if (riffSize < 4 || riffSize > static_cast<std::uint64_t>(fileBytes.size() - 8))
        fail();
    const Bytes riff = fileBytes.sub(12, static_cast<qsizetype>(riffSize) - 4);

    std::optional<Headers> headers;
    std::optional<Bytes> movi;
    forEachChunk(riff, [&](const Chunk &chunk) {
        if (chunk.isList("hdrl") && !headers)
            headers = readHeaders(chunk.listBody());
        else if (chunk.isList("movi") && !movi)
            movi = chunk.listBody();
    });
    if (!headers || !movi)
        fail();

    AviClip clip;
    clip.m_size = QSize(headers->format.width, headers->format.height);
    clip.m_frames = readFrames(*movi, *headers);
    if (clip.m_frames.empty())
        fail();

    std::uint64_t us = headers->usPerFrame;
    if (us == 0 && headers->rate != 0)
        us = static_cast<std::uint64_t>(headers->scale) * 1000000u / headers->rate;
    clip.m_interval = std::chrono::microseconds(us == 0 ? 100000 : static_cast<std::int64_t>(us));
    return clip;
}

} // namespace ui
