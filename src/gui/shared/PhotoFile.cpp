#include "gui/shared/PhotoFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace photofile {
namespace {

// Scales the reader's output to fit `box`, or to at most maxPixels; the size asked for is the
// upright one, the reader's the stored one.
void decodeScaled(QImageReader& reader, const QSize& box, qint64 maxPixels) {
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty())
        return;
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = turned ? stored.transposed() : stored;
    QSize wanted = upright;
    if (box.isValid())
        wanted = upright.scaled(box, Qt::KeepAspectRatio);
    else if (static_cast<qint64>(upright.width()) * upright.height() > maxPixels) {
        const double factor = std::sqrt(static_cast<double>(maxPixels) / (static_cast<double>(upright.width()) * upright.height()));
        wanted = QSize(std::max(1, static_cast<int>(upright.width() * factor)),
                       std::max(1, static_cast<int>(upright.height() * factor)));
    }
    if (wanted != upright)
        reader.setScaledSize(turned ? wanted.transposed() : wanted);
}

} // namespace

QImage read(const QString& path, const QSize& box) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader::setAllocationLimit(AllocationLimitMb);
    QImageReader reader(&file, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isValid() && static_cast<qint64>(stored.width()) * stored.height() > PixelLimit)
        return {};
    decodeScaled(reader, box, PixelLimit);
    QImage picture = reader.read();
    if (!picture.isNull() && box.isValid() && (picture.width() > box.width() || picture.height() > box.height()))
        picture = picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

std::optional<photofolder::Picture> shrunk(const photofolder::Picture& picture, qint64 maxPixels) {
    QBuffer in;
    in.setData(picture.bytes);
    in.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(AllocationLimitMb);
    QImageReader reader(&in);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty() || static_cast<qint64>(stored.width()) * stored.height() > PixelLimit)
        return std::nullopt;
    if (static_cast<qint64>(stored.width()) * stored.height() <= maxPixels) {
        // Small enough: the bytes as they came, once they are known to decode.
        if (reader.read().isNull())
            return std::nullopt;
        return picture;
    }
    decodeScaled(reader, QSize(), maxPixels);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    // A photo becomes a JPEG; a picture with transparent parts stays a PNG (a JPEG would paint them black).
    const bool clear = image.hasAlphaChannel();
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, clear ? "png" : "jpeg");
    if (!clear)
        writer.setQuality(90);
    if (!writer.write(image))
        return std::nullopt;
    return photofolder::Picture{written, clear ? QStringLiteral("png") : QStringLiteral("jpg")};
}

} // namespace photofile
