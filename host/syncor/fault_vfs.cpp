// A SQLite file layer over the default one that consults the fault plan before each call
// that changes a file: an injected errno becomes the SQLite error a real failure gives
// (SQLITE_FULL for a full disk, an I/O error otherwise), an abort kills the process there.
#include "host/syncor/fault_vfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include "platform/fault_plan.h"

namespace syncor {
namespace {

sqlite3_vfs* g_pReal = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;
int g_lastInjected = 0;

// Our file: the real layer's file follows it in the same block.
struct FaultFile {
    sqlite3_file base;
};

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + sizeof(FaultFile));
}

int Injected(platform::FileCall call, int ioError) {
    const int32_t e = platform::FileCallFault(call);
    if (e == 0)
        return SQLITE_OK;
    g_lastInjected = e;
    return e == ENOSPC || e == EDQUOT ? SQLITE_FULL : ioError;
}

int Close(sqlite3_file* f) {
    return Real(f)->pMethods->xClose(Real(f));
}
int Read(sqlite3_file* f, void* p, int n, sqlite3_int64 o) {
    return Real(f)->pMethods->xRead(Real(f), p, n, o);
}
int Write(sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
    if (int rc = Injected(platform::FileCall::Write, SQLITE_IOERR_WRITE))
        return rc;
    return Real(f)->pMethods->xWrite(Real(f), p, n, o);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    if (int rc = Injected(platform::FileCall::Write, SQLITE_IOERR_TRUNCATE))
        return rc;
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
    if (int rc = Injected(platform::FileCall::Fsync, SQLITE_IOERR_FSYNC))
        return rc;
    return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xUnlock(Real(f), level);
}
int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) {
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** p) {
    return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, p);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
    Real(f)->pMethods->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** pp) {
    return Real(f)->pMethods->xFetch(Real(f), o, n, pp);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) {
    return Real(f)->pMethods->xUnfetch(Real(f), o, p);
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    std::memset(file, 0, sizeof(FaultFile));
    int rc = g_pReal->xOpen(g_pReal, name, Real(file), flags, outFlags);
    // Without methods the real file is not open and SQLite will not close ours either.
    if (Real(file)->pMethods != nullptr)
        file->pMethods = &g_methods;
    return rc;
}
int Delete(sqlite3_vfs*, const char* name, int syncDir) {
    if (int rc = Injected(platform::FileCall::Unlink, SQLITE_IOERR_DELETE))
        return rc;
    return g_pReal->xDelete(g_pReal, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
    return g_pReal->xAccess(g_pReal, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return g_pReal->xFullPathname(g_pReal, name, size, out);
}

}  // namespace

int LastInjectedErrno() {
    return g_lastInjected;
}

void InstallFaultVfsIfPlanned() {
    if (!platform::FaultPlanActive() || g_pReal != nullptr)
        return;
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    if (real == nullptr)
        return;
    g_pReal = real;
    // Everything not listed (randomness, time, sleeping, dynamic loading) is the real
    // layer's own.
    g_vfs = *real;
    g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + real->szOsFile;
    g_vfs.zName = "tether-fault";
    g_vfs.pNext = nullptr;
    g_vfs.xOpen = Open;
    g_vfs.xDelete = Delete;
    g_vfs.xAccess = Access;
    g_vfs.xFullPathname = FullPathname;
    g_methods = sqlite3_io_methods{3,
                                   Close,
                                   Read,
                                   Write,
                                   Truncate,
                                   Sync,
                                   FileSize,
                                   Lock,
                                   Unlock,
                                   CheckReservedLock,
                                   FileControl,
                                   SectorSize,
                                   DeviceCharacteristics,
                                   ShmMap,
                                   ShmLock,
                                   ShmBarrier,
                                   ShmUnmap,
                                   Fetch,
                                   Unfetch};
    (void)sqlite3_vfs_register(&g_vfs, 1);  // a refused layer leaves the real one in use
}

}  // namespace syncor
