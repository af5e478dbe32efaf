#pragma once

// What every command of sicherheit-db shares: its output streams, its answers to mistakes, and the reading
// of its arguments.

#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace store {
class Connection;
} // namespace store

namespace cli {

QTextStream &out();
QTextStream &err();
// Bytes to standard output as they are (an export, the journal as CSV or JSON). Throws StoreError when
// they do not all arrive.
void writeRaw(QByteArrayView bytes);
// Why standard output lost something, as a sentence; empty while everything arrived.
QString outputFailure();

// "1 Zeile", "2 Zeilen".
QString rows(qint64 count);

// The problem of these three stands after "sicherheit-db: " as a sentence of its own, begun with a capital.
// A wrong option or a missing argument: one line naming it and where help is; exit code 2.
int mistake(const QString &problem);
// A value the tool will not take, with the reason only: exit code 2.
int refuse(const QString &problem);
// A failure of the command itself (a user or function not found): exit code 1.
int fail(const QString &problem);

bool isHelp(const QString &arg);

// On a terminal, a database server's password that libpq does not find is asked for there, without
// showing what is typed; elsewhere (a script, a pipe) nobody is asked and the server's refusal stands.
void askPasswordsOnTerminal();

// A column of a plain-text table: cut or filled to its width.
QString cell(const QString &text, int width);

// The arguments after a command: the plain ones in order, options with a value ("--out PATH") and flags
// ("--below"). Each option at most once.
struct Arguments
{
    QStringList plain;
    QHash<QString, QString> options;
    QSet<QString> flags;
};

// What a command takes: its synopsis for the mistake's line, options with a value and flags (names
// without "--"), and how many plain arguments it needs.
struct Usage
{
    QString synopsis;
    QStringList options;
    QStringList flags;
    int plain = 1;
};

// Reads `args` against the usage; when they do not fit, prints the mistake and returns nothing.
std::optional<Arguments> parse(const QStringList &args, const Usage &usage);

// A file by its whole path; a server's URI as given (it never holds a password).
QString shownTarget(const QString &target);

// Connects to an existing security database file. Throws StoreError.
void openOn(store::Connection &db, const QString &file);
// For a command that changes the database: every change it makes goes into the database's journal, as
// made by this account with "sicherheit-db COMMAND".
void keepJournal(store::Connection &db, const QString &command);

} // namespace cli
