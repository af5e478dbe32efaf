#include "Backup.h"

#include "Backend.h"
#include "Connection.h"
#include "ConnectionString.h"
#include "Plumbing.h"
#include "StoreError.h"

namespace store {

void refuseBackupOnServer(const Connection &source)
{
    if (!source.isConnected())
        return;
    if (const QString why = source.plumbing().backend().backupRefusal(); !why.isEmpty())
        throw StoreError(why);
}

void backup(Connection &source, const QString &target)
{
    source.ensureConnected();
    refuseBackupOnServer(source);
    source.plumbing().backend().backupTo(target, ConnectionString::parse(source.connectionString()).password);
}

void backupBeforeChanging(Connection &locked, const QString &target)
{
    refuseBackupOnServer(locked);
    Connection reader;
    reader.setConnectionString(locked.connectionString());
    reader.connect();
    backup(reader, target);
}

} // namespace store
