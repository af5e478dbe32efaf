#include "AppIconArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace appicon {

namespace {

// Everything is laid out on a 256-unit square and scaled to the size asked for.
constexpr double kUnits = 256.0;

const QColor kSilverLight(232, 232, 232);
const QColor kSilver(192, 192, 192);
const QColor kSilverDark(128, 128, 128);
const QColor kTealLight(0, 160, 160);
const QColor kTeal(0, 128, 128);
const QColor kTealDark(0, 80, 84);
const QColor kGoldLight(255, 226, 120);
const QColor kGold(222, 178, 52);
const QColor kGoldDark(150, 108, 20);

QPainterPath shieldPath(double inset)
{
    const double left = 28 + inset;
    const double right = kUnits - 28 - inset;
    const double top = 20 + inset;
    const double shoulder = 150;
    const double tip = 240 - inset * 1.4;
    QPainterPath path;
    path.moveTo(left, top + 14);
    // A shallow dip in the middle of the top edge gives the shield its heraldic outline.
    path.quadTo(kUnits / 2, top - 8, right, top + 14);
    path.lineTo(right, shoulder - inset * 0.3);
    path.cubicTo(right, 196, 180, 222, kUnits / 2, tip);
    path.cubicTo(76, 222, left, 196, left, shoulder - inset * 0.3);
    path.closeSubpath();
    return path;
}

// An upright key: ring at the top, shaft down the middle of the shield, two teeth at its foot.
QPainterPath keyPath()
{
    QPainterPath bow;
    bow.addEllipse(QPointF(128, 82), 34, 34);
    QPainterPath hole;
    hole.addEllipse(QPointF(128, 82), 14, 14);
    QPainterPath shaft;
    shaft.addRect(QRectF(116, 110, 24, 102));
    QPainterPath teeth;
    teeth.addRect(QRectF(136, 168, 28, 14));
    teeth.addRect(QRectF(136, 192, 22, 20));
    return (bow - hole).united(shaft).united(teeth).simplified();
}

} // namespace

QImage draw(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double scale = side / kUnits;
    painter.scale(scale, scale);
    // Outlines never get thinner than one pixel, or the small sizes lose their edge.
    const double hairline = 1.0 / scale;
    const auto outline = [&](double units) { return std::max(units, hairline); };

    // The rim is thick at large sizes and at least two pixels at small ones, so it reads as silver.
    const double rim = std::max(14.0, 2.2 / scale);
    const QPainterPath outer = shieldPath(0);
    const QPainterPath inner = shieldPath(rim);

    QLinearGradient silver(0, 0, kUnits, kUnits);
    silver.setColorAt(0, kSilverLight);
    silver.setColorAt(0.5, kSilver);
    silver.setColorAt(1, kSilverDark);
    painter.setPen(QPen(Qt::black, outline(5), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(silver);
    painter.drawPath(outer);

    QRadialGradient teal(QPointF(100, 70), 200);
    teal.setColorAt(0, kTealLight);
    teal.setColorAt(0.55, kTeal);
    teal.setColorAt(1, kTealDark);
    painter.setPen(QPen(kTealDark, outline(3)));
    painter.setBrush(teal);
    painter.drawPath(inner);

    const QPainterPath key = keyPath();
    // Below 32 pixels the key's shaft is barely two pixels wide: an outline or a shadow would swallow it,
    // so the small sizes get a plain bright key.
    const bool detailed = side >= 32;
    if (detailed) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 70));
        painter.drawPath(key.translated(6, 6));
    }

    QLinearGradient gold(96, 0, 168, 0);
    gold.setColorAt(0, kGoldLight);
    gold.setColorAt(0.45, kGold);
    gold.setColorAt(1, kGoldDark);
    if (detailed)
        painter.setPen(QPen(QColor(70, 48, 0), outline(4), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        painter.setPen(Qt::NoPen);
    painter.setBrush(detailed ? QBrush(gold) : QBrush(kGoldLight));
    painter.drawPath(key);
    painter.end();
    return image;
}

} // namespace appicon
