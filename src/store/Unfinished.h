#pragma once

#include <QString>

namespace store {

// A file this process is making and has not finished (an export, a backup, a new database being filled).
// While the object lives, removeUnfinishedFiles() takes the file and its journal away, so that a program
// stopped by Ctrl+C or a termination leaves no half file under the name: one would be taken for the real
// thing, and a second try refused because the name is taken. Register only a file this process has just
// made itself, never one that was there before.
class UnfinishedFile
{
public:
    explicit UnfinishedFile(const QString &path);
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile &) = delete;
    UnfinishedFile &operator=(const UnfinishedFile &) = delete;

private:
    int m_slot = -1;
};

// Removes every unfinished file; safe to call from a signal handler. How many there were.
int removeUnfinishedFiles() noexcept;

} // namespace store
