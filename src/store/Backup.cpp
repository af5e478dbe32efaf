#include "Backup.h"

#include "Connection.h"
#include "ConnectionString.h"
#include "FileChecks.h"
#include "Sqlite.h"
#include "StoreError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

// Waited for between the steps of a backup that another program's lock holds up, and how often: a lock held
// for longer than that is reported like every other lock the store waits for in vain.
constexpr int kRetryMs = 50;
constexpr int kRetries = 200;
// Pages copied per step: small enough that a writer never waits long for its lock.
constexpr int kPagesPerStep = 256;

// The target's name, taken exclusively: two backups cannot both write one file. The copy holds the same
// passwords as the file, so it gets the file's mode, but never a right for every user of the machine.
void claim(const QString &target, mode_t mode)
{
    const QByteArray nativePath = QFile::encodeName(target);
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        refuseNewFile(target, errno, QStringLiteral("Die Sicherungskopie"));
    ::fchmod(fd, mode & 0770);
    ::close(fd);
}

bool isLocked(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// Runs the backup into an open, keyed target; returns SQLite's result.
int copyInto(sqlite3 *source, sqlite3 *target)
{
    sqlite3_backup *job = sqlite3_backup_init(target, "main", source, "main");
    if (!job)
        return sqlite3_errcode(target);
    int rc = SQLITE_OK;
    for (int waited = 0;;) {
        rc = sqlite3_backup_step(job, kPagesPerStep);
        if (rc == SQLITE_OK)
            waited = 0;
        else if (isLocked(rc) && ++waited < kRetries)
            sqlite3_sleep(kRetryMs);
        else
            break;
    }
    const int finished = sqlite3_backup_finish(job);
    return rc == SQLITE_DONE ? finished : rc;
}

} // namespace

void refuseBackupOnServer(const Connection &source)
{
    // A copy of a server database beside a file would hold every password outside the server's care.
    if (source.isServer())
        throw StoreError(
            QStringLiteral("Die Datenbank %1 liegt auf einem Datenbankserver: sie wird mit dessen "
                           "Werkzeugen gesichert (pg_dump), nicht als Datei; es wurde nichts "
                           "geändert.")
                .arg(quoted(source.fileName())));
}

void backup(Connection &source, const QString &target)
{
    source.ensureConnected();
    refuseBackupOnServer(source);
    const QString password = ConnectionString::parse(source.connectionString()).password;
    struct stat original
    {
    };
    const mode_t mode = ::stat(QFile::encodeName(source.fileName()).constData(), &original) == 0
                            ? original.st_mode & 07777
                            : 0600;
    claim(target, mode);
    QString why;
    {
        sqlite3 *raw = nullptr;
        int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        const DbPtr db(raw);
        if (rc == SQLITE_OK) {
            const QByteArray key = password.toUtf8();
            rc = sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
        }
        if (rc == SQLITE_OK)
            rc = copyInto(source.handle(), raw);
        if (isLocked(rc))
            why = QStringLiteral("die Datei ist von einem anderen Programm gesperrt");
        else if (rc != SQLITE_OK)
            why = QString::fromUtf8(sqlite3_errstr(rc));
    }
    if (why.isEmpty())
        return;
    QFile::remove(target);
    QFile::remove(target + QStringLiteral("-journal"));
    throw StoreError(
        QStringLiteral("Die Sicherungskopie %1 kann nicht geschrieben werden: %2.").arg(quoted(target), why));
}

} // namespace store
