#pragma once

// For programs that run several test classes one after the other.

#include <QStringList>

namespace testsupport {

// The program's arguments for QTest::qExec, without QtTest's crash handler: each class's run installs the
// handler again over the one before, and a crash then sends it round between them for ever, so that a
// failing suite would hang until CTest's time-out. Without it a crash ends the program and fails the run.
inline QStringList suiteArguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    args << QStringLiteral("-nocrashhandler");
    return args;
}

} // namespace testsupport
