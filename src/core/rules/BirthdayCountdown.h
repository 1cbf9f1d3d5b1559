#pragma once
// What the reminder list shows beside each person: how many days until the birthday is kept, and
// the age the person turns that day. A birthday without a year (or a lunar one without a year)
// gives no age.
#include "core/store/ContactFields.h"
#include "core/store/RowTable.h"

#include <QDate>
#include <QString>
#include <optional>
#include <string>
#include <unordered_map>

class Store;

struct BirthdayCountdown {
    int daysLeft = 0;       // 0 is today
    std::optional<int> age; // the age turned on that day
    friend bool operator==(const BirthdayCountdown&, const BirthdayCountdown&) = default;
};

// Nothing when the person has no birthday the calendar can place.
std::optional<BirthdayCountdown> birthdayCountdown(const QDate& today, const StoredBirthday& birthday);

// "今天", "明天", "还有 3 天".
QString daysLeftText(int daysLeft);
// "41 岁"; empty without an age.
QString ageText(const std::optional<int>& age);

// The countdown of every row of a reminder fill, by contact key. The Gregorian 生日 is the row's
// own cell; a lunar birthday is read from its table (one read). Throws StoreError.
using ReminderMarks = std::unordered_map<std::string, BirthdayCountdown>;
ReminderMarks reminderMarks(Store& store, const RowTable& rows, const QDate& today);
