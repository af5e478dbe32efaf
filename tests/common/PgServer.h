#pragma once

// A throw-away PostgreSQL server for the tests: its own cluster in a temporary folder, listening only on a
// Unix socket there, stopped when the object goes and also when the test process dies.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

namespace testsupport {

class PgServer
{
public:
    PgServer() = default;
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;
    ~PgServer();

    // Makes the cluster, starts the server and creates the database `sicherheit`. False when the server
    // programs are not installed (skipReason() says so) or when anything fails (failure() says what).
    bool start();
    // Before start(): the server also listens on TCP, on 127.0.0.1 only and a free port, with TLS and a
    // certificate for "localhost" made for it (openssl req).
    void listenWithTls() { m_tls = true; }
    // With TLS: a URI over TCP to "localhost" with the given query parameters, and the certificate a
    // client must know to check it (sslrootcert=).
    QString tcpUri(const QString &parameters) const;
    QString rootCertificate() const;
    void stop();
    // Starts a stopped server again on the same cluster.
    bool restart();
    bool isRunning() const { return m_server.state() == QProcess::Running; }

    QString uri(const QString &database = QStringLiteral("sicherheit")) const;
    // A login role that must give its password (no password file, no trust); false with failure() set.
    bool addPasswordRole(const QString &role, const QString &password);
    QString uriAs(const QString &role) const;
    const QString &skipReason() const { return m_skip; }
    const QString &failure() const { return m_failure; }

private:
    bool run(const QString &program, const QStringList &args);
    bool launch();
    void asServerUser(QProcess &process) const;

    bool makeCertificate();

    QTemporaryDir m_dir;
    bool m_tls = false;
    int m_port = 5432;
    QString m_bin;
    QProcess m_server;
    bool m_dropUser = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    QString m_skip;
    QString m_failure;
};

#ifdef SICHERHEIT_BIN_DIR
// Runs sicherheit-db as an administrator would and gives its exit code (-1 when it hangs), what it wrote
// and what it complained about.
inline int runTool(const QStringList &args, QByteArray *output = nullptr, QByteArray *errors = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), args);
    if (!p.waitForFinished(60000))
        return -1;
    if (output)
        *output = p.readAllStandardOutput();
    if (errors)
        *errors = p.readAllStandardError();
    return p.exitCode();
}
#endif

} // namespace testsupport
