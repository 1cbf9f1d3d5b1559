#pragma once
// nowbirthday is not a true next birthday: it is this calendar year's birthday, except that a
// birthday early next year that already falls inside the reminder window is stored as today, so
// that the window query [today, today + days] catches it across the turn of the year.
//
// A lunar birthday follows the same rule with the lunar year in place of the calendar year: its day
// in the lunar year that today belongs to, or today when its day in the next lunar year already
// falls inside the window. Where the lunar table ends, the Gregorian 生日 is used.
#include "core/store/ContactFields.h"

#include <QDate>
#include <optional>

class Store;

// A day beyond the end of the month carries into the next month (29 February -> 1 March).
QDate carriedDate(int year, int month, int day);
std::optional<QDate> nextBirthdayValue(const QDate& today, const std::optional<QDate>& birthday, int windowDays);
std::optional<QDate> nextBirthdayValue(const QDate& today, const StoredBirthday& birthday, int windowDays);
// The first day on or after today on which the birthday is kept: what the reminder tells the user.
std::optional<QDate> upcomingBirthday(const QDate& today, const StoredBirthday& birthday);

// Recomputes nowbirthday of every person in one transaction; adds the column to an older data
// file first. Throws StoreError.
void ComputeNextBirthdays(Store& store, const QDate& today, int windowDays);
