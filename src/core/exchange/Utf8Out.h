#pragma once
// Text appended to a file's bytes as UTF-8 straight from UTF-16, without a QByteArray per piece:
// the writers build whole cards and rows in one buffer. The bytes are those QString::toUtf8 gives
// (a surrogate without its partner becomes '?', as there).
#include <QByteArray>
#include <QStringView>

namespace utf8out {

// Writes the character at text[i] as UTF-8 at p and returns the end; a surrogate pair moves i on to
// its second half. At most 3 bytes per UTF-16 unit read.
inline char* putChar(char* p, QStringView text, qsizetype& i) {
    const char16_t c = text[i].unicode();
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0xD800 || c > 0xDFFF) {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0xDC00 && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
        *p++ = static_cast<char>(0xF0 | (u >> 18));
        *p++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
        *p++ = '?';
    }
    return p;
}

// Appends `text`, each ASCII character written by `ascii(p, text, i)` (at most 3 bytes; it may move
// i on past characters it took with it), every other character as UTF-8.
template <typename Ascii> void appendWith(QByteArray& out, QStringView text, Ascii ascii) {
    const qsizetype start = out.size();
    out.resize(start + text.size() * 3);
    char* p = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() < 0x80)
            p = ascii(p, text, i);
        else
            p = putChar(p, text, i);
    }
    out.truncate(p - out.constData());
}

inline void append(QByteArray& out, QStringView text) {
    appendWith(out, text, [](char* p, QStringView t, qsizetype& i) {
        *p++ = static_cast<char>(t[i].unicode());
        return p;
    });
}

} // namespace utf8out
