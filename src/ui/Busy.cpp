#include "Busy.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QScreen>

namespace ui {

namespace {
constexpr qint64 kLargeDatabaseBytes = 16 * 1024 * 1024;
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

ProgressSteps::ProgressSteps(QWidget *parent, const QString &caption, int steps, bool show)
{
    if (!show)
        return;
    m_dialog = new QProgressDialog(parent);
    m_dialog->setObjectName(QStringLiteral("Progress"));
    m_dialog->setWindowTitle(caption);
    m_dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_dialog->setCancelButton(nullptr);
    m_dialog->setRange(0, steps);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumWidth(320);
    m_dialog->adjustSize();
    // Centred on the screen: at start-up the window it belongs to is not on show yet.
    const QScreen *screen =
        parent && parent->isVisible() ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        m_dialog->move(screen->availableGeometry().center() - m_dialog->rect().center());
    m_dialog->show();
}

ProgressSteps::~ProgressSteps()
{
    delete m_dialog.data();
}

void ProgressSteps::step(const QString &what)
{
    if (!m_dialog)
        return;
    m_dialog->setLabelText(what);
    m_dialog->setValue(m_done++);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool isLargeDatabase(qint64 bytes)
{
    return bytes >= kLargeDatabaseBytes;
}

} // namespace ui
