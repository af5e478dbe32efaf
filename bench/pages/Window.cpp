#include "Window.h"

#include "DemoData.h"
#include "Main.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>

namespace pages {

void prepareProgramFolder(const QString &dir)
{
    QDir(dir).mkpath(QStringLiteral("system"));
    demo::createDemo(dir + QStringLiteral("/system/user.mdb"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/key.avi"),
                dir + QStringLiteral("/key.avi"));
    setProgramFolder(dir);
}

Dialogs::Dialogs(int pollMs)
{
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] { look(); });
    m_poll.start();
}

void Dialogs::look()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w == m_answered)
        return;
    if (w->objectName() == u"SLogon") {
        m_answered = w;
        w->findChild<QLineEdit *>(QStringLiteral("Benutzer"))->setText(QStringLiteral("admin"));
        w->findChild<QLineEdit *>(QStringLiteral("Pass"))->setText(QStringLiteral("admin"));
        QTimer::singleShot(0, w->findChild<QPushButton *>(QStringLiteral("OKbutton")), &QPushButton::click);
    } else if (auto *open = qobject_cast<QFileDialog *>(w); open && !m_file.isEmpty()) {
        m_answered = w;
        open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(m_file);
        QTimer::singleShot(0, open, [open] { QMetaObject::invokeMethod(open, "accept"); });
    } else {
        const auto *label = w->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        std::fprintf(stderr, "%s: unexpected window %s: %s\n",
                     qPrintable(QCoreApplication::applicationName()), qPrintable(w->objectName()),
                     label ? qPrintable(label->text()) : "");
        std::_Exit(2);
    }
}

Window::Window(Dialogs &dialogs, const QString &file)
{
    dialogs.pickFile(file);
    m_session = std::make_unique<TSData>();
    m_main = std::make_unique<TFMain>();
    dialogs.pickFile(QString());
    if (m_main->terminated() || !m_main->FunktionenBenutzer || !m_main->FunktionenBenutzer->isOpen())
        throw store::StoreError(QStringLiteral("the start-up did not open %1").arg(file));
}

Window::~Window() = default;

void Window::showPage(QWidget *page)
{
    m_main->PageControl1->setCurrentWidget(page);
    m_main->show();
    settle();
}

void settle()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace pages
