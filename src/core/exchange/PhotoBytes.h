#pragma once
// Pictures inside cards: strict base64, and the picture's kind from its first bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace photobytes {

// Base64 with white space ignored and padding optional; nothing when any other character is out of
// place (a card with a damaged photo is reported, not imported with a broken picture).
std::optional<QByteArray> base64Strict(QByteArrayView text);

// What other readers accept too: white space anywhere and '=' out of place (a stray '=' after the
// data) are ignored. Nothing when another character is out of place or the data is cut mid-byte.
std::optional<QByteArray> base64Lenient(QByteArrayView text);

// "jpg", "png", "gif", "bmp", "tif", "webp" from the bytes; empty when they are none of these.
QString sniffExtension(QByteArrayView bytes);

// The extension for a picture: from its bytes, else from a type written beside it ("JPEG",
// "image/png"), else "img".
QString extensionFor(QByteArrayView bytes, const QString& typeHint);

// "image/jpeg" and the like, and the vCard 3.0 TYPE ("JPEG"), for an extension.
QString mediaTypeFor(const QString& extension);
QString vcard30TypeFor(const QString& extension);

// The picture a contact's 照片 column names, as a card embeds it. A data file may name any file
// there (/etc/passwd, /proc/self/environ, a key): only a regular file of at most maxBytes whose
// bytes are a picture (sniffExtension) is ever read into a card; anything else gives nothing.
struct PictureFile {
    QByteArray bytes;
    QString extension;
};
std::optional<PictureFile> readPictureFile(const QString& path, qint64 maxBytes);

} // namespace photobytes
