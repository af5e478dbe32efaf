// Prints the program folder exactly as the program works it out, so that the package test can start it
// through a symlink the way /usr/bin/sicherheit starts the installed program.

#include "SDaten.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    std::printf("%s\n", qPrintable(programFolder()));
    return 0;
}
