#include "Anlegen.h"

#include "DesignFont.h"
#include "ErrorHandler.h"
#include "ResultButton.h"

#include <QCheckBox>
#include <QKeyEvent>

namespace {

constexpr QSize kClientSize(227, 88);
constexpr int kBoxLeft = 5;
constexpr QSize kBoxSize(97, 17);
constexpr QSize kButtonSize(75, 25);

} // namespace

TFAnlegen::TFAnlegen(QWidget *parent) : ui::ModalDialog(parent)
{
    setObjectName(QStringLiteral("FAnlegen"));
    setWindowTitle(QStringLiteral("Standard-Rechte hinzufügen"));
    // A fixed tool-window border: title bar and close button, nothing to minimise, maximise or resize.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientSize);
    setCentredOnScreen(true);
    setFont(ui::designFont(QStringLiteral("MS Sans Serif"), 8));

    add = checkBox("add", QStringLiteral("Anlegen"), 5);
    change = checkBox("change", QStringLiteral("Ändern"), 25);
    Delete = checkBox("delete", QStringLiteral("Löschen"), 45);
    Print = checkBox("Print", QStringLiteral("Drucken"), 65);

    Button1 = new ui::ResultButton(QStringLiteral("OK"), ui::ModalResult::OK, this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(QRect(QPoint(135, 10), kButtonSize));
    Button2 = new ui::ResultButton(QStringLiteral("Abbruch"), ui::ModalResult::Cancel, this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(QRect(QPoint(135, 40), kButtonSize));
    // Qt would make a focused button the dialog's default; here no button ever is, and keyPressEvent
    // gives Enter to the focused button alone.
    for (ui::ResultButton *button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setCancelButton(Button2);

    setTabOrder(add, change);
    setTabOrder(change, Delete);
    setTabOrder(Delete, Print);
    setTabOrder(Print, Button1);
    setTabOrder(Button1, Button2);
    add->setFocus();
}

QCheckBox *TFAnlegen::checkBox(const char *name, const QString &caption, int top)
{
    auto *box = new QCheckBox(caption, this);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(QRect(QPoint(kBoxLeft, top), kBoxSize));
    box->setChecked(false);
    return box;
}

StandardRights TFAnlegen::choice() const
{
    return {.add = add->isChecked(),
            .change = change->isChecked(),
            .remove = Delete->isChecked(),
            .print = Print->isChecked()};
}

QStringList TFAnlegen::checkedTitles() const
{
    return standardRightTitles(choice());
}

void TFAnlegen::keyPressEvent(QKeyEvent *event)
{
    ui::guarded([&] { keyPressed(event); });
}

void TFAnlegen::keyPressed(QKeyEvent *event)
{
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->key() == Qt::Key_Enter && event->modifiers() == Qt::KeypadModifier);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        // Only a button that holds the focus takes Enter; a check box lets it pass unanswered.
        if (auto *button = qobject_cast<ui::ResultButton *>(focusWidget()); button && button->isEnabled())
            button->click();
        return;
    }
    ui::ModalDialog::keyPressEvent(event);
}
