#include "ServerMode.h"
#include "Suites.h"

#include <QApplication>

int runStartupTests(int argc, char **argv);
int runUserRulesTests(int argc, char **argv);
int runUsersPageTests(int argc, char **argv);
int runFunctionsPageTests(int argc, char **argv);
int runServerProgramTests(int argc, char **argv);
int runJournalTests(int argc, char **argv);
int runRoundTripTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const int rc = testsupport::prepareServerRun(); rc != 0)
        return rc;
    return testsupport::runSuites(argc, argv,
                                  {runStartupTests, runUserRulesTests, runUsersPageTests,
                                   runFunctionsPageTests, runServerProgramTests, runJournalTests,
                                   runRoundTripTests});
}
