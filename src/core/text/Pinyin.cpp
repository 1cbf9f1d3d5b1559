#include "core/text/Pinyin.h"

#include "core/text/Polyphones.h"

#include <QHash>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace pinyin {

uint32_t polyphoneLetters(char32_t codepoint) {
    const detail::PolyphoneEntry* begin = detail::polyphoneTable;
    const detail::PolyphoneEntry* end = begin + detail::polyphoneTableSize;
    const auto* it = std::lower_bound(begin, end, static_cast<uint32_t>(codepoint),
                                      [](const detail::PolyphoneEntry& e, uint32_t cp) { return e.codepoint < cp; });
    return it != end && it->codepoint == codepoint ? it->letters : 0;
}

namespace detail {
int transliterationPiece = 64;
int largestTransliteration = 0;
} // namespace detail

namespace {

bool isHan(UChar32 c) {
    UErrorCode status = U_ZERO_ERROR;
    return uscript_getScript(c, &status) == USCRIPT_HAN;
}

bool isMark(UChar32 c) {
    const int8_t type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK ||
           u_getCombiningClass(c) != 0;
}

// Creating the transliterator parses ICU's rules and takes far longer than using it, so there is
// one for the whole run. ICU's transliterate() is not safe to call from two threads at once on
// one instance (the window's and the one that fills missing keys); the lock costs nothing next to
// the transliteration itself.
class Transliteration {
public:
    static Transliteration& instance() {
        static Transliteration one;
        return one;
    }
    bool isAvailable() const { return transliterator_ != nullptr; }
    // ICU's transliteration of one long text costs more than linear time (it moves the rest of the
    // text at every replacement: 200,000 characters took 24 s). A long text is therefore cut into
    // pieces of about detail::transliterationPiece characters, each transliterated on its own:
    //   - before a Han character that follows a non-Han one (a Han character is then read as a
    //     surname, as in the whole text; the two readings are kept apart by a blank),
    //   - before a Han character that follows a Han one: the piece is read after a fixed Han
    //     character (三, "san"), so that its first character is read as a given name, as in the
    //     whole text, and that reading is taken off again,
    //   - between two other characters, when the second is no combining mark.
    // The result has the same syllables and words as the whole text's; the cost is linear.
    QString latin(const QString& text) {
        if (!transliterator_)
            return text.toLower();
        std::lock_guard<std::mutex> lock(mutex_);
        // Names repeat (an import of a large directory meets the same names again and again), and a
        // reading costs tens of microseconds: the last readings of short texts are kept, a bounded
        // number (a long text is rare and would only fill the memory).
        if (text.size() > CachedLength)
            return read(text);
        if (const auto found = cache_.constFind(text); found != cache_.cend())
            return *found;
        QString reading = read(text);
        if (cache_.size() >= CacheSize)
            cache_.clear();
        cache_.insert(text, reading);
        return reading;
    }

private:
    // A long text is read in pieces, so that the time grows with its length and not faster.
    QString read(const QString& text) {
        const icu::UnicodeString whole(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
        const int32_t length = whole.length();
        const int32_t piece = std::max(1, detail::transliterationPiece);
        if (length <= piece)
            return transliterated(whole);
        QString out;
        out.reserve(text.size() * 2);
        int32_t start = 0;
        bool afterHan = false, separate = false;
        while (start < length) {
            int32_t end = std::min(length, start + piece);
            while (end < length) {
                if (!U16_IS_TRAIL(whole[end])) {
                    const UChar32 next = whole.char32At(end), previous = whole.char32At(end - 1);
                    if (isHan(next) || (!isHan(previous) && !isMark(next)))
                        break;
                }
                ++end;
            }
            const icu::UnicodeString part = whole.tempSubString(start, end - start);
            if (afterHan) {
                icu::UnicodeString context(static_cast<UChar>(0x4E09)); // 三
                context.append(part);
                const QString read = transliterated(context);
                if (!read.startsWith(u"san"))
                    return transliterated(whole); // not as expected: the whole text at once, slowly
                out += u' ';
                out += QStringView(read).mid(3);
            } else {
                if (separate)
                    out += u' ';
                out += transliterated(part);
            }
            if (end < length) {
                const bool hanNext = isHan(whole.char32At(end)), hanBefore = isHan(whole.char32At(end - 1));
                afterHan = hanNext && hanBefore;
                separate = hanNext || hanBefore;
            }
            start = end;
        }
        return out;
    }

    Transliteration() {
        UErrorCode status = U_ZERO_ERROR;
        transliterator_.reset(
            icu::Transliterator::createInstance("Han-Latin/Names; Latin-ASCII; Lower", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            transliterator_.reset();
    }
    static constexpr qsizetype CacheSize = 1 << 16;
    static constexpr qsizetype CachedLength = 64;
    QString transliterated(icu::UnicodeString buffer) {
        detail::largestTransliteration = std::max(detail::largestTransliteration, static_cast<int>(buffer.length()));
        transliterator_->transliterate(buffer);
        return QString(reinterpret_cast<const QChar*>(buffer.getBuffer()), buffer.length());
    }

    std::unique_ptr<icu::Transliterator> transliterator_;
    std::mutex mutex_;
    QHash<QString, QString> cache_;
};

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// The reading split into syllables and words: runs of ASCII letters, and runs of digits, in order.
// Whatever else the transliterator leaves (blanks, punctuation, emoji, Cyrillic) separates them.
QStringList tokensOf(const QString& latin) {
    QStringList tokens;
    qsizetype i = 0;
    while (i < latin.size()) {
        const QChar c = latin[i];
        const bool letter = isAsciiLetter(c), digit = isAsciiDigit(c);
        if (!letter && !digit) {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < latin.size() && (letter ? isAsciiLetter(latin[j]) : isAsciiDigit(latin[j])))
            ++j;
        tokens << latin.mid(i, j - i).toLower();
        i = j;
    }
    return tokens;
}

// The name as the transliterator splits it: each Han character on its own, each run of other
// letters and each run of digits. When these units and the tokens of the reading are as many,
// the n-th token is the reading of the n-th unit; the polyphone variants rely on that and are
// left out when it does not hold.
struct Unit {
    char32_t han = 0; // the character when the unit is one Han character
};
std::vector<Unit> unitsOf(const QString& name) {
    std::vector<Unit> units;
    enum class Run { None, Letters, Digits } run = Run::None;
    for (const char32_t cp : name.toUcs4()) {
        if (u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_IDEOGRAPHIC)) {
            units.push_back({cp});
            run = Run::None;
        } else if (u_isdigit(static_cast<UChar32>(cp))) {
            if (run != Run::Digits)
                units.push_back({});
            run = Run::Digits;
        } else if (u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_ALPHABETIC)) {
            if (run != Run::Letters)
                units.push_back({});
            run = Run::Letters;
        } else {
            run = Run::None;
        }
    }
    return units;
}

QStringList variantsOf(const QString& name, const QStringList& tokens, const QString& initials) {
    bool anyPolyphone = false;
    for (const QChar c : name)
        anyPolyphone = anyPolyphone || c.unicode() >= 0x2E80; // CJK ranges start here
    if (!anyPolyphone)
        return {};
    const std::vector<Unit> units = unitsOf(name);
    if (units.size() != static_cast<size_t>(tokens.size()))
        return {};

    // The letters each position may start with. A leading Han character is the surname, which
    // the transliterator already reads as a surname: it keeps that one reading.
    std::vector<QString> choices;
    bool polyphonic = false;
    for (size_t i = 0; i < units.size(); ++i) {
        QString letters(initials[static_cast<qsizetype>(i)]);
        const bool surname = i == 0 && units[0].han != 0;
        if (units[i].han != 0 && !surname) {
            const uint32_t mask = polyphoneLetters(units[i].han);
            for (int bit = 0; bit < 26; ++bit) {
                const QChar letter(u'a' + bit);
                if ((mask & (1u << bit)) && !letters.contains(letter))
                    letters += letter;
            }
        }
        polyphonic = polyphonic || letters.size() > 1;
        choices.push_back(letters);
    }
    if (!polyphonic)
        return {};

    // Every combination, the transliterator's own reading first at each position, in a fixed
    // order; a long name of many polyphonic characters stops at MaxVariants.
    QStringList variants;
    std::vector<qsizetype> pick(choices.size(), 0);
    while (variants.size() < MaxVariants) {
        // next combination (odometer, last position fastest)
        size_t position = choices.size();
        while (position > 0) {
            --position;
            if (++pick[position] < choices[position].size())
                break;
            pick[position] = 0;
            if (position == 0) {
                position = choices.size(); // wrapped round: done
                break;
            }
        }
        if (position == choices.size())
            break;
        QString variant;
        for (size_t i = 0; i < choices.size(); ++i)
            variant += choices[i][pick[i]];
        variants << variant;
    }
    return variants;
}

} // namespace

bool isAvailable() {
    return Transliteration::instance().isAvailable();
}

QString latinReading(const QString& name) {
    bool ascii = true;
    for (const QChar c : name)
        ascii = ascii && c.unicode() < 0x80;
    // ICU's chain leaves ASCII as it is, lower-cased; skipping it makes Latin names cheap.
    return ascii ? name.toLower() : Transliteration::instance().latin(name);
}

Keys keysOf(const QString& name) {
    Keys keys;
    if (name.trimmed().isEmpty())
        return keys;
    const QStringList tokens = tokensOf(latinReading(name));
    for (const QString& token : tokens) {
        keys.full += token;
        keys.initials += token[0];
    }
    keys.variants = variantsOf(name, tokens, keys.initials);
    // '{' follows 'z': names that start with a digit or that ICU cannot read come after the
    // letters, as in a phone's contact list.
    const bool letterFirst = !tokens.isEmpty() && isAsciiLetter(tokens[0][0]);
    keys.sortKey = (letterFirst ? QString() : QStringLiteral("{")) + tokens.join(u' ');
    return keys;
}

} // namespace pinyin
