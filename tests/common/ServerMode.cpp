#include "ServerMode.h"

#include "Connection.h"
#include "PgServer.h"
#include "Schema.h"

#include <QFile>

#include <libpq-fe.h>

#include <cstdio>
#include <memory>

namespace testsupport {

namespace {
std::unique_ptr<PgServer> &shared()
{
    static std::unique_ptr<PgServer> server;
    return server;
}
} // namespace

bool onServer()
{
    return qEnvironmentVariable("SICHERHEIT_TEST_DRIVER") == u"server";
}

int prepareServerRun()
{
    if (!onServer())
        return 0;
    shared() = std::make_unique<PgServer>();
    if (shared()->start())
        return 0;
    if (!shared()->skipReason().isEmpty()) {
        std::printf("SKIP: %s\n", qPrintable(shared()->skipReason()));
        return 77;
    }
    std::printf("FAIL: the test server did not start: %s\n", qPrintable(shared()->failure()));
    return 1;
}

QString freshServerDatabase(bool withTables)
{
    if (!shared())
        qFatal("no test server: the suite's main has to call prepareServerRun()");
    static int made = 0;
    const QString name = QStringLiteral("t%1").arg(++made);
    PGconn *conn = PQconnectdb(shared()->uri(QStringLiteral("postgres")).toUtf8().constData());
    PQclear(PQexec(conn, ("CREATE DATABASE " + name.toUtf8()).constData()));
    PQfinish(conn);
    const QString uri = shared()->uri(name);
    if (withTables)
        store::Connection::createServerTables(uri, schema::serverCreateStatements(), schema::allTableNames());
    return uri;
}

void linkTo(const QString &path, const QString &uri)
{
    QFile link(path);
    if (!link.open(QIODevice::WriteOnly | QIODevice::Truncate) || link.write(uri.toUtf8() + '\n') < 0)
        qFatal("cannot write the link file %s", qPrintable(path));
}

} // namespace testsupport
