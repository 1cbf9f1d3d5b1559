#pragma once
// Birthdays as the exchange formats write them. A birthday without a year (birthday::YearlessYear)
// is written without a year.
#include "core/text/TypedDate.h"

#include <QDate>
#include <QStringView>
#include <optional>

namespace birthday {

// Reads every form the exchange files use: ISO 1990-05-17, basic 19900517, date-times (the time is
// dropped), year-less --0517 and --05-17, and the forms people type in spreadsheets: 1990/5/17,
// 1990.5.17, 1990年5月17日, 5月17日. A date whose year equals omitYear (Apple's X-APPLE-OMIT-YEAR) is
// year-less, and so is the year 0000 some programs write. Nothing when the text is not a whole date.
std::optional<QDate> parse(QStringView text, std::optional<int> omitYear = std::nullopt);

enum class Style {
    Extended, // 1990-05-17, year-less --05-17 (vCard 3.0, CSV)
    Basic,    // 19900517, year-less --0517 (vCard 4.0)
};
QString format(const QDate& date, Style style);

} // namespace birthday
