#include "ServerMode.h"

#include <QApplication>

int runStartupTests(int argc, char **argv);
int runUserRulesTests(int argc, char **argv);
int runUsersPageTests(int argc, char **argv);
int runFunctionsPageTests(int argc, char **argv);
int runServerProgramTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const int rc = testsupport::prepareServerRun(); rc != 0)
        return rc;
    int failures = 0;
    failures += runStartupTests(argc, argv);
    failures += runUserRulesTests(argc, argv);
    failures += runUsersPageTests(argc, argv);
    failures += runFunctionsPageTests(argc, argv);
    failures += runServerProgramTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
