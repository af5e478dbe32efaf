#include "ServerMode.h"
#include "Suites.h"

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
int runBackendTests(int argc, char **argv);
int runBulkLoadTests(int argc, char **argv);
int runBoundWriteTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const int rc = testsupport::prepareServerRun(); rc != 0)
        return rc;
    return testsupport::runSuites(argc, argv,
                                  {runStoreTests, runRecordSetTests, runReliabilityTests, runStatementTests,
                                   runStatementErrorTests, runFileTests, runCellTests, runQueryTests,
                                   runBackendTests, runBulkLoadTests, runBoundWriteTests});
}
