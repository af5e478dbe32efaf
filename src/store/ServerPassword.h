#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace store {

// Asks the user for a database server's password where libpq has none (no line in ~/.pgpass, no
// PGPASSWORD): returns what was typed, or nothing when the user cancelled. The store asks through here
// and keeps the answer only in memory, for the session's reconnects. Until the user interface installs a
// prompt, nobody is asked and the server's refusal stands.
using PasswordPrompt = std::function<std::optional<QString>(const QString &server)>;

void setServerPasswordPrompt(PasswordPrompt prompt);
std::optional<QString> askServerPassword(const QString &server);
bool hasServerPasswordPrompt();

// What the user typed for a server (by the URI libpq gets), kept for the process's life: a command or the
// program makes several connections to one server and asks once. A password the server refuses is
// forgotten again.
void rememberServerPassword(const QString &uri, const QString &password);
QString rememberedServerPassword(const QString &uri);
void forgetServerPassword(const QString &uri);

// Overwrites a text that held a password before its memory goes back. Copies held elsewhere are their
// holders' to wipe: the last one to wipe overwrites the shared memory.
void wipePasswordText(QString &text) noexcept;

} // namespace store
