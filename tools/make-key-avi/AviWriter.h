#pragma once

#include <QByteArray>
#include <QRgb>

#include <cstdint>
#include <vector>

// A silent AVI clip of 8-bit palettised pictures, written with RLE8-compressed frames.
struct PalettedClip
{
    int width = 0;
    int height = 0;
    std::uint32_t microsecondsPerFrame = 100000;
    std::vector<QRgb> palette; // at most 256 entries
    // One index per pixel, rows top to bottom.
    std::vector<std::vector<std::uint8_t>> frames;
};

// Every frame is a key frame: whole rows of runs and literals, bottom row first, each row closed by an
// end-of-line code and the picture by end-of-bitmap.
QByteArray encodeRle8(const std::vector<std::uint8_t> &pixels, int width, int height);

// RIFF AVI with one video stream ("vids", BI_RLE8) and an index.
QByteArray writeAvi(const PalettedClip &clip);
