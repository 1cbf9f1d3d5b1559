#include "core/store/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace privatefiles {
namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString noun(What what) {
    switch (what) {
    case What::DataFile:
        return QStringLiteral("数据文件");
    case What::Backup:
        return QStringLiteral("备份文件");
    case What::DataFolder:
        return QStringLiteral("保存数据的文件夹");
    case What::ProgramFolder:
        return QStringLiteral("程序所在的文件夹");
    }
    return {};
}

QString modeText(mode_t mode) {
    return QStringLiteral("%1").arg(static_cast<unsigned>(mode & 07777), 4, 8, QLatin1Char('0'));
}

// Why one file or folder (already resolved) is not trusted; empty when it is.
QString problemOf(const QString& path, const struct stat& st, const QString& what, bool parent) {
    const uid_t me = ::geteuid();
    // Root's folders above the user's own are the system's and trusted, as a secure shell does.
    const bool ownerOk = st.st_uid == me || (parent && st.st_uid == 0);
    if (!ownerOk)
        return QStringLiteral("%1 %2 属于另一个用户（用户号 %3），为安全起见不使用它。\n"
                              "请确认其中的资料是你自己的，把它复制到只属于你的文件夹中再用，"
                              "或请管理员把它改为属于你（chown）。")
            .arg(what, shown(path))
            .arg(static_cast<qulonglong>(st.st_uid));
    // A folder with the sticky bit (/tmp) lets nobody swap what is in it; only the last folder,
    // where the data file and its journal live, must be closed to others altogether.
    const bool stickyParent = parent && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !stickyParent)
        return QStringLiteral("%1 %2 的权限 %3 过于宽松：别的用户也能写入它，为安全起见不使用它。\n"
                              "请执行 chmod go-w '%4' 后再试。")
            .arg(what, shown(path), modeText(st.st_mode), path);
    return {};
}

} // namespace

QString distrust(const QString& path, What what) {
    struct stat st {};
    // Through a symlink: what counts is the file that is written in the end.
    if (::stat(encoded(path).constData(), &st) != 0)
        return {};
    if (const QString problem = problemOf(path, st, noun(what), false); !problem.isEmpty())
        return problem;
    if (what != What::DataFolder && what != What::ProgramFolder)
        return {};
    QString folder = QFileInfo(path).canonicalFilePath();
    while (!folder.isEmpty() && folder != QStringLiteral("/")) {
        folder = QFileInfo(folder).absolutePath();
        struct stat above {};
        if (::stat(encoded(folder).constData(), &above) != 0)
            break;
        if (const QString problem = problemOf(folder, above, QStringLiteral("%1上层的文件夹").arg(noun(what)), true);
            !problem.isEmpty())
            return problem;
    }
    return {};
}

bool makeFolder(const QString& path) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(absolute).isDir())
        return true;
    const QString parent = QFileInfo(absolute).absolutePath();
    if (parent != absolute && !makeFolder(parent))
        return false;
    if (::mkdir(encoded(absolute).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(absolute).isDir();
}

bool isNew(const QString& path) {
    struct stat st {};
    return ::lstat(encoded(path).constData(), &st) != 0 && errno == ENOENT;
}

bool restrict(QFileDevice& file) {
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool prepare(const QString& path) {
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

} // namespace privatefiles
