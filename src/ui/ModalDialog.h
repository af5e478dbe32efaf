#pragma once

#include <QDialog>
#include <QPointer>
#include <QPushButton>

namespace ui {

class ResultButton;

// How a modal dialog ended. None means it is still open.
enum class ModalResult
{
    None,
    OK,
    Cancel,
};

// Base of every modal dialog of the program.
//
// A dialog stays open while its result is None. A ResultButton sets the result, runs its handlers and then
// asks the dialog to close (tryClose()); closing runs the close check closeQuery(), and a refusal puts the
// result back to None and keeps the dialog open. Escape presses the cancel button; without one it is taken
// as Cancel directly. Closing through the window manager counts as Cancel and goes through the close check
// as well. Handlers and the close check run inside ui::guarded(): an error is shown and a close check that
// fails with an error refuses.
//
// accept() and reject() are routed through the same path (OK / Escape); QDialog::done() is the raw exit and
// skips the close check.
class ModalDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ModalDialog(QWidget *parent = nullptr);

    ModalResult modalResult() const { return m_result; }
    void setModalResult(ModalResult result) { m_result = result; }

    // Shows the dialog modally (exec()) and returns the result with which it finally closed, OK or Cancel.
    ModalResult showModal();

    // Closes the dialog with the current result unless it is None or the close check refuses; returns
    // whether it closed.
    bool tryClose();

    // Enter presses this button; Escape presses the cancel button.
    void setDefaultButton(ResultButton *button);
    void setCancelButton(ResultButton *button);

    // Placed at the centre of the screen each time it is shown.
    void setCentredOnScreen(bool centred) { m_centred = centred; }

    void accept() override;
    void reject() override;

protected:
    // The close check, run whenever the dialog is about to close; return false to keep it open.
    virtual bool closeQuery() { return true; }

    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool closeQueryGuarded();
    void finish();

    ModalResult m_result = ModalResult::None;
    QPointer<QPushButton> m_cancelButton;
    bool m_centred = false;
};

} // namespace ui
