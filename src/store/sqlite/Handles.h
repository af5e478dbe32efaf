#pragma once

// Owners of SQLite's handles, for headers that must not see sqlite3.h: the types are SQLite's own, only
// declared here.

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

struct DbCloser
{
    void operator()(sqlite3 *db) const noexcept;
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer
{
    void operator()(sqlite3_stmt *s) const noexcept;
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

} // namespace store
