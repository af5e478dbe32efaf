#include "Animate.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace ui {

Animate::Animate(QWidget *parent) : QWidget(parent), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &Animate::nextFrame);
}

void Animate::setFileName(const QString &path)
{
    m_active = false;
    m_timer->stop();
    m_clip = AviClip();
    m_current = 0;
    m_fileName = path;
    update();
    m_clip = AviClip::load(path);
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(m_clip.frameInterval());
    m_timer->setInterval(std::max(std::chrono::milliseconds(1), interval));
    updateGeometry();
}

void Animate::setActive(bool active)
{
    if (!active) {
        m_active = false;
        m_timer->stop();
        return;
    }
    if (m_clip.isEmpty() || m_active)
        return;
    m_active = true;
    m_current = 0;
    update();
    if (m_clip.frameCount() > 1)
        m_timer->start();
}

void Animate::setColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

QSize Animate::sizeHint() const
{
    return m_clip.isEmpty() ? QSize(64, 64) : m_clip.frameSize();
}

void Animate::nextFrame()
{
    m_current = (m_current + 1) % std::max(1, m_clip.frameCount());
    update();
}

void Animate::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_colour);
    if (m_clip.isEmpty())
        return;
    const QImage &frame = m_clip.frames()[static_cast<std::size_t>(m_current)];
    QRect target(QPoint(), frame.size());
    target.moveCenter(rect().center());
    painter.drawImage(target.topLeft(), frame);
}

} // namespace ui
