#include "Busy.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QScreen>

#include <algorithm>

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
    : m_parent(parent), m_caption(caption), m_steps(steps)
{
    if (show)
        this->show();
}

ProgressSteps::~ProgressSteps()
{
    delete m_dialog.data();
}

void ProgressSteps::show()
{
    if (m_dialog)
        return;
    m_dialog = new QProgressDialog(m_parent);
    m_dialog->setObjectName(QStringLiteral("Progress"));
    m_dialog->setWindowTitle(m_caption);
    m_dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_dialog->setCancelButton(nullptr);
    m_dialog->setRange(0, m_steps);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumWidth(320);
    m_dialog->setLabelText(m_current);
    m_dialog->setValue(std::max(0, m_done - 1));
    m_dialog->adjustSize();
    // Centred on the screen: at start-up the window it belongs to is not on show yet.
    const QScreen *screen =
        m_parent && m_parent->isVisible() ? m_parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        m_dialog->move(screen->availableGeometry().center() - m_dialog->rect().center());
    m_dialog->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressSteps::step(const QString &what)
{
    m_current = what;
    const int reached = m_done++;
    if (!m_dialog)
        return;
    m_dialog->setLabelText(what);
    m_dialog->setValue(reached);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool isLargeDatabase(qint64 bytes)
{
    return bytes >= kLargeDatabaseBytes;
}

} // namespace ui
