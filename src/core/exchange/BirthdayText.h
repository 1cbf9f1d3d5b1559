#pragma once
// Birthdays as the exchange formats write them. A birthday without a year (birthday::YearlessYear)
// is written without a year.
#include "core/text/TypedDate.h"

#include <QDate>
#include <QStringView>
#include <optional>

namespace birthday {

// The order of day and month in a date written with the year last, when the file tells it (Outlook
// in English writes 5/17/1985).
enum class Order { Unknown, MonthFirst, DayFirst };

struct Reading {
    enum class Kind {
        Date,      // `date` holds the birthday
        Empty,     // the empty date some programs write for no birthday (Outlook's 0/0/00)
        Ambiguous, // 3/4/1985 without an order: the third of April or the fourth of March
        Unknown,   // not a date
    };
    Kind kind = Kind::Unknown;
    std::optional<QDate> date;
};

// Reads every form the exchange files use: ISO 1990-05-17, basic 19900517, date-times (the time is
// dropped), year-less --0517 and --05-17, and the forms people type in spreadsheets: 1990/5/17,
// 1990.5.17, 1990年5月17日, 5月17日, and with the year last 5/17/1990 (month first, as in the US),
// 17/5/1990 and 17.05.1990 (day first; with dots always so). Which of month and day comes first in
// 3/4/1990 only the order says. A date whose year equals omitYear (Apple's X-APPLE-OMIT-YEAR) is
// year-less, and so is the year 0000 some programs write; a date of zeros only (0/0/00, 0000-00-00)
// is no birthday.
Reading read(QStringView text, Order order = Order::Unknown, std::optional<int> omitYear = std::nullopt);

// The date of read(), nothing for anything else.
std::optional<QDate> parse(QStringView text, std::optional<int> omitYear = std::nullopt);

enum class Style {
    Extended, // 1990-05-17, year-less --05-17 (vCard 3.0, CSV)
    Basic,    // 19900517, year-less --0517 (vCard 4.0)
};
QString format(const QDate& date, Style style);

} // namespace birthday
