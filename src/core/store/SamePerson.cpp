#include "core/store/SamePerson.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/Store.h"
#include "core/text/TypedDate.h"

#include <QStringList>
#include <algorithm>
#include <string>
#include <string_view>

QString numberDigits(const QString& number) {
    QString digits;
    for (const QChar c : number) {
        if (c.isDigit())
            digits += c;
    }
    if (number.trimmed().startsWith(QLatin1Char('+')) && digits.startsWith(QLatin1String("86")))
        digits.remove(0, 2);
    else if (digits.startsWith(QLatin1String("0086")))
        digits.remove(0, 4);
    return digits;
}

QString mobileDigits(const QString& number) {
    const QString digits = numberDigits(number);
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

// The Gregorian day a birthday falls on, when it is known.
std::optional<QDate> gregorianDay(const ContactFields& person) {
    if (person.lunarBirthday)
        return person.lunarBirthday->gregorian(); // nothing without a year: no day to compare
    return person.birthday;
}

// Every value of the two the same: a card imported again, untouched since.
bool sameValues(const ContactFields& a, const ContactFields& b) {
    if (a.name != b.name || a.birthday != b.birthday || a.lunarBirthday != b.lunarBirthday)
        return false;
    for (const catalogue::FieldInfo* field : catalogue::texts()) {
        if (field->field != catalogue::Field::Photo && a.*(field->text) != b.*(field->text))
            return false;
    }
    return true;
}

} // namespace

bool contradicts(const ContactFields& a, const ContactFields& b) {
    const QString mobileA = numberDigits(a.mobile), mobileB = numberDigits(b.mobile);
    if (!mobileA.isEmpty() && !mobileB.isEmpty() && mobileA != mobileB)
        return true;
    if (a.lunarBirthday && b.lunarBirthday) {
        const LunarBirthday &la = *a.lunarBirthday, &lb = *b.lunarBirthday;
        if (la.month != lb.month || la.day != lb.day || la.leap != lb.leap || (la.year && lb.year && la.year != lb.year))
            return true;
    }
    const std::optional<QDate> dayA = gregorianDay(a), dayB = gregorianDay(b);
    if (dayA && dayB && dayA->isValid() && dayB->isValid()) {
        if (birthday::isYearless(*dayA) || birthday::isYearless(*dayB))
            return dayA->month() != dayB->month() || dayA->day() != dayB->day();
        return *dayA != *dayB;
    }
    return false;
}

Likeness likeness(const ContactFields& person, const ContactFields& card, bool emailShared) {
    if (nameKey(person.name).isEmpty() || nameKey(person.name) != nameKey(card.name))
        return Likeness::Other;
    if (contradicts(person, card))
        return Likeness::Possible;
    const QString mobile = mobileDigits(person.mobile);
    if (!mobile.isEmpty() && mobile == mobileDigits(card.mobile))
        return Likeness::Same;
    const QString mail = emailKey(person.email);
    if (!mail.isEmpty() && mail == emailKey(card.email) && !emailShared)
        return Likeness::Same;
    // Nothing of the card differs from the person, nor the other way round: joining them neither
    // loses a value nor puts one into somebody else's record.
    return sameValues(person, card) ? Likeness::Same : Likeness::Possible;
}

SamePersonFinder::Found SamePersonFinder::find(const ContactFields& card,
                                               const std::function<bool(const QString&)>& skip) {
    Found found;
    if (nameKey(card.name).isEmpty())
        return found;
    const QString mobile = mobileDigits(card.mobile);
    const QString mail = emailKey(card.email);
    for (const auto& [candidate, columns] : store_.contactsNamed(card.name)) {
        found.possibleDuplicate = true;
        // Another mobile number tells most people of a name apart without reading them whole.
        if ((skip && skip(candidate)) || contradicts(columns, card))
            continue;
        std::optional<ContactFields> person = store_.loadContact(candidate);
        if (!person)
            continue;
        const bool byMailOnly = !mail.isEmpty() && emailKey(person->email) == mail &&
                                (mobile.isEmpty() || mobileDigits(person->mobile) != mobile);
        if (likeness(*person, card, byMailOnly && emailShared(mail)) == Likeness::Same) {
            found.key = candidate;
            found.person = std::move(person);
            found.possibleDuplicate = false;
            return found;
        }
    }
    return found;
}

bool SamePersonFinder::emailShared(const QString& key) {
    if (!holders_) {
        holders_.emplace();
        store_.forEachDuplicateCandidate([&](std::string_view, std::string_view, std::string_view, std::string_view email) {
            std::string held = emailKeyOf(email);
            if (!held.empty())
                ++(*holders_)[held];
        });
    }
    const auto it = holders_->find(key.toStdString());
    return it != holders_->end() && it->second > 1;
}

void SamePersonFinder::written(const std::optional<ContactFields>& before, const ContactFields& after) {
    if (!holders_)
        return;
    const std::string old = before ? emailKey(before->email).toStdString() : std::string();
    const std::string now = emailKey(after.email).toStdString();
    if (old == now)
        return;
    if (!old.empty() && --(*holders_)[old] <= 0)
        holders_->erase(old);
    if (!now.empty())
        ++(*holders_)[now];
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
