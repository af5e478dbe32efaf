#pragma once

#include <QString>

namespace store {

class Connection;

// Copies the database of a connection into a new file with SQLite's online backup: it reads under a shared
// lock taken page run by page run, so other programs (the window that has the file open among them) keep
// working, and a write of theirs meanwhile makes it start over. The copy is keyed with the source's
// database password, so it opens as the file itself does.
//
// Never overwrites: a target that exists already is refused before anything is written, and a backup that
// fails leaves no target behind. The copy has the file's mode without the rights of other users. Throws
// StoreError with a German message; a database on a server is refused (its own tools back it up).
void backup(Connection &source, const QString &target);

// The same, of a database this connection holds the write lock of, before it changes anything: the lock
// lets other connections read, so a second connection copies the database as it is under the lock.
void backupBeforeChanging(Connection &locked, const QString &target);

// Throws backup's refusal for a database on a server, before anything that would need a backup is asked.
void refuseBackupOnServer(const Connection &source);

} // namespace store
