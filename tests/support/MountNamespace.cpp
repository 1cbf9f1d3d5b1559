#include "support/MountNamespace.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace mountns {

namespace {

bool fail(QString* why, const QString& what) {
    if (why)
        *why = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool writeFile(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    ::close(fd);
    return ok;
}

} // namespace

bool enter(QString* why) {
    // Root only needs a mount namespace; anybody else first becomes root of a user namespace.
    bool entered = geteuid() == 0 && unshare(CLONE_NEWNS) == 0;
    if (!entered) {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return fail(why, QStringLiteral("unshare"));
        writeFile("/proc/self/setgroups", "deny");
        if (!writeFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
            !writeFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))
            return fail(why, QStringLiteral("uid_map"));
    }
    // Nothing mounted here may show outside.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail(why, QStringLiteral("mount --make-rprivate /"));
    return true;
}

bool mountTmpfs(const QString& dir, int kilobytes, QString* why) {
    // Its root is the user's own folder, closed to others (a tmpfs starts as 1777, which the program
    // rightly refuses to keep data in).
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
    if (mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0)
        return fail(why, QStringLiteral("mount tmpfs on ") + dir);
    return true;
}

bool bindReadOnly(const QString& dir, QString* why) {
    const QByteArray path = QFile::encodeName(dir);
    if (mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0)
        return fail(why, QStringLiteral("bind ") + dir);
    if (mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        umount2(path.constData(), MNT_DETACH);
        return fail(why, QStringLiteral("remount read-only ") + dir);
    }
    return true;
}

void unmount(const QString& dir) {
    umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
}

} // namespace mountns
