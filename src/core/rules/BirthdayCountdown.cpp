#include "core/rules/BirthdayCountdown.h"

#include "core/rules/NextBirthdays.h"
#include "core/store/ContactFields.h"
#include "core/store/LunarBirthdays.h"
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"

namespace {

std::optional<int> ageOn(const QDate& day, const StoredBirthday& birthday) {
    int age = 0;
    if (birthday.lunar && birthday.lunar->isValid()) {
        const std::optional<lunar::Day> kept = lunar::fromGregorian(day);
        if (birthday.lunar->year <= 0 || !kept)
            return std::nullopt;
        age = kept->year - birthday.lunar->year;
    } else {
        if (!birthday.gregorian || birthday::isYearless(*birthday.gregorian))
            return std::nullopt;
        age = day.year() - birthday.gregorian->year();
    }
    // A birthday in the future (a typing slip) turns no age.
    return age >= 0 ? std::optional<int>(age) : std::nullopt;
}

} // namespace

std::optional<BirthdayCountdown> birthdayCountdown(const QDate& today, const StoredBirthday& birthday) {
    const std::optional<QDate> day = upcomingBirthday(today, birthday);
    if (!day)
        return std::nullopt;
    return BirthdayCountdown{static_cast<int>(today.daysTo(*day)), ageOn(*day, birthday)};
}

QString daysLeftText(int daysLeft) {
    if (daysLeft == 0)
        return QStringLiteral("今天");
    if (daysLeft == 1)
        return QStringLiteral("明天");
    return QStringLiteral("还有 %1 天").arg(daysLeft);
}

QString ageText(const std::optional<int>& age) {
    return age ? QStringLiteral("%1 岁").arg(*age) : QString();
}

ReminderMarks reminderMarks(Store& store, const RowTable& rows, const QDate& today) {
    ReminderMarks marks;
    if (rows.rowCount() == 0)
        return marks;
    const std::unordered_map<std::string, LunarBirthday> lunar = store.lunarBirthdays().byContactKey();
    for (int row = 0; row < rows.rowCount(); ++row) {
        std::string key(rows.text(row, RowTable::KeyColumn));
        StoredBirthday birthday;
        if (const auto found = lunar.find(key); found != lunar.end())
            birthday.lunar = found->second;
        else if (!rows.isNull(row, RowTable::BirthdayColumn))
            birthday.gregorian = parseStoredDate(rows.text(row, RowTable::BirthdayColumn));
        if (const std::optional<BirthdayCountdown> countdown = birthdayCountdown(today, birthday))
            marks.emplace(std::move(key), *countdown);
    }
    return marks;
}
