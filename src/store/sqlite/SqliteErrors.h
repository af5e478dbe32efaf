#pragma once

// SQLite's failures in the German words the user reads. Only the session gathers the facts; the words
// depend on nothing else, so that every message can be checked without a failing disk.

#include "Backend.h"

#include <QString>

struct sqlite3;

namespace store {

// What is known of one failed SQLite call on an open database file.
struct SqliteFailure
{
    int rc = 0;             // SQLite's extended result code
    int systemErrno = 0;    // the system's error behind it, 0 when there was none
    QString file;           // as the user named it
    bool writing = false;   // the call was to store a change
    QString sqliteMessage;  // SQLite's own words
    bool fileMoved = false; // the path names another file than the one open, or none
    QString folder;         // the file's folder
    int folderErrno = 0;    // why the folder cannot be written to; 0 when it can
};

struct FailureText
{
    QString message;
    bool fileGone = false; // the message says the file was moved: every read has to look again
};

FailureText describeFailure(const SqliteFailure &failure);

// SQLite's own words for the connection's last error, or for the code where there is no connection.
QString sqliteText(sqlite3 *db, int rc);
// SQLite's primary result code, without the detail that extended result codes add.
int primaryCode(int rc);

QString lockedMessage(const QString &file);
// Why a file cannot be opened, made or copied, in German words fit to follow a colon; SQLite's own words
// follow in brackets.
QString openFailureReason(int systemErrno, int rc, const QString &sqliteMessage);

} // namespace store
