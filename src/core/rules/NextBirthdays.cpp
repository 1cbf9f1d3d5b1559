#include "core/rules/NextBirthdays.h"

#include "core/store/Store.h"

QDate carriedDate(int year, int month, int day) {
    const QDate first(year, month, 1);
    return first.addDays(day - 1);
}

std::optional<QDate> nextBirthdayValue(const QDate& today, const std::optional<QDate>& birthday, int windowDays) {
    if (!birthday || !birthday->isValid())
        return std::nullopt;
    const int month = birthday->month(), day = birthday->day();
    const QDate nextYear = carriedDate(today.year() + 1, month, day);
    if (nextYear <= today.addDays(windowDays))
        return today;
    return carriedDate(today.year(), month, day);
}

void ComputeNextBirthdays(Store& store, const QDate& today, int windowDays) {
    if (!store.hasNextBirthdayColumn())
        store.addNextBirthdayColumn();
    store.writeNextBirthdays(
        [&](const std::optional<QDate>& birthday) { return nextBirthdayValue(today, birthday, windowDays); });
}
