#include "FocusFrame.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace ui {

namespace {

// A child of the view over its viewport: painted after the view's own contents, whatever they are.
class FocusFrame : public QWidget
{
public:
    explicit FocusFrame(QAbstractScrollArea *view) : QWidget(view), m_view(view)
    {
        setObjectName(QStringLiteral("FocusFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
            follow();
            break;
        default:
            break;
        }
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    void follow()
    {
        // The focus may be in the view's own child, the cell editor: its frame shows it there.
        if (!m_view->hasFocus()) {
            hide();
            return;
        }
        setGeometry(m_view->viewport()->geometry());
        raise();
        show();
    }

    QAbstractScrollArea *m_view;
};

} // namespace

void showFocusFrame(QAbstractScrollArea *view)
{
    new FocusFrame(view);
}

} // namespace ui
