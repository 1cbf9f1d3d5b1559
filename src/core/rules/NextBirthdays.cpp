#include "core/rules/NextBirthdays.h"

#include "core/store/ContactFields.h"
#include "core/store/Store.h"

namespace {

// The birthday's day in the year (calendar or lunar) that today belongs to, and in the next one.
struct YearDays {
    QDate thisYear;
    QDate nextYear;
};

std::optional<YearDays> lunarYearDays(const QDate& today, const LunarBirthday& b) {
    const std::optional<lunar::Day> now = lunar::fromGregorian(today);
    if (!now)
        return std::nullopt;
    const auto thisYear = lunar::birthdayIn(now->year, b.month, b.day, b.leap);
    const auto nextYear = lunar::birthdayIn(now->year + 1, b.month, b.day, b.leap);
    if (!thisYear || !nextYear)
        return std::nullopt;
    return YearDays{*thisYear, *nextYear};
}

std::optional<YearDays> yearDays(const QDate& today, const StoredBirthday& birthday) {
    if (birthday.lunar && birthday.lunar->isValid()) {
        if (auto days = lunarYearDays(today, *birthday.lunar))
            return days;
    }
    if (!birthday.gregorian || !birthday.gregorian->isValid())
        return std::nullopt;
    const int month = birthday.gregorian->month(), day = birthday.gregorian->day();
    return YearDays{carriedDate(today.year(), month, day), carriedDate(today.year() + 1, month, day)};
}

} // namespace

QDate carriedDate(int year, int month, int day) {
    const QDate first(year, month, 1);
    return first.addDays(day - 1);
}

std::optional<QDate> nextBirthdayValue(const QDate& today, const std::optional<QDate>& birthday, int windowDays) {
    return nextBirthdayValue(today, StoredBirthday{birthday, std::nullopt}, windowDays);
}

std::optional<QDate> nextBirthdayValue(const QDate& today, const StoredBirthday& birthday, int windowDays) {
    const std::optional<YearDays> days = yearDays(today, birthday);
    if (!days)
        return std::nullopt;
    if (days->nextYear <= today.addDays(windowDays))
        return today;
    return days->thisYear;
}

std::optional<QDate> upcomingBirthday(const QDate& today, const StoredBirthday& birthday) {
    const std::optional<YearDays> days = yearDays(today, birthday);
    if (!days)
        return std::nullopt;
    return days->thisYear >= today ? days->thisYear : days->nextYear;
}

void ComputeNextBirthdays(Store& store, const QDate& today, int windowDays) {
    if (!store.hasNextBirthdayColumn())
        store.addNextBirthdayColumn();
    store.writeNextBirthdays(
        [&](const StoredBirthday& birthday) { return nextBirthdayValue(today, birthday, windowDays); });
}
