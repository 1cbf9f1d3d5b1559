#pragma once
// One lock per data file, taken by everything that writes it: the window for its whole run, and each
// command-line mode (--import, --export, --sync, --remind, ...) for as long as it works on the file.
//
// Usage, for a mode that works on the data file for a while:
//
//     DataFileLock lock(dataFile);
//     if (!lock.lock(DataFileLock::Role::Command, DataFileLock::CommandWait)) {
//         out << lock.errorString();   // a Chinese sentence for the user, naming who holds it
//         return failure;
//     }
//     ... open the Store, work, close it ...   // the lock goes with the object
//
// The lock is a kernel file lock (flock) on a small file, so a process that dies loses it at once and
// nothing stale is left to clear. Three lock files are used, and a holder takes every one it can:
//   - beside the data file, in the folder that really holds it (symlinks resolved): ".tavrel.mdb.lock".
//     Every writer can take it, since SQLite needs that folder writable for its journal anyway; a
//     symlinked folder, a bind mount or another TMPDIR all lead to this same file.
//   - in XDG_RUNTIME_DIR, when that is a folder of this user's own with no access for anybody else:
//     "zinteva-<device>-<inode>.lock", named after the identity of the data file's folder (the data
//     file's own inode changes whenever a restore renames a copy over it, and it may not exist yet).
//     This one also covers a read-only data folder, where the first cannot be made.
//   - in the same runtime folder, "zinteva-file-<device>-<inode>.lock", named after the identity of
//     the data file itself: a hard link in another folder or a file bind-mounted elsewhere is the
//     same file, and so the same lock. After a restore has put a new file in place, followDataFile()
//     takes the lock of the new one too. Without a runtime folder a data file that has more than one
//     name (a hard link) is refused: nothing else could tell that another name is in use.
// Before any of them, the folder, the data file and its backup must be the user's own and writable
// by nobody else (PrivateFiles.h): another user's file is never written.
// A lock file is opened without following a symlink, must be a regular file of this user, and is
// created 0600; other users cannot create, hold or replace it.
//
// The holder writes its role and process id into the lock file, so that a second party can tell a
// running window (which keeps the lock until it closes: waiting is pointless) from a command (which
// is done soon: waiting a little is worth it).
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class DataFileLock {
public:
    enum class Role { Window, Command };
    // How long a command waits for another command, and a window for a command, in milliseconds.
    static constexpr int CommandWait = 5000;

    explicit DataFileLock(const QString& dataFile);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // Takes the lock; a holder that is a command is waited for up to `waitMs`, a window is not. False
    // with errorString() and holder() set when it is held elsewhere or cannot be taken.
    bool lock(Role role, int waitMs);
    void unlock();
    bool isLocked() const { return !held_.empty(); }

    // After a failed lock(): who holds it (nothing when the failure was of another kind).
    std::optional<Role> holder() const { return holder_; }
    QString errorString() const { return error_; }

    // The lock files this data file has, in the order they are taken.
    QStringList lockPaths() const { return paths_; }

    // After the data file was made or replaced (a first start makes it and its folder, a restore
    // renames a copy over it): every lock the file has now is taken as well, and the file is checked
    // again like lock() checks it. False with errorString() when somebody holds one already.
    bool followDataFile();

private:
    enum class Attempt { Taken, Busy, Skipped, Failed };
    Attempt tryOne(const QString& path, bool required, Role role);
    QString identityLockFor(const QString& file) const;
    // Every lock file the data file has as it is now; `folder` gets the folder that really holds it.
    QStringList pathsNow(QString* folder) const;
    QString distrusted() const;
    Role role_ = Role::Command;
    std::optional<Role> readHolder(const QString& path) const;

    QString dataFile_;
    QStringList paths_;
    QString runtime_; // the private runtime folder, empty without one
    QString folder_;  // the folder that really holds the data file
    std::vector<int> held_;
    QStringList heldPaths_; // the lock files of held_, in the same order
    bool locked_ = false;   // lock() succeeded (perhaps with no file at all: no folder yet)
    std::optional<Role> holder_;
    QString error_;
};
