#include "core/exchange/PhotoFolder.h"

#include "core/exchange/PhotoBytes.h"
#include "core/store/Store.h"
#include "core/text/FileErrors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace photofolder {
namespace {

const QString StagingPrefix = QStringLiteral(".staging-");

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// The folder, made 0700 when missing; an existing one is made private too.
bool makePrivateFolder(const QString& path) {
    if (::mkdir(encoded(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(encoded(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::chmod(encoded(path).constData(), 0700);
    return true;
}

// Why a write failed, in words the user reads: a full disk is said so, whichever call ran into it.
QString reasonOf(int error) {
    return error == ENOSPC ? QStringLiteral("磁盘已满") : chineseFileError(QString::fromLocal8Bit(std::strerror(error)));
}

bool writePrivateFile(const QString& path, const QByteArray& bytes, QString* error) {
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = reasonOf(errno);
        return false;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = reasonOf(errno);
            ::close(fd);
            ::unlink(encoded(path).constData());
            return false;
        }
        written += n;
    }
    if (::fsync(fd) != 0) {
        *error = reasonOf(errno);
        ::close(fd);
        ::unlink(encoded(path).constData());
        return false;
    }
    ::close(fd);
    return true;
}

bool sameBytes(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() != bytes.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

} // namespace

QString folderFor(const QString& dataFile) {
    return QFileInfo(dataFile).absoluteDir().filePath(QStringLiteral("photos"));
}

bool isPhotoName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{20}\\.[a-z]{2,5}$"));
    return pattern.match(fileName).hasMatch();
}

QString nameFor(const QByteArray& bytes, const QString& extension) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(20)) + u'.' +
           extension;
}

Staging::Staging(const QString& photosFolder) : folder_(photosFolder) {}

Staging::~Staging() {
    if (!staging_.isEmpty() && !published_)
        QDir(staging_).removeRecursively();
}

QString Staging::save(const QByteArray& bytes, const QString& extension, QString* error) {
    const QString name = nameFor(bytes, extension);
    const QString final = QDir(folder_).filePath(name);
    if (sameBytes(final, bytes))
        return final;
    if (staged_.contains(name))
        return final;
    if (staging_.isEmpty()) {
        const QString staging = QDir(folder_).filePath(
            StagingPrefix + QStringLiteral("%1-%2").arg(::getpid()).arg(QRandomGenerator::system()->generate(), 8, 16,
                                                                          QLatin1Char('0')));
        if (!makePrivateFolder(folder_) || !makePrivateFolder(staging)) {
            *error = QStringLiteral("无法建立照片文件夹 %1").arg(QDir::toNativeSeparators(folder_));
            return {};
        }
        staging_ = staging;
    }
    QString reason;
    if (!writePrivateFile(QDir(staging_).filePath(name), bytes, &reason)) {
        *error = QStringLiteral("无法保存照片 %1：%2").arg(QDir::toNativeSeparators(final), reason);
        return {};
    }
    staged_.append(name);
    return final;
}

bool Staging::publish() {
    published_ = true;
    if (staging_.isEmpty())
        return true;
    bool all = true;
    for (const QString& name : staged_) {
        if (std::rename(encoded(QDir(staging_).filePath(name)).constData(),
                        encoded(QDir(folder_).filePath(name)).constData()) != 0)
            all = false;
    }
    if (all)
        QDir(staging_).removeRecursively();
    return all;
}

TidyResult tidy(Store& store, const QString& dataFile) {
    TidyResult result;
    const QString folder = folderFor(dataFile);
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return result;
    // The pictures contacts name, by file name: the data folder may have moved since they were saved.
    QSet<QString> named;
    for (const QString& path : store.photoPaths())
        named.insert(QFileInfo(path).fileName());
    if (store.isReadOnly())
        return result; // nothing is changed in a folder the user may not write
    makePrivateFolder(folder);
    QDir dir(folder);
    const QStringList stagings =
        dir.entryList({StagingPrefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& staging : stagings) {
        QDir stage(dir.filePath(staging));
        for (const QString& name : stage.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
            if (named.contains(name) && isPhotoName(name) && !QFileInfo::exists(dir.filePath(name)) &&
                std::rename(encoded(stage.filePath(name)).constData(), encoded(dir.filePath(name)).constData()) == 0)
                ++result.movedIn;
            else
                ++result.removed;
        }
        stage.removeRecursively();
    }
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isPhotoName(name) && !named.contains(name) && QFile::remove(dir.filePath(name)))
            ++result.removed;
    }
    return result;
}

bool isInFolder(const QString& path, const QString& dataFile) {
    if (path.isEmpty())
        return false;
    const QFileInfo file(path);
    const QString folder = QFileInfo(folderFor(dataFile)).canonicalFilePath();
    return file.isAbsolute() && !folder.isEmpty() && QFileInfo(file.absolutePath()).canonicalFilePath() == folder;
}

QString keepChosen(const QString& source, const QString& dataFile, const Shrink& shrink, QString* error) {
    // A photo is a few megabytes; a camera's largest picture fits well within this.
    constexpr qint64 MaxChosenFile = 64 * 1024 * 1024;
    const QString shownPath = QDir::toNativeSeparators(source);
    std::optional<photobytes::PictureFile> file = photobytes::readPictureFile(source, MaxChosenFile);
    if (!file) {
        *error = QStringLiteral("照片 %1 不是可以读取的图片文件。").arg(shownPath);
        return {};
    }
    Picture picture{std::move(file->bytes), file->extension};
    if (shrink) {
        std::optional<Picture> smaller = shrink(picture);
        if (!smaller || photobytes::sniffExtension(smaller->bytes).isEmpty()) {
            *error = QStringLiteral("照片 %1 不是可以读取的图片文件。").arg(shownPath);
            return {};
        }
        picture = std::move(*smaller);
    }
    const QString folder = folderFor(dataFile);
    const QString final = QDir(folder).filePath(nameFor(picture.bytes, picture.extension));
    if (sameBytes(final, picture.bytes))
        return final; // the same picture, chosen before (for this person or another)
    if (!makePrivateFolder(folder)) {
        *error = QStringLiteral("无法建立照片文件夹 %1").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    // Written beside its place, then renamed over it: a failure leaves no half picture under a
    // name that claims its bytes.
    const QString partial = QDir(folder).filePath(
        QStringLiteral(".partial-") + QStringLiteral("%1-%2").arg(::getpid()).arg(QRandomGenerator::system()->generate(), 8, 16,
                                                                      QLatin1Char('0')));
    QString reason;
    if (!writePrivateFile(partial, picture.bytes, &reason)) {
        *error = QStringLiteral("无法保存照片 %1：%2").arg(QDir::toNativeSeparators(final), reason);
        return {};
    }
    if (std::rename(encoded(partial).constData(), encoded(final).constData()) != 0) {
        *error = QStringLiteral("无法保存照片 %1：%2").arg(QDir::toNativeSeparators(final), reasonOf(errno));
        ::unlink(encoded(partial).constData());
        return {};
    }
    return final;
}

int releaseUnused(Store& store, const QString& dataFile, const QStringList& paths) {
    if (store.isReadOnly())
        return 0;
    int removed = 0;
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName();
        if (!isInFolder(path, dataFile) || !isPhotoName(name) || store.photoInUse(name))
            continue;
        if (QFile::remove(QDir(folderFor(dataFile)).filePath(name)))
            ++removed;
    }
    return removed;
}

} // namespace photofolder
