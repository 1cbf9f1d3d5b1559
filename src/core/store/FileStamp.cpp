#include "core/store/FileStamp.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filestamp {

namespace {
quint32 counterIn(const unsigned char* header) {
    // Bytes 24 to 27 of an SQLite file: the file change counter, big-endian.
    return (quint32(header[24]) << 24) | (quint32(header[25]) << 16) | (quint32(header[26]) << 8) | quint32(header[27]);
}
} // namespace

std::optional<quint32> changeCounter(const QString& dataFile) {
    const int fd = ::open(QFile::encodeName(dataFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    unsigned char header[28] = {};
    const bool read = ::pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    ::close(fd);
    if (!read)
        return std::nullopt;
    return counterIn(header);
}

QString of(const QString& dataFile) {
    const QString path = QFileInfo(dataFile).absoluteFilePath();
    if (QFileInfo::exists(path + QStringLiteral("-journal")) || QFileInfo::exists(path + QStringLiteral("-wal")))
        return {};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat status {};
    unsigned char header[28] = {};
    const bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                      ::pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    ::close(fd);
    if (!read)
        return {};
    const quint32 counter = counterIn(header);
    return QStringLiteral("%1 %2:%3 %4 %5.%6 %7")
        .arg(path)
        .arg(quint64(status.st_dev))
        .arg(quint64(status.st_ino))
        .arg(qint64(status.st_size))
        .arg(qint64(status.st_mtim.tv_sec))
        .arg(qint64(status.st_mtim.tv_nsec), 9, 10, QLatin1Char('0'))
        .arg(counter);
}

} // namespace filestamp
