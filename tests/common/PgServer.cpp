#include "PgServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

#include <algorithm>

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

// The newest installed server's programs, e.g. /usr/lib/postgresql/15/bin.
QString serverPrograms()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(found.begin(), found.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    for (auto v = found.crbegin(); v != found.crend(); ++v) {
        const QString bin = versions.filePath(*v + QStringLiteral("/bin"));
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")) &&
            QFileInfo::exists(bin + QStringLiteral("/postgres")))
            return bin;
    }
    return QString();
}

// A TCP port on 127.0.0.1 that nobody listens on now; 0 when there is none.
int freePort()
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

} // namespace

PgServer::~PgServer()
{
    stop();
}

bool PgServer::start()
{
    m_bin = serverPrograms();
    if (m_bin.isEmpty()) {
        m_skip =
            QStringLiteral("no PostgreSQL server installed (initdb and postgres under /usr/lib/postgresql)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_failure = QStringLiteral("no temporary folder");
        return false;
    }
    // The server refuses to run as root: it runs as the packages' user, which must reach its folder.
    if (geteuid() == 0) {
        const passwd *pw = getpwnam("postgres");
        if (!pw) {
            m_skip = QStringLiteral("running as root, and there is no user postgres to run the server");
            return false;
        }
        m_dropUser = true;
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ExeGroup | QFile::ExeOther);
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    const QString socket = m_dir.filePath(QStringLiteral("socket"));
    for (const QString &folder : {data, socket}) {
        QDir().mkpath(folder);
        if (m_dropUser && chown(QFile::encodeName(folder).constData(), m_uid, m_gid) != 0) {
            m_failure = QStringLiteral("cannot hand %1 to postgres").arg(folder);
            return false;
        }
    }
    if (m_tls && !makeCertificate())
        return false;
    if (!run(m_bin + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--no-locale"), QStringLiteral("-N")}))
        return false;
    if (!launch())
        return false;
    PGconn *conn = PQconnectdb(uri(QStringLiteral("postgres")).toUtf8().constData());
    PGresult *made = PQexec(conn, "CREATE DATABASE sicherheit");
    const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
    if (!ok)
        m_failure = QString::fromUtf8(PQerrorMessage(conn));
    PQclear(made);
    PQfinish(conn);
    return ok;
}

bool PgServer::launch()
{
    asServerUser(m_server);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The server answers in German, as a server set up in a German locale does: the program must know its
    // refusals by their codes, not by their words.
    QProcessEnvironment german = QProcessEnvironment::systemEnvironment();
    german.insert(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
    m_server.setProcessEnvironment(german);
    QStringList args{QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                     QStringLiteral("-k"), m_dir.filePath(QStringLiteral("socket")),
                     QStringLiteral("-p"), QString::number(m_port)};
    args +=
        QStringLiteral("-c fsync=off -c log_min_messages=panic -c lc_messages=C.UTF-8 -c listen_addresses=")
            .split(u' ');
    if (m_tls) // the temporary folder's path holds no blank
        args.last() += QStringLiteral("127.0.0.1 -c ssl=on -c ssl_cert_file=%1 -c ssl_key_file=%2")
                           .arg(rootCertificate(), m_dir.filePath(QStringLiteral("server.key")));
    args = args.join(u' ').split(u' ');
    m_server.start(m_bin + QStringLiteral("/postgres"), args);
    if (!m_server.waitForStarted(10000)) {
        m_failure = QStringLiteral("postgres did not start: ") + m_server.errorString();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    const QByteArray target = uri(QStringLiteral("postgres")).toUtf8();
    while (PQping(target.constData()) != PQPING_OK) {
        if (m_server.state() != QProcess::Running || waited.elapsed() > 30000) {
            m_failure = QStringLiteral("postgres did not accept connections");
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void PgServer::stop()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    // Immediate shutdown: nothing of a throw-away cluster needs to survive.
    kill(static_cast<pid_t>(m_server.processId()), SIGQUIT);
    if (!m_server.waitForFinished(10000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool PgServer::restart()
{
    stop();
    return launch();
}

QString PgServer::uri(const QString &database) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=postgres%3")
        .arg(database, QString::fromUtf8(QUrl::toPercentEncoding(m_dir.filePath(QStringLiteral("socket")))),
             m_port == 5432 ? QString() : QStringLiteral("&port=%1").arg(m_port));
}

QString PgServer::tcpUri(const QString &parameters) const
{
    return QStringLiteral("postgresql://localhost:%1/sicherheit?%2").arg(m_port).arg(parameters);
}

QString PgServer::rootCertificate() const
{
    return m_dir.filePath(QStringLiteral("server.crt"));
}

// A certificate of its own, which is its own root: a client that checks the server must be given it.
bool PgServer::makeCertificate()
{
    m_port = freePort();
    if (m_port == 0) {
        m_failure = QStringLiteral("no free TCP port on 127.0.0.1");
        return false;
    }
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -addext "
                                 "subjectAltName=DNS:localhost -keyout server.key -out server.crt")
                      .split(u' '));
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        m_failure = QStringLiteral("openssl req failed: ") + openssl.errorString() +
                    QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    // The server reads its key only when nobody else may.
    const QByteArray key = QFile::encodeName(m_dir.filePath(QStringLiteral("server.key")));
    if (chmod(key.constData(), 0600) == 0 && (!m_dropUser || chown(key.constData(), m_uid, m_gid) == 0))
        return true;
    m_failure = QStringLiteral("cannot hand the key to postgres");
    return false;
}

bool PgServer::addPasswordRole(const QString &role, const QString &password)
{
    QFile hba(m_dir.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::ReadOnly)) {
        m_failure = hba.errorString();
        return false;
    }
    const QByteArray rules = "local all " + role.toUtf8() + " scram-sha-256\nhost all " + role.toUtf8() +
                             " 127.0.0.1/32 scram-sha-256\n" + hba.readAll();
    hba.close();
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || hba.write(rules) != rules.size()) {
        m_failure = hba.errorString();
        return false;
    }
    hba.close();
    PGconn *conn = PQconnectdb(uri().toUtf8().constData());
    const QByteArray sql = "CREATE ROLE " + role.toUtf8() + " LOGIN PASSWORD '" + password.toUtf8() +
                           "'; GRANT ALL ON SCHEMA public TO " + role.toUtf8() + "; SELECT pg_reload_conf()";
    PGresult *done = PQexec(conn, sql.constData());
    const bool ok = PQresultStatus(done) == PGRES_TUPLES_OK;
    if (!ok)
        m_failure = QString::fromUtf8(PQerrorMessage(conn));
    PQclear(done);
    PQfinish(conn);
    return ok;
}

QString PgServer::uriAs(const QString &role) const
{
    QString u = uri();
    return u.replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + role);
}

bool PgServer::run(const QString &program, const QStringList &args)
{
    QProcess process;
    asServerUser(process);
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        // Its own words say why; where it could not even start, Qt's do.
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        m_failure = QStringLiteral("%1 failed (exit code %2): %3")
                        .arg(program)
                        .arg(process.exitCode())
                        .arg(said.isEmpty() ? process.errorString() : said);
        return false;
    }
    return true;
}

// In the child, before the program starts: the server's user where the tests run as root, and the
// server's end when the test process ends, however it ends. The death signal is set after the change of
// user, which would clear it.
void PgServer::asServerUser(QProcess &process) const
{
    // The server's programs look at their working folder at start; the server's user may not enter the
    // one the tests run in (a private home folder, a 0700 temporary folder).
    process.setWorkingDirectory(m_dir.path());
    const bool drop = m_dropUser;
    const uid_t uid = m_uid;
    const gid_t gid = m_gid;
    process.setChildProcessModifier([drop, uid, gid] {
        if (drop && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
        prctl(PR_SET_PDEATHSIG, SIGQUIT);
    });
}

} // namespace testsupport
