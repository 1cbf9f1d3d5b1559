#include "core/store/SamePerson.h"

#include "core/store/ContactFields.h"

#include <QStringList>
#include <string>
#include <string_view>

QString mobileDigits(const QString& number) {
    QString digits;
    for (const QChar c : number) {
        if (c.isDigit())
            digits += c;
    }
    if (number.trimmed().startsWith(QLatin1Char('+')) && digits.startsWith(QLatin1String("86")))
        digits.remove(0, 2);
    else if (digits.startsWith(QLatin1String("0086")))
        digits.remove(0, 4);
    return digits.size() < 5 ? QString() : digits;
}

QString emailKey(const QString& address) {
    return address.trimmed().toLower();
}

QString nameKey(const QString& name) {
    return name.trimmed();
}

namespace {

// Most numbers and addresses are plain ASCII and most names need no trimming: their keys are made
// straight from the bytes, exactly as the QString functions above make them.

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::string_view trimmedAscii(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool asciiMobileKey(std::string_view text, std::string& key) {
    if (!isAscii(text))
        return false;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            key += c;
    }
    const bool plus = trimmedAscii(text).starts_with('+');
    if (plus && key.starts_with("86"))
        key.erase(0, 2);
    else if (key.starts_with("0086"))
        key.erase(0, 4);
    if (key.size() < 5)
        key.clear();
    return true;
}

bool asciiEmailKey(std::string_view text, std::string& key) {
    if (!isAscii(text))
        return false;
    key = trimmedAscii(text);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return true;
}

// Well-formed UTF-8 whose first and last characters are not spaces is its own name key. Anything
// Qt might read differently (malformed bytes, noncharacters, a byte order mark) goes the long way.
bool plainNameKey(std::string_view text, std::string& key) {
    char32_t first = 0, last = 0;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        char32_t code = lead;
        if (lead >= 0x80) {
            if (lead >= 0xc2 && lead <= 0xdf) {
                length = 2;
                code = lead & 0x1f;
            } else if (lead >= 0xe0 && lead <= 0xef) {
                length = 3;
                code = lead & 0x0f;
            } else if (lead >= 0xf0 && lead <= 0xf4) {
                length = 4;
                code = lead & 0x07;
            } else {
                return false;
            }
            if (i + length > text.size())
                return false;
            for (size_t k = 1; k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xc0) != 0x80)
                    return false;
                code = (code << 6) | (next & 0x3f);
            }
            const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) || code == 0xfeff ||
                (code >= 0xfdd0 && code <= 0xfdef) || (code & 0xfffe) == 0xfffe)
                return false;
        }
        if (i == 0)
            first = code;
        last = code;
        i += length;
    }
    if (text.empty() || QChar::isSpace(first) || QChar::isSpace(last))
        return false;
    key = text;
    return true;
}

// The long way, for any other text: as the program reads a column (Statement::text).
template <QString (*Key)(const QString&)> std::string throughQString(std::string_view text) {
    return Key(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))).toStdString();
}

QStringList phoneDigits(const ContactFields& person) {
    QStringList digits;
    for (const QString* number : {&person.mobile, &person.workPhone, &person.homePhone}) {
        const QString d = mobileDigits(*number);
        if (!d.isEmpty())
            digits << d;
    }
    return digits;
}

} // namespace

bool samePerson(const ContactFields& a, const ContactFields& b) {
    if (nameKey(a.name).isEmpty() || nameKey(a.name) != nameKey(b.name))
        return false;
    const QString mail = emailKey(a.email);
    if (!mail.isEmpty() && mail == emailKey(b.email))
        return true;
    const QStringList theirs = phoneDigits(b);
    for (const QString& digits : phoneDigits(a)) {
        if (theirs.contains(digits))
            return true;
    }
    return false;
}

std::string nameKeyOf(std::string_view text) {
    std::string key;
    return plainNameKey(text, key) ? key : throughQString<nameKey>(text);
}

std::string mobileKeyOf(std::string_view text) {
    std::string key;
    return asciiMobileKey(text, key) ? key : throughQString<mobileDigits>(text);
}

std::string emailKeyOf(std::string_view text) {
    std::string key;
    return asciiEmailKey(text, key) ? key : throughQString<emailKey>(text);
}
