#pragma once

// What SQLite's own check says of a connection's file: "ok" when it is sound.

#include "Connection.h"
#include "Sqlite.h"
#include "SqliteBackend.h"

#include <QString>

namespace testsupport {

inline QString integrityOf(store::Connection &conn)
{
    QString result;
    sqlite3_exec(
        store::sqliteHandle(conn), "PRAGMA integrity_check",
        [](void *out, int, char **values, char **) {
            *static_cast<QString *>(out) += QString::fromUtf8(values[0]);
            return 0;
        },
        &result, nullptr);
    return result;
}

} // namespace testsupport
