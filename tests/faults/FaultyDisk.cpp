#include "FaultyDisk.h"

#include "Sqlite.h"

#include <cerrno>
#include <climits>

namespace faultydisk {

namespace {

sqlite3_vfs *g_real = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;
int g_calls = 0;
int g_failFrom = 0; // 0: the disk is healthy
int g_failTo = 0;   // the last call to fail
Fault g_fault = Fault::IoError;
int g_errno = 0; // what the layer reports as the system's error while it fails

// Our part of an open file; SQLite's own file follows it in the same allocation.
struct File
{
    sqlite3_file base;
    bool watched;
};

sqlite3_file *real(sqlite3_file *f)
{
    return reinterpret_cast<sqlite3_file *>(reinterpret_cast<File *>(f) + 1);
}

// Counts a call on a watched file; true when it is to fail.
bool failing(sqlite3_file *f)
{
    if (!reinterpret_cast<File *>(f)->watched)
        return false;
    ++g_calls;
    if (g_failFrom == 0 || g_calls < g_failFrom || g_calls > g_failTo)
        return false;
    g_errno = g_fault == Fault::DiskFull ? ENOSPC : EIO;
    return true;
}

int xClose(sqlite3_file *f)
{
    sqlite3_file *r = real(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    f->pMethods = nullptr;
    return rc;
}

// Hands a call on to SQLite's own file: the method is named by its member, its type deduced from it.
template <auto Method> struct Forward;
template <typename R, typename... A, R (*sqlite3_io_methods::*Method)(sqlite3_file *, A...)>
struct Forward<Method>
{
    static R call(sqlite3_file *f, A... a) { return (real(f)->pMethods->*Method)(real(f), a...); }
};

// A write, sync or truncate: forwarded while the disk works.
template <auto Method, int IoError> struct Faulty;
template <typename... A, int (*sqlite3_io_methods::*Method)(sqlite3_file *, A...), int IoError>
struct Faulty<Method, IoError>
{
    static int call(sqlite3_file *f, A... a)
    {
        if (!failing(f))
            return Forward<Method>::call(f, a...);
        return g_fault == Fault::DiskFull && IoError == SQLITE_IOERR_WRITE ? SQLITE_FULL : IoError;
    }
};

int xOpen(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
{
    auto *file = reinterpret_cast<File *>(f);
    file->watched = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) != 0;
    f->pMethods = nullptr;
    const int rc = g_real->xOpen(g_real, name, real(f), flags, outFlags);
    if (real(f)->pMethods) {
        // Only as much of the interface as SQLite's own file offers.
        g_methods.iVersion = real(f)->pMethods->iVersion;
        f->pMethods = &g_methods;
    }
    return rc;
}

int xGetLastError(sqlite3_vfs *, int size, char *out)
{
    if (g_failFrom != 0 && g_calls >= g_failFrom)
        return g_errno; // also after a single failure: SQLite asks when it reports it
    return g_real->xGetLastError(g_real, size, out);
}

} // namespace

void install()
{
    if (g_real)
        return;
    g_real = sqlite3_vfs_find(nullptr);
    g_vfs = *g_real;
    g_vfs.zName = "faultydisk";
    g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
    g_vfs.pNext = nullptr;
    g_vfs.xOpen = xOpen;
    g_vfs.xGetLastError = xGetLastError;
    // Everything else (delete, access, full path names, randomness, time) is SQLite's own, called with our
    // vfs object: the unix layer's functions do not look at it beyond its app data, which is copied.
    using M = sqlite3_io_methods;
    g_methods = M{3,
                  xClose,
                  Forward<&M::xRead>::call,
                  Faulty<&M::xWrite, SQLITE_IOERR_WRITE>::call,
                  Faulty<&M::xTruncate, SQLITE_IOERR_TRUNCATE>::call,
                  Faulty<&M::xSync, SQLITE_IOERR_FSYNC>::call,
                  Forward<&M::xFileSize>::call,
                  Forward<&M::xLock>::call,
                  Forward<&M::xUnlock>::call,
                  Forward<&M::xCheckReservedLock>::call,
                  Forward<&M::xFileControl>::call,
                  Forward<&M::xSectorSize>::call,
                  Forward<&M::xDeviceCharacteristics>::call,
                  Forward<&M::xShmMap>::call,
                  Forward<&M::xShmLock>::call,
                  Forward<&M::xShmBarrier>::call,
                  Forward<&M::xShmUnmap>::call,
                  Forward<&M::xFetch>::call,
                  Forward<&M::xUnfetch>::call};
    sqlite3_vfs_register(&g_vfs, 1);
}

void startCounting()
{
    g_calls = 0;
    g_failFrom = 0;
}

int calls()
{
    return g_calls;
}

void failAt(int n, Fault fault, bool persisting)
{
    g_failFrom = g_calls + n;
    g_failTo = persisting ? INT_MAX : g_failFrom;
    g_fault = fault;
}

void heal()
{
    g_failFrom = 0;
}

} // namespace faultydisk
