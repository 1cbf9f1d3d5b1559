#pragma once
// Byte-order marks and character sets of the files that come in.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace textdecoding {

enum class Unicode { None, Utf8, Utf16 };

// Removes a UTF-8 BOM, or turns text that starts with a UTF-16 BOM (either byte order) into UTF-8.
// `found` tells which mark there was.
QByteArray withoutBom(const QByteArray& data, Unicode* found = nullptr);

bool isValidUtf8(QByteArrayView bytes);

// Decodes by a charset name (UTF-8, GB2312, GBK, GB18030, Big5, ... whatever QStringDecoder knows).
// An empty name means: UTF-8 when the bytes are valid UTF-8, otherwise GB18030 (old Chinese phones
// wrote GBK without saying so). Nothing when the charset is unknown.
std::optional<QString> decode(QByteArrayView bytes, QByteArrayView charset);

bool isKnownCharset(QByteArrayView charset);

} // namespace textdecoding
