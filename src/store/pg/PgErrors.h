#pragma once

// The server driver's words: its failures in German, by the server's codes, and how it names a server.

#include "Pg.h"

#include <QString>

namespace store::pg {

QString notStored();
// The connection is gone; the next step makes it again.
QString lost(const Failure &f);
// A text of libpq or the server on one line, after the German sentence it explains.
QString oneLine(const QString &text);
// Why libpq cannot read a URI, in German; empty when it can. A parameter libpq does not know is named.
QString unreadable(const QString &uri, const QString &server);
// The server wants a password and libpq found none, and nobody could be asked for one.
QString noPasswordFound(const Failure &f);
// No server answered; where TLS is to check the server, its certificate may be why.
QString unreachable(const QString &uri, const Failure &f);
// How the password prompt names the server: database, host and port as libpq uses them for this
// connection, and whether TLS keeps the password from a server that only pretends to be this one.
QString promptName(PGconn *conn);

} // namespace store::pg
