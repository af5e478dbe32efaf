#include "Suites.h"

#include <QApplication>

int runListTests(int argc, char **argv);
int runWindowTests(int argc, char **argv);
int runHistoryTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return testsupport::runSuites(argc, argv, {runListTests, runHistoryTests, runWindowTests});
}
