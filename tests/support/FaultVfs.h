#pragma once
// A SQLite VFS that wraps the system's default one and fails chosen file operations, the way
// SQLite's own I/O-error tests do: the k-th write, sync or file deletion after arm() fails, either
// once or from then on. A test names it through OpenOptions::vfs; the fault plan lives in this
// object, which registers the VFS while it exists.
#include <sqlite3.h>

#include <functional>
#include <string>

class FaultVfs {
public:
    enum class Kind { Write, Sync, Delete };

    explicit FaultVfs(const char* name = "zinteva-fault");
    ~FaultVfs();
    FaultVfs(const FaultVfs&) = delete;
    FaultVfs& operator=(const FaultVfs&) = delete;

    const char* name() const { return name_.c_str(); }

    // From now on, count operations of this kind; the k-th (1-based) fails with errorCode, and so
    // does every later one when persistent. errorCode 0 picks the matching SQLITE_IOERR_*.
    void arm(Kind kind, int k, bool persistent, int errorCode = 0);
    // Instead of a failure: the k-th operation of this kind runs `act` first (a test sends a signal
    // in the middle of a write) and then goes through.
    void armAction(Kind kind, int k, std::function<void()> act);
    void disarm();
    int seen() const { return seen_; }         // operations of the armed kind since arm()
    int injected() const { return injected_; } // of them, how many were made to fail

    static const char* kindName(Kind kind);

    struct File; // the wrapper SQLite sees; the real VFS's file follows it in the same allocation

private:
    static int xOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags);
    static int xDelete(sqlite3_vfs* vfs, const char* name, int syncDir);
    static int xAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result);
    static int xFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out);
    static int xRandomness(sqlite3_vfs* vfs, int size, char* out);
    static int xSleep(sqlite3_vfs* vfs, int microseconds);
    static int xCurrentTime(sqlite3_vfs* vfs, double* now);
    static int xGetLastError(sqlite3_vfs* vfs, int size, char* out);
    static int xCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now);

    static int fClose(sqlite3_file* file);
    static int fRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset);
    static int fWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset);
    static int fTruncate(sqlite3_file* file, sqlite3_int64 size);
    static int fSync(sqlite3_file* file, int flags);
    static int fFileSize(sqlite3_file* file, sqlite3_int64* size);
    static int fLock(sqlite3_file* file, int level);
    static int fUnlock(sqlite3_file* file, int level);
    static int fCheckReservedLock(sqlite3_file* file, int* result);
    static int fFileControl(sqlite3_file* file, int op, void* arg);
    static int fSectorSize(sqlite3_file* file);
    static int fDeviceCharacteristics(sqlite3_file* file);
    static int fShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out);
    static int fShmLock(sqlite3_file* file, int offset, int n, int flags);
    static void fShmBarrier(sqlite3_file* file);
    static int fShmUnmap(sqlite3_file* file, int deleteFlag);
    static int fFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out);
    static int fUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page);

    static FaultVfs& of(sqlite3_vfs* vfs) { return *static_cast<FaultVfs*>(vfs->pAppData); }
    static sqlite3_vfs* real(sqlite3_vfs* vfs) { return of(vfs).real_; }
    // True when this operation of this kind is to fail.
    bool strike(Kind kind);

    std::string name_;
    sqlite3_vfs* real_;
    sqlite3_vfs vfs_{};
    sqlite3_io_methods methods_{};

    bool armed_ = false;
    Kind kind_ = Kind::Write;
    int failAt_ = 0;
    bool persistent_ = false;
    int errorCode_ = 0;
    int seen_ = 0;
    int injected_ = 0;
    std::function<void()> act_;
};
