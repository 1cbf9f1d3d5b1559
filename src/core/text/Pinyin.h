#pragma once
// The pinyin keys of a contact's name, so that "zs", "zhangs" or "zhang san" find 张三 and the
// list can be put in pinyin order. Keys are computed once per save (never per paint or per
// comparison) and kept in the data file's pinyin table (store/PinyinKeys.h).
//
// The reading comes from ICU's transliterator "Han-Latin/Names; Latin-ASCII; Lower", which reads
// a name's first character as a surname (单 shan, 曾 zeng, 解 xie, 仇 qiu, 乐 yue, 查 zha), takes
// traditional characters as well as simplified ones, and turns Latin letters with accents into
// plain ones. Latin names keep their letters, lower-cased.
#include <QString>
#include <QStringList>

namespace pinyin {

struct Keys {
    // The name's syllables and Latin words run together, lower-case ASCII letters and digits:
    // 张三 -> "zhangsan", "David 张" -> "davidzhang".
    QString full;
    // The first letter (or digit) of every syllable and word: 张三 -> "zs".
    QString initials;
    // The initials the name also has when a polyphonic given-name character is read its other
    // ways: 张长 ("zc", as ICU reads it) also has "zz". At most MaxVariants, never the initials
    // themselves. The first character of a Chinese name is its surname, which keeps ICU's one
    // reading (单 shan).
    QStringList variants;
    // Orders names by their syllables, Latin names among them: the syllables and words separated
    // by one blank, so that 阿明 "a ming" < Alice "alice" < 白雪 "bai xue". A name that starts
    // with a digit, or that has nothing ICU can read (an emoji, Cyrillic), gets a leading '{',
    // which sorts after every letter: "3号" "{3 hao", "😀" "{". Empty for an empty or blank name
    // (sorted last).
    QString sortKey;

    friend bool operator==(const Keys&, const Keys&) = default;
};

inline constexpr int MaxVariants = 16;

// The keys of one name. Cheap for an all-ASCII name; about 25 µs for a Chinese one (ICU).
Keys keysOf(const QString& name);

// The ASCII reading of a name as ICU gives it, syllables separated by blanks: "zhang san".
QString latinReading(const QString& name);

// False when ICU's Han-Latin transliterator could not be created (ICU without its data): Latin
// names then keep their keys and Chinese names get none; the search by name still works.
bool isAvailable();

namespace detail {
// A long name is transliterated in pieces of about this many UTF-16 units (ICU's own cost grows
// faster than the text); the longest text handed to ICU so far is counted, for the tests.
extern int transliterationPiece;
extern int largestTransliteration;
} // namespace detail

} // namespace pinyin
