#pragma once

// The one place the SQLCipher header is included: sqlite3_key() is declared only with SQLITE_HAS_CODEC.
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlite3.h>

#include "Backend.h"
#include "Handles.h"

#include <QString>
#include <QVariant>

namespace store {

namespace Collation {
// Registers the store's collation (Collation.h) on a connection; returns the SQLite result code.
int registerOn(sqlite3 *db);
} // namespace Collation

// Resets a statement on scope exit, so a cached statement never holds a read lock after use.
class StmtReset
{
public:
    explicit StmtReset(sqlite3_stmt *s) : m_stmt(s) {}
    ~StmtReset()
    {
        if (!m_stmt)
            return;
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    StmtReset(const StmtReset &) = delete;
    StmtReset &operator=(const StmtReset &) = delete;

private:
    sqlite3_stmt *m_stmt;
};

// Binds one value; text goes in with its length, so the character 0 survives.
int bindValue(sqlite3_stmt *stmt, int index, const QVariant &value);

} // namespace store
