#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// Hand-assembles small AVI files byte by byte, independent of the program's own writer, so the reader is
// checked against the file format rather than against itself.
struct AviBuilder
{
    std::int32_t width = 2;
    std::int32_t height = 2; // negative: top-down rows
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t usPerFrame = 40000;
    std::uint32_t scale = 1;
    std::uint32_t rate = 25;
    std::vector<std::uint32_t> palette; // 0x00RRGGBB
    bool withAudioStreamFirst = false;
    std::vector<QByteArray> frames; // chunk bodies, as stored
    const char *frameTag = "00db";

    QByteArray build() const;
};
