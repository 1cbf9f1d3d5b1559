#pragma once
// nowbirthday is not a true next birthday: it is this calendar year's birthday, except that a
// birthday early next year that already falls inside the reminder window is stored as today, so
// that the window query [today, today + days] catches it across the turn of the year.
#include <QDate>
#include <optional>

class Store;

// A day beyond the end of the month carries into the next month (29 February -> 1 March).
QDate carriedDate(int year, int month, int day);
std::optional<QDate> nextBirthdayValue(const QDate& today, const std::optional<QDate>& birthday, int windowDays);

// Recomputes nowbirthday of every person in one transaction; adds the column to an older data
// file first. Throws StoreError.
void ComputeNextBirthdays(Store& store, const QDate& today, int windowDays);
