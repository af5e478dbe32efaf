#include "Program.h"

#include "AppIcon.h"
#include "ErrorHandler.h"
#include "InputQuery.h"
#include "Main.h"
#include "SDaten.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

int runProgram()
{
    // From here on, an error nobody handles ends its operation with the program's error box.
    ui::installErrorHandler();
    // A database on a server whose password libpq does not find is asked for, as the logon asks for ours.
    ui::installServerPasswordPrompt();
    // One icon for the main window, the dialogs and the desktop entry.
    QApplication::setWindowIcon(ui::appIcon());
    // Qt's own texts (file and input dialogs, the edits' menus) in German, whatever the desktop speaks, so
    // that they read like the rest of the program.
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    QTranslator qtTexts;
    if (qtTexts.load(german, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    const auto session = std::make_unique<TSData>();
    const auto main = std::make_unique<TFMain>();
    if (main->terminated())
        return 0;
    main->show();
    return QApplication::exec();
}
