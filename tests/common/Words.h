#pragma once

// Lists of texts written as literals, for the suites' tables and expectations: QStringList{"a", "b"} does
// not compile where text never comes from bytes by accident.

#include <QStringList>

#include <initializer_list>

namespace testsupport {

inline QStringList words(std::initializer_list<const char *> utf8)
{
    QStringList out;
    for (const char *word : utf8)
        out << QString::fromUtf8(word);
    return out;
}

} // namespace testsupport
