#pragma once

// What the file system says of a database file, asked before SQLite sees it: SQLite would take an empty
// file for an empty database and write one into it, and its own messages cannot tell the user which of the
// many reasons it was.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/types.h>

#include <chrono>

namespace store {

// Every file the store makes holds data of the database, much of it the passwords in a form anyone can
// turn back: owner and group get what the umask leaves them, other users of the machine nothing, whatever
// the umask allows.
constexpr mode_t kPrivateMode = 0660;

// Which file a path names: the same device and inode stay the same file, whatever its name.
struct FileId
{
    bool valid = false;
    quint64 device = 0;
    quint64 inode = 0;
};

FileId fileIdOf(const QByteArray &nativePath);
// Whether the path still names the file that was opened as `opened`.
bool isSameFile(const QByteArray &nativePath, const FileId &opened);

// How long after a look the path is taken to name the same file still: looking costs a system call, which
// would be a good part of each of the thousands of small queries that build the group tree.
constexpr std::chrono::milliseconds kFileRecheck{50};

// Refuses, with a German StoreError, a path that names no file, a folder, a file this process may not
// read, or an empty one.
void checkBeforeOpening(const QString &path, const QByteArray &nativePath);

// For a file whose schema SQLite cannot read with the key: says whether it is a plain SQLite database or
// the password is wrong (or it is no database at all).
[[noreturn]] void refuseNotADatabase(const QString &path);

// Makes the file, empty, with kPrivateMode less the umask, and refuses a path where one exists already or
// cannot be made.
void claimNewFile(const QString &path, const QByteArray &nativePath);

// Raises the German StoreError for a new file (`what`: "Die Datei", "Die Sicherungskopie") that open()
// could not make with the error number `err`: a file there already, a folder there, no such folder, no
// right to write in it. The message says the file cannot be `verb` ("angelegt", "geschrieben").
[[noreturn]] void refuseNewFile(const QString &path, int err, const QString &what,
                                const QString &verb = QStringLiteral("angelegt"));

// Why this process may not write in the folder; 0 when it may.
int folderWriteError(const QString &folder);

} // namespace store
