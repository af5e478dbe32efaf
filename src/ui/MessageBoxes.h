#pragma once

#include <QFlags>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

namespace ui {

// The program's title; plain message boxes and the error box carry it as their caption.
QString applicationTitle();

// The four kinds of message box; each has its own caption and icon ("Fehler", "Warnung", "Information",
// "Bestätigung").
enum class MsgKind
{
    Error,
    Warning,
    Information,
    Confirmation,
};

enum class MsgButton
{
    OK = 0x1,     // "OK"
    Yes = 0x2,    // "&Ja"
    No = 0x4,     // "&Nein"
    Cancel = 0x8, // "Abbrechen"
};
Q_DECLARE_FLAGS(Buttons, MsgButton)

enum class MsgResult
{
    OK,
    Yes,
    No,
    Cancel,
};

// Shows a modal message box and returns the button the user chose. The buttons appear in the order OK,
// Ja, Nein, Abbrechen; the first one is the default (Enter). Escape (and closing the box) answers Cancel
// when that button is there, else No, else OK, else Yes. An empty set of buttons gets a single OK.
//
// The box is a QMessageBox named "MessageBox" whose buttons are named "OK", "Yes", "No" and "Cancel", owned
// by the active window (if any) and run with exec(); tests find it through QApplication::activeModalWidget().
MsgResult messageDlg(const QString &text, MsgKind kind, Buttons buttons);
// The same with another default: a question whose "Ja" cannot be undone offers "Nein" to Enter.
MsgResult messageDlg(const QString &text, MsgKind kind, Buttons buttons, MsgButton defaultButton);

// While it lives, the boxes above belong to `window` and stand centred on it, whichever window the desktop
// has made active: a window that asks right after another dialog closed may not be active again yet.
class BoxOwner
{
public:
    explicit BoxOwner(QWidget *window);
    ~BoxOwner();
    BoxOwner(const BoxOwner &) = delete;
    BoxOwner &operator=(const BoxOwner &) = delete;

private:
    QPointer<QWidget> m_previous;
};

// The plain message box: no icon, one "OK", the application's title as its caption.
void showMessage(const QString &text);

// The box beneath both, for the few boxes with a caption of their own (the error handler's): the icon of
// iconOf, or none.
MsgResult messageBox(const QString &text, const QString &caption, std::optional<MsgKind> iconOf,
                     Buttons buttons, std::optional<MsgButton> defaultButton = std::nullopt);

} // namespace ui

Q_DECLARE_OPERATORS_FOR_FLAGS(ui::Buttons)
