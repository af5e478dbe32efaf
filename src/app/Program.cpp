#include "Program.h"

#include "Main.h"
#include "SDaten.h"
#include "ui/ErrorHandler.h"

#include <QApplication>

#include <memory>

int runProgram()
{
    // From here on, an error nobody handles ends its operation with the program's error box.
    ui::installErrorHandler();
    const auto session = std::make_unique<TSData>();
    const auto main = std::make_unique<TFMain>();
    if (main->terminated())
        return 0;
    main->show();
    return QApplication::exec();
}
