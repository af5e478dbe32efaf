#include "KeyAnimation.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace {

constexpr int kSide = 64;
constexpr int kFrames = 16;
constexpr int kGoldShades = 32;

// 0: the dialog's silver, 1: black outline, then a ramp of gold from shadow to full light, then the glint.
std::vector<QRgb> keyPalette()
{
    std::vector<QRgb> palette{qRgb(192, 192, 192), qRgb(0, 0, 0)};
    for (int i = 0; i < kGoldShades; ++i) {
        const double t = static_cast<double>(i) / (kGoldShades - 1);
        palette.push_back(qRgb(static_cast<int>(90 + 165 * t), static_cast<int>(60 + 155 * t),
                               static_cast<int>(10 + 60 * t)));
    }
    palette.push_back(qRgb(255, 240, 170));
    palette.push_back(qRgb(255, 255, 235));
    return palette;
}

QColor gold(double light)
{
    const double t = std::clamp(light, 0.0, 1.0);
    const int i = static_cast<int>(std::lround(t * (kGoldShades - 1)));
    return QColor::fromRgb(keyPalette()[static_cast<std::size_t>(2 + i)]);
}

// The key's outline in its own coordinates: x along the shaft, y across; `depth` squeezes what is flat
// (bow and bit) as the key turns about its shaft.
QPainterPath keyPath(double depth)
{
    const double bowR = 10.0;
    const double holeR = 4.0;
    QPainterPath bow;
    bow.addEllipse(QPointF(-15, 0), bowR, std::max(1.5, bowR * std::abs(depth)));
    QPainterPath hole;
    if (std::abs(depth) > 0.35)
        hole.addEllipse(QPointF(-16, 0), holeR, holeR * std::abs(depth));

    QPainterPath shaft;
    shaft.addRect(QRectF(-6, -2.5, 30, 5));

    // The bit hangs below the shaft, or above it once the key has turned over.
    QPainterPath bit;
    const double s = depth;
    const auto tooth = [&](double x0, double x1, double length) {
        bit.addRect(
            QRectF(QPointF(x0, 2.0 * (s < 0 ? -1 : 1)), QPointF(x1, (2.0 + length) * s)).normalized());
    };
    tooth(11, 14, 8);
    tooth(16, 18, 5);
    tooth(20, 24, 9);

    return (bow - hole).united(shaft).united(bit).simplified();
}

QImage drawFrame(int frame)
{
    const double angle = 2 * std::numbers::pi * frame / kFrames;
    const double depth = std::cos(angle);

    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(keyPalette()[0]);
    QPainter painter(&image);
    // Hard edges: every pixel keeps one of the palette's colours.
    painter.setRenderHint(QPainter::Antialiasing, false);

    QTransform place;
    place.translate(31.5, 31.5);
    place.rotate(35);
    const QPainterPath key = place.map(keyPath(depth));

    painter.setPen(Qt::NoPen);
    painter.setBrush(gold(0.35 + 0.6 * std::abs(depth)));
    painter.drawPath(key);

    // Light falls from above: the upper half of the shaft and bow a shade brighter.
    painter.setClipPath(key);
    painter.setBrush(gold(0.55 + 0.45 * std::abs(depth)));
    painter.drawPath(place.map([] {
        QPainterPath upper;
        upper.addRect(QRectF(-30, -12, 60, 11));
        return upper;
    }()));

    // The glint: a slanted band that sweeps from the bow to the tip once per turn.
    const double x = -30 + 60.0 * frame / kFrames;
    QPolygonF band;
    band << QPointF(x, -14) << QPointF(x + 4, -14) << QPointF(x - 2, 14) << QPointF(x - 6, 14);
    painter.setBrush(QColor::fromRgb(keyPalette()[2 + kGoldShades]));
    painter.drawPolygon(place.map(band));
    QPolygonF core;
    core << QPointF(x + 1, -14) << QPointF(x + 2.5, -14) << QPointF(x - 3.5, 14) << QPointF(x - 5, 14);
    painter.setBrush(QColor::fromRgb(keyPalette()[3 + kGoldShades]));
    painter.drawPolygon(place.map(core));
    painter.setClipping(false);

    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(key);
    return image;
}

std::vector<std::uint8_t> toIndices(const QImage &image, const std::vector<QRgb> &palette)
{
    std::vector<std::uint8_t> indices;
    indices.reserve(static_cast<std::size_t>(image.width() * image.height()));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            std::size_t best = 0;
            int bestDistance = INT32_MAX;
            for (std::size_t i = 0; i < palette.size(); ++i) {
                const int dr = qRed(c) - qRed(palette[i]);
                const int dg = qGreen(c) - qGreen(palette[i]);
                const int db = qBlue(c) - qBlue(palette[i]);
                const int distance = dr * dr + dg * dg + db * db;
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = i;
                }
            }
            indices.push_back(static_cast<std::uint8_t>(best));
        }
    }
    return indices;
}

} // namespace

PalettedClip drawKeyAnimation()
{
    PalettedClip clip;
    clip.width = kSide;
    clip.height = kSide;
    clip.microsecondsPerFrame = 100000;
    clip.palette = keyPalette();
    for (int frame = 0; frame < kFrames; ++frame)
        clip.frames.push_back(toIndices(drawFrame(frame), clip.palette));
    return clip;
}
