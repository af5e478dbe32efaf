#include "AviBuilder.h"

namespace {

void u16(QByteArray &out, std::uint32_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void u32(QByteArray &out, std::uint32_t v)
{
    u16(out, v & 0xFFFF);
    u16(out, v >> 16);
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    QByteArray out(id, 4);
    u32(out, static_cast<std::uint32_t>(body.size()));
    out.append(body);
    if (body.size() % 2 != 0)
        out.append('\0');
    return out;
}

QByteArray list(const char *type, const QByteArray &body)
{
    return chunk("LIST", QByteArray(type, 4) + body);
}

QByteArray streamHeader(const char *type, std::uint32_t scale, std::uint32_t rate)
{
    QByteArray strh(type, 4);
    strh.append(QByteArray(4, '\0')); // handler
    for (int i = 0; i < 3; ++i)
        u32(strh, 0); // flags, priority + language, initial frames
    u32(strh, scale);
    u32(strh, rate);
    strh.append(QByteArray(56 - strh.size(), '\0'));
    return chunk("strh", strh);
}

} // namespace

QByteArray AviBuilder::build() const
{
    QByteArray avih;
    u32(avih, usPerFrame);
    for (int i = 0; i < 3; ++i)
        u32(avih, 0);
    u32(avih, static_cast<std::uint32_t>(frames.size()));
    u32(avih, 0);
    u32(avih, withAudioStreamFirst ? 2 : 1);
    u32(avih, 0);
    u32(avih, static_cast<std::uint32_t>(width));
    u32(avih, static_cast<std::uint32_t>(height < 0 ? -height : height));
    avih.append(QByteArray(16, '\0'));

    QByteArray strf;
    u32(strf, 40);
    u32(strf, static_cast<std::uint32_t>(width));
    u32(strf, static_cast<std::uint32_t>(height));
    u16(strf, 1);
    u16(strf, bitCount);
    u32(strf, compression);
    for (int i = 0; i < 3; ++i)
        u32(strf, 0);
    u32(strf, static_cast<std::uint32_t>(palette.size()));
    u32(strf, 0);
    for (std::uint32_t colour : palette)
        u32(strf, colour);

    QByteArray streams;
    if (withAudioStreamFirst)
        streams += list("strl", streamHeader("auds", 1, 8000) + chunk("strf", QByteArray(18, '\0')));
    streams += list("strl", streamHeader("vids", scale, rate) + chunk("strf", strf));

    QByteArray movi;
    for (const QByteArray &frame : frames)
        movi += chunk(frameTag, frame);

    return chunk("RIFF",
                 QByteArray("AVI ", 4) + list("hdrl", chunk("avih", avih) + streams) + list("movi", movi));
}
