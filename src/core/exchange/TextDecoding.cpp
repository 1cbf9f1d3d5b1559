#include "core/exchange/TextDecoding.h"

#include <QStringDecoder>

namespace textdecoding {

QByteArray withoutBom(const QByteArray& data, Unicode* found) {
    Unicode mark = Unicode::None;
    QByteArray result;
    if (data.startsWith("\xEF\xBB\xBF")) {
        mark = Unicode::Utf8;
        result = data.mid(3);
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        mark = Unicode::Utf16;
        const bool little = data.startsWith("\xFF\xFE");
        QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        result = QString(decoder(QByteArrayView(data).sliced(2))).toUtf8();
    } else {
        result = data;
    }
    if (found)
        *found = mark;
    return result;
}

bool isValidUtf8(QByteArrayView bytes) {
    // QUtf8::isValidUtf8 is private; a stateless decoder reports the first bad sequence.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    (void)QString(decoder(bytes));
    return !decoder.hasError();
}

namespace {
bool isUtf8Name(QByteArrayView charset) {
    return charset.compare("UTF-8", Qt::CaseInsensitive) == 0 || charset.compare("UTF8", Qt::CaseInsensitive) == 0;
}
} // namespace

bool isKnownCharset(QByteArrayView charset) {
    if (charset.isEmpty() || isUtf8Name(charset))
        return true;
    return QStringDecoder(charset.toByteArray().constData()).isValid();
}

std::optional<QString> decode(QByteArrayView bytes, QByteArrayView charset) {
    if (charset.isEmpty()) {
        // Pure ASCII and valid UTF-8 read as UTF-8; anything else is taken for GB18030, a superset of
        // GB2312 and GBK.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
        QStringDecoder gb("GB18030");
        if (gb.isValid())
            return QString(gb(bytes));
        return text;
    }
    if (isUtf8Name(charset))
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(charset.toByteArray().constData());
    if (!decoder.isValid())
        return std::nullopt;
    return QString(decoder(bytes));
}

} // namespace textdecoding
