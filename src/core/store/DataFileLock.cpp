#include "core/store/DataFileLock.h"

#include "core/store/DataFiles.h"
#include "core/store/PrivateFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QByteArray roleLine(DataFileLock::Role role) {
    return (role == DataFileLock::Role::Window ? QByteArray("window ") : QByteArray("command ")) +
           QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
}

// XDG_RUNTIME_DIR when it is a real folder of this user's own that nobody else may enter.
QString privateRuntimeDir() {
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || dir[0] != '/')
        return {};
    struct stat st {};
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0)
        return {};
    return QFile::decodeName(dir);
}

} // namespace

DataFileLock::DataFileLock(const QString& dataFile) : dataFile_(dataFile), runtime_(privateRuntimeDir()) {
    paths_ = pathsNow(&folder_);
}

QStringList DataFileLock::pathsNow(QString* folder) const {
    // The folder that really holds the data file: a symlinked file or folder leads to the same lock.
    const QFileInfo file(dataFile_);
    QString dir;
    QString name = file.fileName();
    if (file.exists()) {
        const QFileInfo real(file.canonicalFilePath());
        dir = real.absolutePath();
        name = real.fileName();
    } else {
        dir = QFileInfo(file.absolutePath()).canonicalFilePath();
        if (dir.isEmpty())
            dir = file.absolutePath();
    }
    *folder = dir;
    QStringList paths{QDir(dir).filePath(QStringLiteral(".") + name + QStringLiteral(".lock"))};
    struct stat st {};
    if (!runtime_.isEmpty() && ::stat(QFile::encodeName(dir).constData(), &st) == 0) {
        paths.append(QDir(runtime_).filePath(QStringLiteral("zinteva-%1-%2.lock")
                                                 .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
                                                 .arg(static_cast<qulonglong>(st.st_ino), 0, 16)));
    }
    if (const QString identity = identityLockFor(dataFile_); !identity.isEmpty())
        paths.append(identity);
    return paths;
}

QString DataFileLock::identityLockFor(const QString& file) const {
    struct stat st {};
    if (runtime_.isEmpty() || ::stat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return QDir(runtime_).filePath(QStringLiteral("zinteva-file-%1-%2.lock")
                                       .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
                                       .arg(static_cast<qulonglong>(st.st_ino), 0, 16));
}

QString DataFileLock::distrusted() const {
    using privatefiles::What;
    const DataPaths paths = DataPaths::in(folder_);
    const QString backup = paths.backup;
    for (const auto& [path, what] : {std::pair{folder_, What::DataFolder}, std::pair{dataFile_, What::DataFile},
                                     std::pair{backup, What::Backup}}) {
        if (QString problem = privatefiles::distrust(path, what); !problem.isEmpty())
            return problem;
    }
    // Without a runtime folder no lock can follow the file itself: a second name for it (a hard link)
    // could be written by another copy unseen.
    struct stat st {};
    if (runtime_.isEmpty() && ::stat(QFile::encodeName(dataFile_).constData(), &st) == 0 && st.st_nlink > 1)
        return QStringLiteral("数据文件 %1 还有别的名字（硬链接，共 %2 个），另一个 zinteva 可能正通过别的名字写入它，"
                              "而本用户没有私有的运行时文件夹（XDG_RUNTIME_DIR）来存放跟随文件本身的锁。\n"
                              "请删除多余的硬链接，或在已登录的桌面会话中再试。")
            .arg(QDir::toNativeSeparators(dataFile_))
            .arg(static_cast<qulonglong>(st.st_nlink));
    return {};
}

bool DataFileLock::followDataFile() {
    if (!locked_) {
        error_ = QStringLiteral("数据文件 %1 没有锁定。").arg(QDir::toNativeSeparators(dataFile_));
        return false;
    }
    // The file may be new (a first start made it and perhaps its folder, a restore renamed a copy
    // over it): every lock it has now is taken, the ones held already stay.
    QString folder;
    const QStringList now = pathsNow(&folder);
    folder_ = folder;
    if (const QString problem = distrusted(); !problem.isEmpty()) {
        error_ = problem;
        return false;
    }
    for (const QString& path : now) {
        if (heldPaths_.contains(path))
            continue;
        const Attempt attempt = tryOne(path, false, role_);
        if (attempt == Attempt::Busy) {
            error_ = QStringLiteral("另一个 zinteva 正在使用数据文件 %1，请稍后再试。").arg(QDir::toNativeSeparators(dataFile_));
            return false;
        }
        if (attempt == Attempt::Failed)
            return false;
        if (!paths_.contains(path))
            paths_.append(path);
    }
    return true;
}

DataFileLock::~DataFileLock() {
    unlock();
}

void DataFileLock::unlock() {
    for (const int fd : held_)
        ::close(fd); // closing the descriptor releases its flock
    held_.clear();
    heldPaths_.clear();
    locked_ = false;
}

DataFileLock::Attempt DataFileLock::tryOne(const QString& path, bool required, Role role) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO planted under the name must not block the open.
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    bool writable = true;
    if (fd < 0 && (errno == EROFS || errno == EACCES)) {
        // A read-only folder: a lock file already there can still be locked for reading.
        fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        writable = false;
    }
    if (fd < 0) {
        const int e = errno;
        if (!required && (e == EROFS || e == EACCES || e == EPERM || e == ENOENT))
            return Attempt::Skipped;
        error_ = e == ELOOP ? QStringLiteral("锁文件 %1 是一个符号链接，为安全起见不使用它。请删除它后再试。")
                                  .arg(QDir::toNativeSeparators(path))
                            : QStringLiteral("不能建立锁文件 %1：%2")
                                  .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(e)));
        return Attempt::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        error_ = QStringLiteral("锁文件 %1 不是本用户的普通文件，为安全起见不使用它。请删除它后再试。")
                     .arg(QDir::toNativeSeparators(path));
        return Attempt::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return Attempt::Busy;
        error_ = QStringLiteral("不能锁定 %1：%2")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(e)));
        return Attempt::Failed;
    }
    if (writable) {
        const QByteArray line = roleLine(role);
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, line.constData(), static_cast<size_t>(line.size()), 0) < 0) {
            // Only a hint for the other party; the lock holds without it.
        }
    }
    held_.push_back(fd);
    heldPaths_.append(path);
    return Attempt::Taken;
}

std::optional<DataFileLock::Role> DataFileLock::readHolder(const QString& path) const {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    char buffer[64] = {};
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    if (std::strncmp(buffer, "window ", 7) == 0)
        return Role::Window;
    if (std::strncmp(buffer, "command ", 8) == 0)
        return Role::Command;
    return std::nullopt;
}

bool DataFileLock::lock(Role role, int waitMs) {
    if (isLocked())
        return true;
    holder_.reset();
    error_.clear();
    role_ = role;
    // Another user's file, or one others may write, is never used (and no lock file is made there).
    if (const QString problem = distrusted(); !problem.isEmpty()) {
        error_ = problem;
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QString busyPath;
        bool failed = false;
        for (const QString& path : paths_) {
            // The lock beside the data file is the one every writer shares; the runtime one may be
            // missing for another process (no XDG_RUNTIME_DIR in a cron job), so it only adds.
            const Attempt attempt = tryOne(path, false, role);
            if (attempt == Attempt::Busy) {
                busyPath = path;
                break;
            }
            if (attempt == Attempt::Failed) {
                failed = true;
                break;
            }
        }
        if (failed) {
            unlock();
            return false;
        }
        if (busyPath.isEmpty()) {
            locked_ = true;
            return true; // every lock that can exist is held (none at all in a read-only folder without a runtime folder)
        }
        unlock();
        holder_ = readHolder(busyPath);
        if (holder_ == Role::Window || waited.elapsed() >= waitMs) {
            const QString file = QDir::toNativeSeparators(dataFile_);
            error_ = holder_ == Role::Window
                         ? QStringLiteral("zinteva 的窗口正在使用数据文件 %1，请先关闭窗口再试。").arg(file)
                         : QStringLiteral("另一个 zinteva 正在使用数据文件 %1，请稍后再试。").arg(file);
            if (!holder_)
                holder_ = Role::Command;
            return false;
        }
        QThread::msleep(50);
    }
}
