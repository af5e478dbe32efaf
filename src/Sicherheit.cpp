// Sicherheitsbeschreibungen: the administration tool for the shared security database.

#include "Program.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return runProgram();
}
