#include "KeyedWindow.h"

#include "DesignFont.h"
#include "RoundedShape.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWindow>

namespace ui {

KeyedWindow::KeyedWindow(QSize clientSize, QRect body, QSize cornerEllipse, QWidget *parent)
    : ModalDialog(parent), m_shape(new RoundedShape(this))
{
    // Without a frame it has no task-bar entry either: kept on top, it cannot get lost behind another window.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setCentredOnScreen(true);
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8));

    QPalette pal = palette();
    pal.setColor(QPalette::Window, bodyColour());
    pal.setColor(QPalette::Button, bodyColour());
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
