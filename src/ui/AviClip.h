#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <vector>

namespace ui {

// The pictures of a silent AVI clip, decoded up front.
//
// Reads RIFF AVI files whose (first) video stream holds uncompressed frames (8-bit palettised, 24-bit or
// 32-bit BI_RGB, bottom-up or top-down) or RLE8-compressed frames, with palette changes. Other streams
// (sound) are ignored. Every chunk size is checked against its container before anything is read, so a
// truncated or damaged file is refused instead of read past its end. A frame chunk of size 0 repeats the
// previous picture; RLE8 frames paint over the previous picture, as RLE8 deltas expect.
//
// Anything that cannot be played (a missing file, another codec, a broken file, no frames) raises
// store::StoreError("AVI kann nicht geöffnet werden").
class AviClip
{
public:
    static AviClip load(const QString &path);
    static AviClip fromBytes(const QByteArray &bytes);

    const std::vector<QImage> &frames() const { return m_frames; }
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    QSize frameSize() const { return m_size; }
    // From the main header's microseconds per frame (the stream's rate when that is 0).
    std::chrono::microseconds frameInterval() const { return m_interval; }
    bool isEmpty() const { return m_frames.empty(); }

private:
    std::vector<QImage> m_frames;
    QSize m_size;
    std::chrono::microseconds m_interval{0};
};

} // namespace ui
