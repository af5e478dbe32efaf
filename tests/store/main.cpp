#include "ServerMode.h"

#include <QCoreApplication>
#include <QTest>

int runStoreTests(int argc, char **argv);
int runRecordSetTests(int argc, char **argv);
int runReliabilityTests(int argc, char **argv);
int runStatementTests(int argc, char **argv);
int runStatementErrorTests(int argc, char **argv);
int runFileTests(int argc, char **argv);
int runCellTests(int argc, char **argv);
int runQueryTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const int rc = testsupport::prepareServerRun(); rc != 0)
        return rc;
    int failures = 0;
    failures += runStoreTests(argc, argv);
    failures += runRecordSetTests(argc, argv);
    failures += runReliabilityTests(argc, argv);
    failures += runStatementTests(argc, argv);
    failures += runStatementErrorTests(argc, argv);
    failures += runFileTests(argc, argv);
    failures += runCellTests(argc, argv);
    failures += runQueryTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
