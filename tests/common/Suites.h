#pragma once

// For programs that run several test classes one after the other.

#include <QStringList>

#include <initializer_list>

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

using SuiteRun = int (*)(int argc, char **argv);

// Runs each class's tests in turn; the program fails when any of them failed.
inline int runSuites(int argc, char **argv, std::initializer_list<SuiteRun> runs)
{
    int failures = 0;
    for (const SuiteRun run : runs)
        failures += run(argc, argv);
    return failures == 0 ? 0 : 1;
}

} // namespace testsupport
