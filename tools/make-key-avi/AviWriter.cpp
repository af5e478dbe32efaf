#include "AviWriter.h"

#include <algorithm>
#include <cstring>

namespace {

void putU16(QByteArray &out, std::uint32_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void putU32(QByteArray &out, std::uint32_t v)
{
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

void putTag(QByteArray &out, const char (&tag)[5])
{
    out.append(tag, 4);
}

QByteArray chunk(const char (&id)[5], const QByteArray &body)
{
    QByteArray out;
    putTag(out, id);
    putU32(out, static_cast<std::uint32_t>(body.size()));
    out.append(body);
    if (body.size() % 2 != 0)
        out.append('\0');
    return out;
}

QByteArray list(const char (&type)[5], const QByteArray &body)
{
    QByteArray inner;
    putTag(inner, type);
    inner.append(body);
    return chunk("LIST", inner);
}

int runAt(const std::uint8_t *row, int x, int width)
{
    int n = 1;
    while (x + n < width && n < 255 && row[x + n] == row[x])
        ++n;
    return n;
}

} // namespace

QByteArray encodeRle8(const std::vector<std::uint8_t> &pixels, int width, int height)
{
    QByteArray out;
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t *row =
            pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        int x = 0;
        while (x < width) {
            const int run = runAt(row, x, width);
            if (run >= 3) {
                out.append(static_cast<char>(run));
                out.append(static_cast<char>(row[x]));
                x += run;
                continue;
            }
            // Gather pixels up to the next run worth encoding.
            int end = x;
            while (end < width && end - x < 254 && runAt(row, end, width) < 3)
                end += std::min(runAt(row, end, width), 254 - (end - x));
            const int literal = end - x;
            if (literal >= 3) {
                out.append('\0');
                out.append(static_cast<char>(literal));
                out.append(reinterpret_cast<const char *>(row + x), literal);
                if (literal % 2 != 0)
                    out.append('\0');
            } else {
                for (int i = 0; i < literal; ++i) {
                    out.append('\1');
                    out.append(static_cast<char>(row[x + i]));
                }
            }
            x = end;
        }
        out.append('\0');
        out.append(y == 0 ? '\1' : '\0');
    }
    return out;
}

QByteArray writeAvi(const PalettedClip &clip)
{
    const auto width = static_cast<std::uint32_t>(clip.width);
    const auto height = static_cast<std::uint32_t>(clip.height);
    const auto frameCount = static_cast<std::uint32_t>(clip.frames.size());

    std::vector<QByteArray> encoded;
    std::uint32_t largest = 0;
    for (const auto &frame : clip.frames) {
        encoded.push_back(encodeRle8(frame, clip.width, clip.height));
        largest = std::max(largest, static_cast<std::uint32_t>(encoded.back().size()));
    }

    QByteArray avih;
    putU32(avih, clip.microsecondsPerFrame);
    putU32(avih, static_cast<std::uint32_t>(largest * 1000000ull / clip.microsecondsPerFrame));
    putU32(avih, 0);    // padding granularity
    putU32(avih, 0x10); // AVIF_HASINDEX
    putU32(avih, frameCount);
    putU32(avih, 0); // initial frames
    putU32(avih, 1); // streams
    putU32(avih, largest);
    putU32(avih, width);
    putU32(avih, height);
    for (int i = 0; i < 4; ++i)
        putU32(avih, 0);

    QByteArray strh;
    putTag(strh, "vids");
    putTag(strh, "mrle");
    putU32(strh, 0);                         // flags
    putU16(strh, 0);                         // priority
    putU16(strh, 0);                         // language
    putU32(strh, 0);                         // initial frames
    putU32(strh, clip.microsecondsPerFrame); // scale / rate = seconds per frame
    putU32(strh, 1000000);
    putU32(strh, 0); // start
    putU32(strh, frameCount);
    putU32(strh, largest);
    putU32(strh, 0xFFFFFFFF); // quality: default
    putU32(strh, 0);          // sample size: varies
    putU16(strh, 0);
    putU16(strh, 0);
    putU16(strh, width);
    putU16(strh, height);

    QByteArray strf;
    putU32(strf, 40);
    putU32(strf, width);
    putU32(strf, height); // positive: bottom-up, as RLE8 must be
    putU16(strf, 1);
    putU16(strf, 8);
    putU32(strf, 1); // BI_RLE8
    putU32(strf, largest);
    putU32(strf, 0);
    putU32(strf, 0);
    putU32(strf, static_cast<std::uint32_t>(clip.palette.size()));
    putU32(strf, 0);
    for (QRgb colour : clip.palette) {
        strf.append(static_cast<char>(qBlue(colour)));
        strf.append(static_cast<char>(qGreen(colour)));
        strf.append(static_cast<char>(qRed(colour)));
        strf.append('\0');
    }

    const QByteArray hdrl =
        list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));

    QByteArray movi;
    QByteArray idx1;
    for (const QByteArray &frame : encoded) {
        putTag(idx1, "00dc");
        putU32(idx1, 0x10);                                        // AVIIF_KEYFRAME
        putU32(idx1, static_cast<std::uint32_t>(4 + movi.size())); // from the "movi" tag
        putU32(idx1, static_cast<std::uint32_t>(frame.size()));
        movi.append(chunk("00dc", frame));
    }

    QByteArray body;
    putTag(body, "AVI ");
    body.append(hdrl);
    body.append(list("movi", movi));
    body.append(chunk("idx1", idx1));
    return chunk("RIFF", body);
}
