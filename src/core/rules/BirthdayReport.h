#pragma once
// The birthdays of today and of the reminder window, as the command line prints them and the
// desktop notification shows them: the same people the reminder list shows, each with the day
// their birthday is kept (the true day, also across the turn of the year) and how many days away
// it is, nearest first.
#include "core/store/ContactFields.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

class Store;

struct BirthdayReportRow {
    QString key;
    QString name;
    QDate day;        // the day the birthday is kept, today or within the window
    int daysLeft = 0; // 0 is today
    StoredBirthday birthday;
};

struct BirthdayReport {
    QDate today;
    int windowDays = 0;
    std::vector<BirthdayReportRow> rows;

    // The reminder list's own words: "最近 10 天有 2 位过生日的好友", "今天没有过生的好友！", ...
    QString summary() const;
    // One line per person: when, name, birthday, separated by tabs: "今天\t张三\t农历 腊月初八",
    // "12月27日（还有 3 天）\t李四\t5月3日".
    QStringList lines() const;
};

BirthdayReport birthdayReport(Store& store, const QDate& today, int windowDays); // throws StoreError
// "农历 腊月初八" for a lunar birthday, "5月3日" for a Gregorian one; empty for none.
QString birthdayDayText(const StoredBirthday& birthday);
