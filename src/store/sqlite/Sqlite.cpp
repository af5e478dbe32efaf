#include "Sqlite.h"

namespace store {

void DbCloser::operator()(sqlite3 *db) const noexcept
{
    sqlite3_close_v2(db);
}

void StmtFinalizer::operator()(sqlite3_stmt *s) const noexcept
{
    sqlite3_finalize(s);
}

int bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(stmt, index);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, value.toDouble());
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        return sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                                 SQLITE_TRANSIENT);
    }
    }
}

} // namespace store
