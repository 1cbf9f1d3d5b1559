#include "core/rules/BirthdayHint.h"

#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"

#include <algorithm>

BirthdayHint birthdayHint(const QString& typed, bool lunar) {
    if (typed.trimmed().isEmpty())
        return BirthdayHint::None;
    if (lunar)
        return parseLunarBirthday(typed) ? BirthdayHint::None : BirthdayHint::NotADate;
    if (typedDate(typed))
        return BirthdayHint::None;
    // Digits alone ("1990-2-30") read as a lunar date too, but nobody types them meaning one: only
    // the lunar words (腊月初八) make the hint suggest 农历.
    const bool words = std::any_of(typed.begin(), typed.end(), [](QChar c) { return c.unicode() > 0x7f; });
    return words && parseLunarBirthday(typed) ? BirthdayHint::LunarUnticked : BirthdayHint::NotADate;
}

QString birthdayHintText(BirthdayHint hint) {
    switch (hint) {
    case BirthdayHint::None:
        break;
    case BirthdayHint::NotADate:
        return QStringLiteral("无法识别");
    case BirthdayHint::LunarUnticked:
        return QStringLiteral("请勾选农历");
    }
    return {};
}

QString birthdayHintDetail(BirthdayHint hint) {
    switch (hint) {
    case BirthdayHint::None:
        break;
    case BirthdayHint::NotADate:
        return QStringLiteral("这不是日期（如 1980-5-3），保存时不会存为生日");
    case BirthdayHint::LunarUnticked:
        return QStringLiteral("这是农历日期：请勾选“农历”，否则保存时不会存为生日");
    }
    return {};
}
