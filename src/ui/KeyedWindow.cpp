#include "KeyedWindow.h"

#include "DesignFont.h"
#include "RoundedShape.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace ui {

double contrastRatio(const QColor &a, const QColor &b)
{
    // Relative luminance as contrast guidelines weigh the channels.
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor inkOn(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

KeyedWindow::KeyedWindow(QSize clientSize, QRect body, QSize cornerEllipse, QWidget *parent)
    : ModalDialog(parent), m_shape(new RoundedShape(this))
{
    // Without a frame it has no task-bar entry either: kept on top, it cannot get lost behind another window.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setCentredOnScreen(true);
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8));

    // The silver body is designed; the text on it must stay readable whatever palette the desktop uses (a
    // dark or high-contrast one brings white text), so its colours follow the body, not the desktop.
    QPalette pal = palette();
    const QColor ink = inkOn(bodyColour());
    // Disabled text keeps the ink's side of the body, halfway towards it.
    const QColor faded = ink == QColor(Qt::black) ? bodyColour().darker(200) : bodyColour().lighter(150);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, bodyColour());
        pal.setColor(group, QPalette::Button, bodyColour());
        const QColor text = group == QPalette::Disabled ? faded : ink;
        pal.setColor(group, QPalette::WindowText, text);
        pal.setColor(group, QPalette::ButtonText, text);
    }
    setPalette(pal);

    m_shape->setObjectName(QStringLiteral("Shape1"));
    m_shape->setGeometry(body);
    m_shape->setCornerEllipse(cornerEllipse);
    m_shape->setBrushColour(bodyColour());
    m_shape->lower();

    setFixedSize(clientSize);
    updateMask();
}

void KeyedWindow::updateMask()
{
    setMask(m_shape->coveredRegion().translated(m_shape->pos()));
}

void KeyedWindow::resizeEvent(QResizeEvent *event)
{
    ModalDialog::resizeEvent(event);
    updateMask();
}

void KeyedWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        ModalDialog::mousePressEvent(event);
        return;
    }
    // Wayland lets only the compositor move a window. Elsewhere we move it ourselves: a system move of a
    // frameless modal window is ignored by some X11 window managers while they still report success.
    if (QGuiApplication::platformName() == u"wayland" && windowHandle() &&
        windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
    event->accept();
}

void KeyedWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    ModalDialog::mouseMoveEvent(event);
}

void KeyedWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    ModalDialog::mouseReleaseEvent(event);
}

} // namespace ui
