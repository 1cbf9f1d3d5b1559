#include "support/FaultVfs.h"

#include <cstring>
#include <stdexcept>
#include <utility>

// The wrapper file: our methods first, then the real VFS's file right behind it.
struct FaultVfs::File {
    sqlite3_file base;
    FaultVfs* owner;
    sqlite3_file* real;
};

namespace {
sqlite3_file* realOf(sqlite3_file* file) {
    return reinterpret_cast<FaultVfs::File*>(file)->real;
}
} // namespace

FaultVfs::FaultVfs(const char* name) : name_(name), real_(sqlite3_vfs_find(nullptr)) {
    if (!real_)
        throw std::runtime_error("no default SQLite VFS");
    vfs_.iVersion = 2;
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
    vfs_.mxPathname = real_->mxPathname;
    vfs_.zName = name_.c_str();
    vfs_.pAppData = this;
    vfs_.xOpen = &FaultVfs::xOpen;
    vfs_.xDelete = &FaultVfs::xDelete;
    vfs_.xAccess = &FaultVfs::xAccess;
    vfs_.xFullPathname = &FaultVfs::xFullPathname;
    // Loading extensions is never needed by the program.
    vfs_.xDlOpen = nullptr;
    vfs_.xDlError = nullptr;
    vfs_.xDlSym = nullptr;
    vfs_.xDlClose = nullptr;
    vfs_.xRandomness = &FaultVfs::xRandomness;
    vfs_.xSleep = &FaultVfs::xSleep;
    vfs_.xCurrentTime = &FaultVfs::xCurrentTime;
    vfs_.xGetLastError = &FaultVfs::xGetLastError;
    vfs_.xCurrentTimeInt64 = &FaultVfs::xCurrentTimeInt64;

    methods_.iVersion = 3;
    methods_.xClose = &FaultVfs::fClose;
    methods_.xRead = &FaultVfs::fRead;
    methods_.xWrite = &FaultVfs::fWrite;
    methods_.xTruncate = &FaultVfs::fTruncate;
    methods_.xSync = &FaultVfs::fSync;
    methods_.xFileSize = &FaultVfs::fFileSize;
    methods_.xLock = &FaultVfs::fLock;
    methods_.xUnlock = &FaultVfs::fUnlock;
    methods_.xCheckReservedLock = &FaultVfs::fCheckReservedLock;
    methods_.xFileControl = &FaultVfs::fFileControl;
    methods_.xSectorSize = &FaultVfs::fSectorSize;
    methods_.xDeviceCharacteristics = &FaultVfs::fDeviceCharacteristics;
    methods_.xShmMap = &FaultVfs::fShmMap;
    methods_.xShmLock = &FaultVfs::fShmLock;
    methods_.xShmBarrier = &FaultVfs::fShmBarrier;
    methods_.xShmUnmap = &FaultVfs::fShmUnmap;
    methods_.xFetch = &FaultVfs::fFetch;
    methods_.xUnfetch = &FaultVfs::fUnfetch;

    if (sqlite3_vfs_register(&vfs_, 0) != SQLITE_OK)
        throw std::runtime_error("cannot register the fault VFS");
}

FaultVfs::~FaultVfs() {
    sqlite3_vfs_unregister(&vfs_);
}

void FaultVfs::arm(Kind kind, int k, bool persistent, int errorCode) {
    armed_ = true;
    kind_ = kind;
    failAt_ = k;
    persistent_ = persistent;
    if (errorCode == 0)
        errorCode = kind == Kind::Write  ? SQLITE_IOERR_WRITE
                    : kind == Kind::Sync ? SQLITE_IOERR_FSYNC
                                         : SQLITE_IOERR_DELETE;
    errorCode_ = errorCode;
    seen_ = 0;
    injected_ = 0;
    act_ = nullptr;
}

void FaultVfs::armAction(Kind kind, int k, std::function<void()> act) {
    arm(kind, k, false);
    act_ = std::move(act);
}

void FaultVfs::disarm() {
    armed_ = false;
}

const char* FaultVfs::kindName(Kind kind) {
    switch (kind) {
    case Kind::Write:
        return "write";
    case Kind::Sync:
        return "sync";
    case Kind::Delete:
        return "delete";
    }
    return "?";
}

bool FaultVfs::strike(Kind kind) {
    if (!armed_ || kind != kind_)
        return false;
    ++seen_;
    if (act_) {
        if (seen_ == failAt_)
            std::exchange(act_, nullptr)();
        return false;
    }
    if (seen_ == failAt_ || (persistent_ && seen_ > failAt_)) {
        ++injected_;
        return true;
    }
    return false;
}

int FaultVfs::xOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<File*>(file);
    wrapper->owner = &of(vfs);
    wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    std::memset(wrapper->real, 0, static_cast<size_t>(real(vfs)->szOsFile));
    const int rc = real(vfs)->xOpen(real(vfs), name, wrapper->real, flags, outFlags);
    // SQLite calls xClose whenever pMethods is set, even after a failed open.
    wrapper->base.pMethods = wrapper->real->pMethods ? &of(vfs).methods_ : nullptr;
    return rc;
}

int FaultVfs::xDelete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    if (of(vfs).strike(Kind::Delete))
        return of(vfs).errorCode_;
    return real(vfs)->xDelete(real(vfs), name, syncDir);
}

int FaultVfs::xAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    return real(vfs)->xAccess(real(vfs), name, flags, result);
}
int FaultVfs::xFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return real(vfs)->xFullPathname(real(vfs), name, size, out);
}
int FaultVfs::xRandomness(sqlite3_vfs* vfs, int size, char* out) {
    return real(vfs)->xRandomness(real(vfs), size, out);
}
int FaultVfs::xSleep(sqlite3_vfs* vfs, int microseconds) {
    return real(vfs)->xSleep(real(vfs), microseconds);
}
int FaultVfs::xCurrentTime(sqlite3_vfs* vfs, double* now) {
    return real(vfs)->xCurrentTime(real(vfs), now);
}
int FaultVfs::xGetLastError(sqlite3_vfs* vfs, int size, char* out) {
    return real(vfs)->xGetLastError(real(vfs), size, out);
}
int FaultVfs::xCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    if (real(vfs)->iVersion >= 2 && real(vfs)->xCurrentTimeInt64)
        return real(vfs)->xCurrentTimeInt64(real(vfs), now);
    double days = 0;
    const int rc = real(vfs)->xCurrentTime(real(vfs), &days);
    *now = static_cast<sqlite3_int64>(days * 86400000.0);
    return rc;
}

int FaultVfs::fClose(sqlite3_file* file) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xClose(inner);
}
int FaultVfs::fRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xRead(inner, buffer, amount, offset);
}
int FaultVfs::fWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    FaultVfs& owner = *reinterpret_cast<File*>(file)->owner;
    if (owner.strike(Kind::Write))
        return owner.errorCode_;
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xWrite(inner, buffer, amount, offset);
}
int FaultVfs::fTruncate(sqlite3_file* file, sqlite3_int64 size) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xTruncate(inner, size);
}
int FaultVfs::fSync(sqlite3_file* file, int flags) {
    FaultVfs& owner = *reinterpret_cast<File*>(file)->owner;
    if (owner.strike(Kind::Sync))
        return owner.errorCode_;
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xSync(inner, flags);
}
int FaultVfs::fFileSize(sqlite3_file* file, sqlite3_int64* size) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xFileSize(inner, size);
}
int FaultVfs::fLock(sqlite3_file* file, int level) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xLock(inner, level);
}
int FaultVfs::fUnlock(sqlite3_file* file, int level) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xUnlock(inner, level);
}
int FaultVfs::fCheckReservedLock(sqlite3_file* file, int* result) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xCheckReservedLock(inner, result);
}
int FaultVfs::fFileControl(sqlite3_file* file, int op, void* arg) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xFileControl(inner, op, arg);
}
int FaultVfs::fSectorSize(sqlite3_file* file) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xSectorSize(inner);
}
int FaultVfs::fDeviceCharacteristics(sqlite3_file* file) {
    sqlite3_file* inner = realOf(file);
    return inner->pMethods->xDeviceCharacteristics(inner);
}
int FaultVfs::fShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion < 2 || !inner->pMethods->xShmMap)
        return SQLITE_IOERR_SHMMAP;
    return inner->pMethods->xShmMap(inner, region, size, extend, out);
}
int FaultVfs::fShmLock(sqlite3_file* file, int offset, int n, int flags) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion < 2 || !inner->pMethods->xShmLock)
        return SQLITE_IOERR_SHMLOCK;
    return inner->pMethods->xShmLock(inner, offset, n, flags);
}
void FaultVfs::fShmBarrier(sqlite3_file* file) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion >= 2 && inner->pMethods->xShmBarrier)
        inner->pMethods->xShmBarrier(inner);
}
int FaultVfs::fShmUnmap(sqlite3_file* file, int deleteFlag) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion < 2 || !inner->pMethods->xShmUnmap)
        return SQLITE_OK;
    return inner->pMethods->xShmUnmap(inner, deleteFlag);
}
int FaultVfs::fFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion < 3 || !inner->pMethods->xFetch) {
        *out = nullptr;
        return SQLITE_OK;
    }
    return inner->pMethods->xFetch(inner, offset, amount, out);
}
int FaultVfs::fUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    sqlite3_file* inner = realOf(file);
    if (inner->pMethods->iVersion < 3 || !inner->pMethods->xUnfetch)
        return SQLITE_OK;
    return inner->pMethods->xUnfetch(inner, offset, page);
}
