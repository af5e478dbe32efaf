// Opening, making and copying a database file: what the file must be before the store uses it.

#include "SqliteBackend.h"

#include "Collation.h"
#include "Quoted.h"
#include "SqliteErrors.h"
#include "StoreError.h"
#include "SystemError.h"
#include "Unfinished.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

StoreError cannotOpen(const QString &path, sqlite3 *db, int rc)
{
    // A file there that cannot be opened for want of files beside it (a file in WAL mode needs two): the
    // folder that refuses them is the cause, not the file.
    if (primaryCode(rc) == SQLITE_CANTOPEN && QFileInfo(path).isFile())
        if (const int folderErr = folderWriteError(folderOf(path)))
            return StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: im Ordner %2 "
                                             "kann nicht geschrieben werden (%3), und die Datei braucht dort "
                                             "Dateien neben sich.")
                                  .arg(quoted(path), quoted(folderOf(path)), systemReason(folderErr)));
    const int err = db ? sqlite3_system_errno(db) : 0;
    return StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: %2.")
                          .arg(quoted(path), openFailureReason(err, rc, sqliteText(db, rc))));
}

DbPtr openKeyed(const QString &path, const QByteArray &nativePath, const QString &password)
{
    // A connection is used by the thread that opened it only; without its own lock every call into SQLite
    // is cheaper, which the thousands of small statements of the group tree feel.
    sqlite3 *raw = nullptr;
    int rc =
        sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        throw cannotOpen(path, raw, rc);
    // The detail tells a file moved away (SQLITE_READONLY_DBMOVED) from one that is write-protected.
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    // Reading the schema proves the key: a wrong one fails here and not at some later read.
    rc = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (primaryCode(rc) == SQLITE_NOTADB)
        refuseNotADatabase(path);
    if (primaryCode(rc) == SQLITE_BUSY || primaryCode(rc) == SQLITE_LOCKED)
        throw StoreError(lockedMessage(path));
    if (rc != SQLITE_OK)
        throw cannotOpen(path, raw, rc);
    return db;
}

QByteArray pragmaText(sqlite3 *db, const char *sql, int *rcOut)
{
    sqlite3_stmt *s = nullptr;
    QByteArray value;
    int step = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    StmtPtr guard(s);
    if (step == SQLITE_OK && (step = sqlite3_step(s)) == SQLITE_ROW)
        value = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))).toLower();
    *rcOut = step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
    return value;
}

// Several programs, also on other machines, share the file: a rollback journal works across a network share
// where WAL's shared memory does not, and a full sync makes each acknowledged write survive. Either setting
// refused would break that promise silently, so the file is not used without them.
void requireSharedDurableWrites(sqlite3 *db, const QString &path)
{
    int rc = SQLITE_OK;
    QByteArray journal = pragmaText(db, "PRAGMA journal_mode", &rc);
    if (rc == SQLITE_OK && journal == "wal")
        journal = pragmaText(db, "PRAGMA journal_mode=DELETE", &rc);
    // Another program holding the file in WAL mode keeps it there for as long as it has it open.
    if (primaryCode(rc) == SQLITE_BUSY || primaryCode(rc) == SQLITE_LOCKED)
        throw StoreError(lockedMessage(path));
    if (rc != SQLITE_OK || journal == "wal")
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: ihr Journal lässt "
                           "sich nicht auf gemeinsamen Zugriff umstellen (%2).")
                .arg(quoted(path), rc != SQLITE_OK ? sqliteText(db, rc) : QStringLiteral("WAL")));
    rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    const QByteArray synchronous = rc == SQLITE_OK ? pragmaText(db, "PRAGMA synchronous", &rc) : "";
    if (rc != SQLITE_OK || synchronous != "2")
        throw StoreError(
            QStringLiteral("Die Datenbankdatei %1 kann nicht geöffnet werden: sicheres Schreiben "
                           "lässt sich nicht einschalten (%2).")
                .arg(quoted(path), rc != SQLITE_OK ? sqliteText(db, rc) : QString::fromLatin1(synchronous)));
}

// Waited for between the steps of a backup that another program's lock holds up, and how often: a lock held
// for longer than that is reported like every other lock the store waits for in vain.
constexpr int kRetryMs = 50;
constexpr int kRetries = 200;
// Pages copied per step: small enough that a writer never waits long for its lock.
constexpr int kPagesPerStep = 256;
// Another program's commit starts a backup over. One started over this often copies what is left in one
// step, holding writers off for that long, so that it ends while others keep saving.
constexpr int kRestartsBeforeWhole = 3;

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
    return primaryCode(rc) == SQLITE_BUSY || primaryCode(rc) == SQLITE_LOCKED;
}

// Runs the backup into an open, keyed target; returns SQLite's result.
int copyInto(sqlite3 *source, sqlite3 *target)
{
    sqlite3_backup *job = sqlite3_backup_init(target, "main", source, "main");
    if (!job)
        return sqlite3_errcode(target);
    int rc = SQLITE_OK;
    int restarts = 0;
    int remaining = -1;
    for (int waited = 0;;) {
        rc = sqlite3_backup_step(job, restarts < kRestartsBeforeWhole ? kPagesPerStep : -1);
        if (rc == SQLITE_OK) {
            waited = 0;
            const int left = sqlite3_backup_remaining(job);
            restarts += remaining >= 0 && left > remaining ? 1 : 0;
            remaining = left;
        } else if (isLocked(rc) && ++waited < kRetries)
            sqlite3_sleep(kRetryMs);
        else
            break;
    }
    const int finished = sqlite3_backup_finish(job);
    return rc == SQLITE_DONE ? finished : rc;
}

} // namespace

SqliteBackend::SqliteBackend(const QString &path, const QString &password)
    : m_file(path), m_nativePath(QFile::encodeName(path))
{
    checkBeforeOpening(path, m_nativePath);
    DbPtr db = openKeyed(path, m_nativePath, password);
    // The file SQLite holds open must be the one the path names now; it is compared again before every
    // read and write, so that a file deleted or replaced meanwhile is neither read nor written.
    m_id = fileIdOf(m_nativePath);
    int moved = 0;
    sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
    if (!m_id.valid || moved)
        throw StoreError(movedMessage(path));
    requireSharedDurableWrites(db.get(), path);
    Collation::registerOn(db.get());
    m_fileChecked = std::chrono::steady_clock::now();
    m_db = std::move(db);
}

void SqliteBackend::createFile(const QString &path, const QString &password, const QStringList &statements)
{
    const QByteArray nativePath = QFile::encodeName(path);
    claimNewFile(path, nativePath);
    const UnfinishedFile unfinished(path);
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr db(raw);
    // Closed before the file goes, and nothing of it is left behind.
    auto fail = [&](int failed) {
        // A full disk often leaves no error number behind.
        const int err = primaryCode(failed) == SQLITE_FULL ? ENOSPC : raw ? sqlite3_system_errno(raw) : 0;
        const QString why = openFailureReason(err, failed, sqliteText(raw, failed));
        db.reset();
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw StoreError(
            QStringLiteral("Die Datenbank %1 kann nicht angelegt werden: %2.").arg(quoted(path), why));
    };
    if (rc != SQLITE_OK)
        fail(rc);
    sqlite3_extended_result_codes(raw, 1);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    QString script = QStringLiteral("BEGIN;");
    for (const QString &s : statements)
        script += s + u';';
    script += QStringLiteral("COMMIT;");
    const int done = sqlite3_exec(raw, script.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (done != SQLITE_OK)
        fail(done);
}

void SqliteBackend::backupTo(const QString &target, const QString &password)
{
    struct stat original
    {
    };
    const mode_t mode = ::stat(m_nativePath.constData(), &original) == 0 ? original.st_mode & 07777 : 0600;
    claim(target, mode);
    const UnfinishedFile unfinished(target);
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
            rc = copyInto(m_db.get(), raw);
        if (isLocked(rc))
            why = QStringLiteral("die Datei ist von einem anderen Programm gesperrt");
        else if (rc != SQLITE_OK)
            why = openFailureReason(raw ? sqlite3_system_errno(raw) : 0, rc, sqliteText(raw, rc));
    }
    if (why.isEmpty())
        return;
    QFile::remove(target);
    QFile::remove(target + QStringLiteral("-journal"));
    throw StoreError(
        QStringLiteral("Die Sicherungskopie %1 kann nicht geschrieben werden: %2.").arg(quoted(target), why));
}

} // namespace store
