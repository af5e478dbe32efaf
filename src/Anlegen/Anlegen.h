#pragma once

#include "StandardRights.h"

#include "ModalDialog.h"

#include <QStringList>

class QCheckBox;
class QKeyEvent;

namespace ui {
class ResultButton;
} // namespace ui

// The standard rights dialog ("Standard-Rechte hinzufügen"): four check boxes and OK / Abbruch.
//
// A plain form without logic of its own: it only collects which standard rights to create; the caller
// creates them in the current group when showModal() returns OK. Every box starts unchecked, so each use
// takes a new dialog, released afterwards (a local object or a unique_ptr; the parent, if any, is the
// window that opens it).
//
// Neither button is a default button. Enter presses a button only while that button has the focus; on a
// check box it does nothing. Escape, like closing the window through its title bar, counts as Cancel: no
// dialog may hold on to a keyboard user. Tab goes down the boxes, then to OK and Abbruch.
class TFAnlegen : public ui::ModalDialog
{
    Q_OBJECT

public:
    explicit TFAnlegen(QWidget *parent = nullptr);

    // What the check boxes say right now.
    StandardRights choice() const;
    // The titles of the functions to create for the current check boxes, in the fixed order.
    QStringList checkedTitles() const;

    QCheckBox *add;
    QCheckBox *change;
    QCheckBox *Delete; // objectName "delete"
    QCheckBox *Print;
    ui::ResultButton *Button1;
    ui::ResultButton *Button2;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QCheckBox *checkBox(const char *name, const QString &caption, int top);
    void keyPressed(QKeyEvent *event);
};
