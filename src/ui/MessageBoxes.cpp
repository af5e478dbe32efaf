#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <utility>

namespace ui {

namespace {

struct ButtonDesign
{
    MsgButton button;
    const char *text;
    const char *name;
    QMessageBox::ButtonRole role;
};

constexpr std::array<ButtonDesign, 4> kButtons = {{
    {MsgButton::OK, "OK", "OK", QMessageBox::AcceptRole},
    {MsgButton::Yes, "&Ja", "Yes", QMessageBox::YesRole},
    {MsgButton::No, "&Nein", "No", QMessageBox::NoRole},
    {MsgButton::Cancel, "Abbrechen", "Cancel", QMessageBox::RejectRole},
}};

MsgResult resultOf(MsgButton button)
{
    switch (button) {
    case MsgButton::OK:
        return MsgResult::OK;
    case MsgButton::Yes:
        return MsgResult::Yes;
    case MsgButton::No:
        return MsgResult::No;
    case MsgButton::Cancel:
        break;
    }
    return MsgResult::Cancel;
}

MsgButton escapeButtonOf(Buttons buttons)
{
    for (MsgButton b : {MsgButton::Cancel, MsgButton::No, MsgButton::OK}) {
        if (buttons.testFlag(b))
            return b;
    }
    return MsgButton::Yes;
}

QMessageBox::Icon iconOf(std::optional<MsgKind> kind)
{
    if (!kind)
        return QMessageBox::NoIcon;
    switch (*kind) {
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Information:
        return QMessageBox::Information;
    case MsgKind::Confirmation:
        break;
    }
    return QMessageBox::Question;
}

QPointer<QWidget> g_owner; // set by a BoxOwner

QWidget *ownerWindow()
{
    if (g_owner && g_owner->isVisible())
        return g_owner->window();
    if (QWidget *active = QApplication::activeWindow())
        return active;
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowType() == Qt::Window)
            return w;
    }
    return nullptr;
}

} // namespace

MsgResult messageBox(const QString &text, const QString &caption, std::optional<MsgKind> iconKind,
                     Buttons buttons, std::optional<MsgButton> defaultButton)
{
    if (!buttons)
        buttons = MsgButton::OK;

    // A dialog of the active window (or of the program's window that is on show), so that it stays on top
    // of it and a window manager gives it a dialog's frame: a title and a close button, no minimise or
    // maximise. The box never outlives this call.
    QMessageBox box(iconOf(iconKind), caption, text, QMessageBox::NoButton, ownerWindow());
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    // Qt announces the box as an alert named by its caption; the text goes with it, so that a screen reader
    // reads the cause together with the kind.
    box.setAccessibleDescription(text);

    std::array<std::pair<QAbstractButton *, MsgButton>, kButtons.size()> added{};
    std::size_t count = 0;
    for (const ButtonDesign &design : kButtons) {
        if (!buttons.testFlag(design.button))
            continue;
        QPushButton *button = box.addButton(QString::fromUtf8(design.text), design.role);
        button->setObjectName(QString::fromUtf8(design.name));
        if (defaultButton ? design.button == *defaultButton : count == 0)
            box.setDefaultButton(button);
        added[count++] = {button, design.button};
    }

    QAbstractButton *escape = nullptr;
    const MsgButton escapeWith = escapeButtonOf(buttons);
    for (std::size_t i = 0; i < count; ++i) {
        if (added[i].second == escapeWith)
            escape = added[i].first;
    }
    box.setEscapeButton(escape);

    box.exec();

    const QAbstractButton *clicked = box.clickedButton();
    for (std::size_t i = 0; i < count; ++i) {
        if (added[i].first == clicked)
            return resultOf(added[i].second);
    }
    // Closed without a click (the window manager, the application quitting): as if escaped.
    return resultOf(escapeWith);
}

BoxOwner::BoxOwner(QWidget *window) : m_previous(g_owner)
{
    g_owner = window;
}

BoxOwner::~BoxOwner()
{
    g_owner = m_previous;
}

QString applicationTitle()
{
    return QStringLiteral("Sicherheitsbeschreibungen");
}

MsgResult messageDlg(const QString &text, MsgKind kind, Buttons buttons, MsgButton defaultButton)
{
    switch (kind) {
    case MsgKind::Error:
        return messageBox(text, QStringLiteral("Fehler"), kind, buttons, defaultButton);
    case MsgKind::Warning:
        return messageBox(text, QStringLiteral("Warnung"), kind, buttons, defaultButton);
    case MsgKind::Information:
        return messageBox(text, QStringLiteral("Information"), kind, buttons, defaultButton);
    case MsgKind::Confirmation:
        break;
    }
    return messageBox(text, QStringLiteral("Bestätigung"), kind, buttons, defaultButton);
}

MsgResult messageDlg(const QString &text, MsgKind kind, Buttons buttons)
{
    // The first button of the set is the default.
    for (MsgButton b : {MsgButton::OK, MsgButton::Yes, MsgButton::No, MsgButton::Cancel}) {
        if (buttons.testFlag(b))
            return messageDlg(text, kind, buttons, b);
    }
    return messageDlg(text, kind, buttons, MsgButton::OK);
}

void showMessage(const QString &text)
{
    messageBox(text, applicationTitle(), std::nullopt, MsgButton::OK);
}

} // namespace ui
