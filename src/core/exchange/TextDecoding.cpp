#include "core/exchange/TextDecoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <unicode/ucsdet.h>

namespace textdecoding {

namespace {

QByteArray wideToUtf8(QByteArrayView data, Unicode kind, bool bigEndian) {
    QStringConverter::Encoding encoding;
    if (kind == Unicode::Utf32)
        encoding = bigEndian ? QStringConverter::Utf32BE : QStringConverter::Utf32LE;
    else
        encoding = bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
    QStringDecoder decoder(encoding);
    return QString(decoder(data)).toUtf8();
}

bool isUtf8Name(QByteArrayView charset) {
    return charset.compare("UTF-8", Qt::CaseInsensitive) == 0 || charset.compare("UTF8", Qt::CaseInsensitive) == 0;
}

// ICU's names, and the name the program decodes with. ISO-8859-1 text is read as windows-1252, its
// superset that Windows programs write.
const char* acceptedName(const char* icuName) {
    static const std::pair<const char*, const char*> accepted[] = {
        {"GB18030", "GB18030"},
        {"Big5", "Big5"},
        {"Shift_JIS", "Shift_JIS"},
        {"EUC-JP", "EUC-JP"},
        {"EUC-KR", "EUC-KR"},
        {"ISO-8859-1", "windows-1252"},
        {"windows-1252", "windows-1252"},
        {"ISO-8859-2", "windows-1250"},
        {"windows-1250", "windows-1250"},
        {"ISO-8859-5", "windows-1251"},
        {"windows-1251", "windows-1251"},
        {"KOI8-R", "KOI8-R"},
        {"ISO-8859-7", "windows-1253"},
        {"windows-1253", "windows-1253"},
    };
    for (const auto& [icu, ours] : accepted) {
        if (qstrcmp(icu, icuName) == 0)
            return ours;
    }
    return nullptr;
}

// How the bytes read as GB18030: whether they are valid at all, and how many of their characters of
// two or four bytes there are, and how many of those lie where GB2312 puts its Chinese characters and
// punctuation (both bytes from 0xA1), the part of GBK that Chinese text nearly always keeps to.
struct GbReading {
    bool valid = true;
    qsizetype wide = 0;
    qsizetype gb2312 = 0;
};

GbReading gbReading(QByteArrayView bytes) {
    GbReading reading;
    auto in = [](unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; };
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const auto next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (!in(lead, 0x81, 0xFE)) {
            reading.valid = false;
            return reading;
        }
        if (in(next, 0x40, 0x7E) || in(next, 0x80, 0xFE)) {
            ++reading.wide;
            reading.gb2312 += lead >= 0xA1 && next >= 0xA1 ? 1 : 0;
            i += 2;
        } else if (in(next, 0x30, 0x39) && i + 3 < bytes.size() &&
                   in(static_cast<unsigned char>(bytes[i + 2]), 0x81, 0xFE) &&
                   in(static_cast<unsigned char>(bytes[i + 3]), 0x30, 0x39)) {
            ++reading.wide;
            i += 4;
        } else {
            reading.valid = false;
            return reading;
        }
    }
    return reading;
}

bool isSingleByte(QByteArrayView name) {
    return name.startsWith("windows-") || name == "KOI8-R";
}

} // namespace

// Text of contacts is mostly ASCII, so one of the byte places of
// each unit is nearly always zero and the others nearly never are. Looks at the first 4 KiB.
Unicode wideWithoutMark(QByteArrayView data, bool* bigEndian) {
    const qsizetype size = std::min<qsizetype>(data.size(), 4096);
    if (size < 8)
        return Unicode::None;
    qsizetype zeros[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == 0)
            ++zeros[i % 4];
    }
    const qsizetype quarter = size / 4;
    auto mostly = [&](qsizetype n) { return n * 10 >= quarter * 9; };
    auto rarely = [&](qsizetype n) { return n * 10 <= quarter; };
    if (mostly(zeros[0]) && mostly(zeros[1]) && rarely(zeros[3])) {
        *bigEndian = true;
        return Unicode::Utf32;
    }
    if (mostly(zeros[2]) && mostly(zeros[3]) && rarely(zeros[0])) {
        *bigEndian = false;
        return Unicode::Utf32;
    }
    if (mostly(zeros[0]) && mostly(zeros[2]) && rarely(zeros[1]) && rarely(zeros[3])) {
        *bigEndian = true;
        return Unicode::Utf16;
    }
    if (mostly(zeros[1]) && mostly(zeros[3]) && rarely(zeros[0]) && rarely(zeros[2])) {
        *bigEndian = false;
        return Unicode::Utf16;
    }
    return Unicode::None;
}

QByteArray withoutBom(const QByteArray& data, Unicode* found) {
    Unicode mark = Unicode::None;
    QByteArray result;
    bool bigEndian = false;
    if (data.startsWith("\xEF\xBB\xBF")) {
        mark = Unicode::Utf8;
        result = data.mid(3);
    } else if (data.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)) ||
               data.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        mark = Unicode::Utf32;
        result = wideToUtf8(QByteArrayView(data).sliced(4), mark, data[0] == 0);
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        mark = Unicode::Utf16;
        result = wideToUtf8(QByteArrayView(data).sliced(2), mark, data.startsWith("\xFE\xFF"));
    } else if (const Unicode wide = wideWithoutMark(data, &bigEndian); wide != Unicode::None) {
        mark = wide;
        result = wideToUtf8(data, wide, bigEndian);
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

bool hasEightBit(QByteArrayView bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

QByteArray detectEightBit(QByteArrayView bytes) {
    const QByteArray gb = QByteArrayLiteral("GB18030");
    // The detector's best answer among the encodings the program reads, and how sure it is.
    QByteArray found;
    int confidence = 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, void (*)(UCharsetDetector*)> detector(ucsdet_open(&status), ucsdet_close);
    if (U_SUCCESS(status) && detector) {
        // The detector reads at most an int's worth; the first megabyte says enough.
        const int32_t length = static_cast<int32_t>(std::min<qsizetype>(bytes.size(), 1 << 20));
        ucsdet_setText(detector.get(), bytes.data(), length, &status);
        int32_t count = 0;
        const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &status);
        for (int32_t i = 0; U_SUCCESS(status) && i < count && found.isEmpty(); ++i) {
            UErrorCode nameStatus = U_ZERO_ERROR;
            const char* name = ucsdet_getName(matches[i], &nameStatus);
            if (U_FAILURE(nameStatus) || !name)
                continue;
            if (const char* ours = acceptedName(name); ours && QStringDecoder(ours).isValid()) {
                found = ours;
                confidence = ucsdet_getConfidence(matches[i], &nameStatus);
            }
        }
    }
    // The user's legacy files are GBK or GB18030, and on a short text the detector guesses: a few
    // Chinese names come out as Shift_JIS katakana or KOI8-R. So text that is valid GB18030 is read as
    // such, unless the text is long enough for the detector to be sure of another encoding, or it is
    // European text (accented letters before plain ones) that only happens to be valid.
    const GbReading reading = gbReading(bytes.first(std::min<qsizetype>(bytes.size(), 1 << 20)));
    if (!reading.valid)
        return found.isEmpty() ? gb : found;
    if (found.isEmpty() || found == gb)
        return gb;
    constexpr qsizetype LongText = 200; // characters of two or four bytes
    if (reading.wide >= LongText && confidence >= 50)
        return found;
    const bool mostlyGb2312 = reading.gb2312 * 2 >= reading.wide;
    if (isSingleByte(found) && !mostlyGb2312)
        return found;
    return gb;
}

bool isKnownCharset(QByteArrayView charset) {
    if (charset.isEmpty() || isUtf8Name(charset))
        return true;
    return QStringDecoder(charset.toByteArray().constData()).isValid();
}

std::optional<QString> decode(QByteArrayView bytes, QByteArrayView charset, QByteArrayView fallback) {
    if (charset.isEmpty()) {
        // Pure ASCII and valid UTF-8 read as UTF-8; anything else by the encoding found for the file.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
        QStringDecoder other(fallback.isEmpty() ? "GB18030" : fallback.toByteArray().constData());
        if (other.isValid())
            return QString(other(bytes));
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
