#include "Suites.h"

#include <QApplication>

int runUiTests(int argc, char **argv);
int runAviTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return testsupport::runSuites(argc, argv, {runUiTests, runAviTests});
}
