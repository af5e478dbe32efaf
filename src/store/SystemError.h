#pragma once

#include <QString>

namespace store {

// What the operating system's error number says went wrong with a file or folder, in German words fit to
// follow a colon ("keine Berechtigung"). The system's own English text appears only for numbers without
// German words, in brackets.
QString systemReason(int errorNumber);

// The folder that holds a file, as an absolute path.
QString folderOf(const QString &file);

} // namespace store
