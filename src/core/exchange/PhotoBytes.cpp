#include "core/exchange/PhotoBytes.h"

#include <QFile>
#include <QFileInfo>

namespace photobytes {

std::optional<QByteArray> base64Strict(QByteArrayView text) {
    QByteArray clean;
    clean.reserve(text.size());
    qsizetype padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        const bool alphabet =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (c == '=') {
            ++padding;
        } else if (!alphabet || padding > 0) {
            return std::nullopt; // a foreign character, or data after the padding
        }
        clean += c;
    }
    const qsizetype data = clean.size() - padding;
    if (padding > 2 || data % 4 == 1 || (padding > 0 && clean.size() % 4 != 0))
        return std::nullopt;
    return QByteArray::fromBase64(clean);
}

std::optional<QByteArray> base64Lenient(QByteArrayView text) {
    QByteArray clean;
    clean.reserve(text.size());
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=')
            continue; // white space anywhere, and padding where it belongs or not
        const bool alphabet =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!alphabet)
            return std::nullopt;
        clean += c;
    }
    if (clean.size() % 4 == 1)
        return std::nullopt; // one character cannot hold a byte: the data is cut
    while (clean.size() % 4 != 0)
        clean += '=';
    return QByteArray::fromBase64(clean);
}

QString sniffExtension(QByteArrayView b) {
    auto starts = [&](QByteArrayView magic) { return b.startsWith(magic); };
    if (starts("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (starts("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (starts("GIF87a") || starts("GIF89a"))
        return QStringLiteral("gif");
    if (starts("BM") && b.size() > 14)
        return QStringLiteral("bmp");
    if (starts(QByteArrayView("II*\0", 4)) || starts(QByteArrayView("MM\0*", 4)))
        return QStringLiteral("tif");
    if (starts("RIFF") && b.size() >= 12 && b.sliced(8, 4) == "WEBP")
        return QStringLiteral("webp");
    return {};
}

QString extensionFor(QByteArrayView bytes, const QString& typeHint) {
    QString extension = sniffExtension(bytes);
    if (!extension.isEmpty())
        return extension;
    QString hint = typeHint.toLower();
    if (const qsizetype slash = hint.indexOf(u'/'); slash >= 0)
        hint = hint.mid(slash + 1);
    if (hint == u"jpeg" || hint == u"jpg" || hint == u"pjpeg")
        return QStringLiteral("jpg");
    if (hint == u"tiff" || hint == u"tif")
        return QStringLiteral("tif");
    for (const char* known : {"png", "gif", "bmp", "webp"}) {
        if (hint == QLatin1String(known))
            return hint;
    }
    return QStringLiteral("img");
}

QString mediaTypeFor(const QString& extension) {
    const QString e = extension.toLower();
    if (e == u"jpg" || e == u"jpeg")
        return QStringLiteral("image/jpeg");
    if (e == u"tif" || e == u"tiff")
        return QStringLiteral("image/tiff");
    if (e == u"png" || e == u"gif" || e == u"bmp" || e == u"webp")
        return QStringLiteral("image/") + e;
    return QStringLiteral("application/octet-stream");
}

QString vcard30TypeFor(const QString& extension) {
    const QString e = extension.toLower();
    if (e == u"jpg" || e == u"jpeg")
        return QStringLiteral("JPEG");
    if (e == u"tif" || e == u"tiff")
        return QStringLiteral("TIFF");
    if (e == u"png" || e == u"gif" || e == u"bmp" || e == u"webp")
        return e.toUpper();
    return {};
}

std::optional<PictureFile> readPictureFile(const QString& path, qint64 maxBytes) {
    // Only a regular file is opened: a FIFO would block, a device would never end.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() > maxBytes)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The first bytes decide before the rest is read.
    if (sniffExtension(file.peek(16)).isEmpty())
        return std::nullopt;
    PictureFile picture;
    picture.bytes = file.read(maxBytes + 1);
    if (picture.bytes.size() > maxBytes)
        return std::nullopt;
    picture.extension = extensionFor(picture.bytes, info.suffix());
    return picture;
}

} // namespace photobytes
