#include "SignOnDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

namespace driver {

namespace {
constexpr int kPatienceMs = 8000;
}

Script::Script()
{
    m_poll.setInterval(5);
    QObject::connect(&m_poll, &QTimer::timeout, this, &Script::tick);
    m_clock.start();
    m_poll.start();
}

Script::~Script() = default;

Script &Script::on(const QString &window, std::function<void(QWidget *)> act)
{
    m_steps.push_back({window, std::move(act)});
    return *this;
}

Script &Script::answerBox(const QString &button)
{
    return answerBox(button, nullptr);
}

Script &Script::answerBox(const QString &button, std::function<void(QMessageBox *)> also)
{
    return on(QStringLiteral("MessageBox"), [this, button, also = std::move(also)](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        Box seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            seen.buttons << b->objectName();
        boxes << seen;
        if (also)
            also(box);
        if (!box->findChild<QAbstractButton *>(button))
            QFAIL(qPrintable(QStringLiteral("the box \"%1\" has no button %2").arg(seen.text, button)));
        press(box, button);
    });
}

QStringList Script::pending() const
{
    QStringList names;
    for (const Step &s : m_steps)
        names << s.window;
    return names;
}

void closeEverything()
{
    for (int guard = 0; guard < 20; ++guard) {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            break;
        dialog->done(QDialog::Rejected);
    }
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            w->close();
    }
}

void Script::tick()
{
    if (QTest::currentTestFailed()) {
        // Stop driving: whatever is open would otherwise wait for steps that will never come.
        m_steps.clear();
        closeEverything();
        return;
    }
    QWidget *w = QApplication::activeModalWidget();
    if (m_clock.elapsed() > kPatienceMs) {
        m_timedOut = true;
        // The raw exit: no close check, no handler.
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->done(QDialog::Rejected);
        else
            m_poll.stop();
        return;
    }
    if (m_busy || m_steps.empty() || !w || !w->isVisible() || w->objectName() != m_steps.front().window)
        return;
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    // Patience counts from the last step taken: a long script is fine as long as it keeps moving.
    m_clock.restart();
    m_busy = true;
    QPointer<QWidget> target(w);
    QTimer::singleShot(0, this, [this, target, act = std::move(step.act)] {
        m_busy = false;
        if (target)
            act(target);
        if (QTest::currentTestFailed()) {
            m_steps.clear();
            closeEverything();
        }
    });
}

void type(QWidget *edit, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent keyDown(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &keyDown);
        QKeyEvent keyUp(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &keyUp);
    }
}

void press(QWidget *window, const QString &buttonName)
{
    auto *button = window->findChild<QAbstractButton *>(buttonName);
    if (!button) {
        qWarning("no button %s", qPrintable(buttonName));
        return;
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

void fill(QWidget *window, const QString &editName, const QString &text)
{
    auto *edit = window->findChild<QLineEdit *>(editName);
    if (!edit) {
        qWarning("no edit %s", qPrintable(editName));
        return;
    }
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        type(edit, text);
}

} // namespace driver
