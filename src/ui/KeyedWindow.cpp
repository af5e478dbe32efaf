#include "KeyedWindow.h"

#include "DesignFont.h"
#include "RoundedShape.h"

#include <QMouseEvent>
#include <QPalette>
#include <QWindow>

namespace ui {

KeyedWindow::KeyedWindow(QSize clientSize, QRect body, QSize cornerEllipse, QWidget *parent)
    : ModalDialog(parent), m_shape(new RoundedShape(this))
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
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
    // The window manager moves the window where it can (Wayland allows nothing else); otherwise we do.
    if (windowHandle() && windowHandle()->startSystemMove()) {
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
