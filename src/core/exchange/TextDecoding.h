#pragma once
// Byte-order marks, wide encodings without a mark, and the character sets of the files that come in.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace textdecoding {

enum class Unicode { None, Utf8, Utf16, Utf32 };

// Turns the file into UTF-8 bytes: removes a UTF-8 byte-order mark; decodes UTF-16 and UTF-32 in
// either byte order, with a mark or recognised without one by the places of their zero bytes (an
// ASCII text padded with NULs is not taken for UTF-16). `found` tells which it was; anything but
// None and Utf8 means the whole text was decoded here and is valid UTF-8 now.
QByteArray withoutBom(const QByteArray& data, Unicode* found = nullptr);

// UTF-16 or UTF-32 without a mark, found by the places of the zero bytes in the first 4 KiB; None
// for anything else. `bigEndian` receives the byte order.
Unicode wideWithoutMark(QByteArrayView data, bool* bigEndian);

bool isValidUtf8(QByteArrayView bytes);
// Whether the bytes hold anything outside ASCII.
bool hasEightBit(QByteArrayView bytes);

// The encoding of 8-bit text that declares none and is not UTF-8, among the encodings contacts are
// written in: GB18030 (GBK and GB2312), Big5, Shift_JIS, EUC-JP, EUC-KR and the Windows code pages
// 1250 to 1253. Text that is valid GB18030 is read so unless ICU's detector is sure of another
// encoding over a long text, or the text is European (accented letters that only happen to pair up
// as GBK); otherwise ICU's answer, and GB18030 when it names none of them.
QByteArray detectEightBit(QByteArrayView bytes);

// Decodes by a charset name (UTF-8, GB2312, GBK, GB18030, Big5, ... whatever QStringDecoder knows).
// An empty name means: UTF-8 when the bytes are valid UTF-8, otherwise `fallback` (GB18030 when none
// is given). Nothing when the charset is unknown.
std::optional<QString> decode(QByteArrayView bytes, QByteArrayView charset, QByteArrayView fallback = {});

bool isKnownCharset(QByteArrayView charset);

} // namespace textdecoding
