#pragma once
// The lunar calendar as a table, one entry per lunar year, generated at build time from
// liblunar-date (text/LunarTableGen.cpp): the program never computes new moons itself.
#include <cstdint>

namespace lunar::detail {

struct LunarYearData {
    int16_t year;       // the Gregorian year in which this lunar year begins
    int32_t newYear;    // 正月初一 as a Julian day number
    uint16_t bigMonths; // bit i set: the i-th month of the year, the leap month counted, has 30 days
    uint8_t leapMonth;  // the month followed by a leap month of the same number; 0 for none
};

extern const LunarYearData lunarYears[];
extern const int lunarYearCount;
extern const long lunarTableEnd;

} // namespace lunar::detail
