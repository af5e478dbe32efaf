#include "ImageLists.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imagelists {

namespace {

constexpr int kSize = 16;

template <typename Draw> QIcon drawn(Draw &&draw)
{
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return QIcon(pm);
}

void folder(QPainter &p, const QColor &fill)
{
    QPainterPath path;
    path.moveTo(1.5, 4.5);
    path.lineTo(6.5, 4.5);
    path.lineTo(7.5, 6.0);
    path.lineTo(14.5, 6.0);
    path.lineTo(14.5, 13.5);
    path.lineTo(1.5, 13.5);
    path.closeSubpath();
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(fill);
    p.drawPath(path);
}

void plus(QPainter &p, QPointF c, const QColor &colour)
{
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
    p.drawLine(c + QPointF(0, -3), c + QPointF(0, 3));
}

void minus(QPainter &p, QPointF c, const QColor &colour)
{
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
}

void cross(QPainter &p, QPointF c, const QColor &colour)
{
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
    p.drawLine(c + QPointF(-3.5, 3.5), c + QPointF(3.5, -3.5));
}

void person(QPainter &p, QPointF at, const QColor &colour)
{
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawEllipse(QRectF(at.x() + 2, at.y(), 5, 5));
    p.drawRoundedRect(QRectF(at.x(), at.y() + 5.5, 9, 6), 3, 3);
}

void page(QPainter &p, QRectF r)
{
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(150, 150, 200), 1));
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2.5)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

const QColor kGreen(30, 150, 40);
const QColor kRed(200, 30, 30);
const QColor kFolder(250, 215, 100);
const QColor kPerson(90, 130, 210);

} // namespace

QList<QIcon> imageList1()
{
    return {
        drawn([](QPainter &p) {
            folder(p, kFolder);
            p.setPen(QPen(QColor(20, 80, 160), 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 12), QPointF(8, 7.5));
            p.drawLine(QPointF(8, 7.5), QPointF(5.8, 9.7));
            p.drawLine(QPointF(8, 7.5), QPointF(10.2, 9.7));
        }),
        drawn([](QPainter &p) {
            folder(p, kFolder);
            plus(p, QPointF(11.5, 10.5), kGreen);
        }),
        drawn([](QPainter &p) {
            folder(p, kFolder);
            cross(p, QPointF(11, 10.5), kRed);
        }),
        drawn([](QPainter &p) {
            p.setPen(QPen(QColor(20, 40, 90), 1));
            p.setBrush(QColor(60, 90, 170));
            p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 2, 8, 5));
            p.setBrush(QColor(200, 200, 210));
            p.drawRect(QRectF(4.5, 9.5, 7, 5));
        }),
        drawn([](QPainter &p) {
            page(p, QRectF(1.5, 1.5, 9, 11));
            page(p, QRectF(5.5, 4.5, 9, 11));
        }),
    };
}

QList<QIcon> imageList2()
{
    return {
        drawn([](QPainter &p) {
            person(p, QPointF(1, 2), kPerson);
            plus(p, QPointF(12, 11), kGreen);
        }),
        drawn([](QPainter &p) {
            person(p, QPointF(1, 2), kPerson);
            minus(p, QPointF(12, 11), kRed);
        }),
        drawn([](QPainter &p) {
            person(p, QPointF(4, 1), kPerson.lighter(130));
            person(p, QPointF(0, 3), kPerson);
            plus(p, QPointF(12.5, 11.5), kGreen);
        }),
    };
}

QList<QIcon> imageList3()
{
    return {drawn([](QPainter &p) {
                p.setPen(QPen(QColor(70, 70, 70), 1));
                p.setBrush(QColor(215, 215, 225));
                p.drawEllipse(QRectF(3, 1.5, 10, 4));
                p.drawRect(QRectF(3, 3.5, 10, 8));
                p.setPen(Qt::NoPen);
                p.drawRect(QRectF(3.5, 3, 9, 3));
                p.setPen(QPen(QColor(70, 70, 70), 1));
                p.drawArc(QRectF(3, 9.5, 10, 4), 180 * 16, 180 * 16);
                p.drawEllipse(QRectF(3, 1.5, 10, 4));
                folder(p, kFolder);
            }),
            // A list of who may do what under a magnifying glass.
            drawn([](QPainter &p) {
                page(p, QRectF(1.5, 1.5, 10, 12));
                person(p, QPointF(2.5, 3), kPerson);
                p.setPen(QPen(QColor(60, 60, 60), 1.2));
                p.setBrush(QColor(220, 235, 250, 190));
                p.drawEllipse(QRectF(7, 7, 6, 6));
                p.setPen(QPen(QColor(60, 60, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(12.2, 12.2), QPointF(14.8, 14.8));
            })};
}

} // namespace imagelists
