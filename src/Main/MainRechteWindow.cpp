// The way from the main window to the window "Rechte-Übersicht": the second button of the left tool bar,
// Ctrl+R, and the sets read again after the window has changed the file.

#include "Accessible.h"
#include "ErrorHandler.h"
#include "GruppenBaum.h"
#include "ImageLists.h"
#include "Main.h"
#include "OnClick.h"
#include "Rechte.h"
#include "RecordSet.h"
#include "SDaten.h"

#include <QShortcut>
#include <QToolBar>
#include <QToolButton>

void TFMain::buildRechteButton()
{
    Rechte = new QToolButton(ToolBar4);
    Rechte->setObjectName(QStringLiteral("Rechte"));
    Rechte->setText(QStringLiteral("Rechte"));
    Rechte->setToolTip(QStringLiteral("Rechte-Übersicht (Strg+R)"));
    Rechte->setIcon(imagelists::imageList3().value(1));
    Rechte->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Rechte->setAutoRaise(true);
    ui::nameControl(Rechte, QStringLiteral("Rechte-Übersicht"),
                    QStringLiteral("Öffnet das Fenster „Rechte-Übersicht“ oder holt es nach vorn"));
    ToolBar4->addWidget(Rechte);
    ui::onClick(Rechte, this, &TFMain::RechteClick);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this), &QShortcut::activated, this,
            [this] { ui::guarded([this] { RechteClick(); }); });
}

void TFMain::RechteClick()
{
    if (!m_rechte) {
        m_rechte = new TFRechte(SData->SecureDB, this);
        connect(m_rechte, &TFRechte::fileChanged, this,
                [this](bool functionsMoved) { ui::guarded([&] { rechteChanged(functionsMoved); }); });
    }
    m_rechte->open();
}

void TFMain::rechteChanged(bool functionsMoved)
{
    // As after the pages' own changes: a row being edited is stored first, then the sets read the file.
    if (functionsMoved) {
        Funktionen->checkBrowseModeWithDetails();
        Funktionen->refresh();
        if (m_groupTree)
            m_groupTree->rebuild();
    }
    FunktionenBenutzer->checkBrowseMode();
    FunktionenBenutzer->refresh();
}
