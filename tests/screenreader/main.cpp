#include "Suites.h"

#include <QApplication>

int runSignOnNamesTests(int argc, char **argv);
int runContrastTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return testsupport::runSuites(argc, argv, {runSignOnNamesTests, runContrastTests});
}
