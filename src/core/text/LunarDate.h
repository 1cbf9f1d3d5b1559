#pragma once
// The Chinese lunar calendar (农历) for birthdays kept by it. A lunar year is named by the Gregorian
// year in which it begins (its 正月初一); months are 1 to 12, a leap month (闰月) carries the number of
// the month it follows. The calendar comes from a table generated from liblunar-date at build time
// and covers the lunar years firstYear() to lastYear() (1900 to 2099).
#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

namespace lunar {

struct Day {
    int year = 0;
    int month = 0;
    int day = 0;
    bool leap = false;
    friend bool operator==(const Day&, const Day&) = default;
};

int firstYear();
int lastYear();
// The month a leap month follows in that year; 0 when the year has none or is not in the table.
int leapMonthOf(int year);
// 29 or 30; 0 when the year has no such month.
int monthLength(int year, int month, bool leap);
std::optional<Day> fromGregorian(const QDate& date);
// The Gregorian day of a lunar day that exists; nothing for one that does not.
std::optional<QDate> toGregorian(const Day& day);

// The day a birthday of lunar month/day/leap is kept in a given lunar year, by common practice:
// a leap-month birthday in a year without that leap month is kept in the ordinary month of the same
// number; a birthday on the 30th is kept on the 29th when the month has only 29 days that year; a
// birthday in an ordinary month stays there even when a leap month of that number follows. Nothing
// outside the table.
std::optional<QDate> birthdayIn(int year, int month, int day, bool leap);

// 正月 二月 ... 十月 冬月 腊月, with 闰 before a leap month; 初一 ... 初十 十一 ... 二十 廿一 ... 三十.
QString monthName(int month, bool leap);
QString dayName(int day);

} // namespace lunar

// A birthday kept by the lunar calendar. year 0: the year of birth is not known.
struct LunarBirthday {
    int year = 0;
    int month = 1;
    int day = 1;
    bool leap = false;

    // Month 1-12 and day 1-30; with a year, that day exists in that lunar year.
    bool isValid() const;
    // The Gregorian day of birth; nothing without a year.
    std::optional<QDate> gregorian() const;
    friend bool operator==(const LunarBirthday&, const LunarBirthday&) = default;
};

// As the program shows it: "农历 1950年腊月初八", "农历 闰四月十五" (no year known).
QString lunarBirthdayText(const LunarBirthday& birthday);
// Without the year: "农历 腊月初八".
QString lunarMonthDayText(const LunarBirthday& birthday);
// What the user types: the shown form with or without "农历" and the year ("1950年腊月初八",
// "腊月初八", "闰四月十五", "四月廿三"), numbers ("1950年12月8日", "12月8日", "闰4月15日"), or the file
// form below. Nothing when the text is not a valid lunar birthday.
std::optional<LunarBirthday> parseLunarBirthday(QStringView text);
// The form in files: year-month-day with an L before a leap month, "1950-12-08", "2020-L04-15";
// "--12-08" without a year.
QString lunarBirthdayValue(const LunarBirthday& birthday);
std::optional<LunarBirthday> parseLunarBirthdayValue(QStringView text);
