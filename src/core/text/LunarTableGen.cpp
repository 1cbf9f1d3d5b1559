// Build-time generator: asks Debian's liblunar-date (a table-based Chinese calendar, the one the
// `lunar` utility uses) for the lunar date of every Gregorian day it knows, and writes a C++ source
// with one entry per lunar year: the Gregorian day of its 正月初一 (as a Julian day number), which of
// its months have 30 days, and which month, if any, is followed by a leap month. The program itself
// then needs neither GLib nor the library, and the table stays the published calendar's.
//
// Usage: zinteva_lunar_gen <output.cpp>
#include <lunar-date/lunar-date.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Month {
    int number = 0;
    bool leap = false;
    long firstDay = 0; // Julian day number
    int length = 0;
};

struct Year {
    int year = 0;
    std::vector<Month> months;
};

long julianDay(int year, int month, int day) {
    // Fliegel and Van Flandern's formula for the proleptic Gregorian calendar.
    const long a = (14 - month) / 12;
    const long y = year + 4800 - a;
    const long m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool fail(const std::string& why) {
    std::cerr << "zinteva_lunar_gen: " << why << "\n";
    return false;
}

bool collect(std::vector<Year>& years) {
    LunarDate* date = lunar_date_new();
    GDate* day = g_date_new_dmy(1, G_DATE_JANUARY, 1900);
    GDate* end = g_date_new_dmy(31, G_DATE_DECEMBER, 2100);
    Month* current = nullptr;
    bool ok = true;
    for (; g_date_compare(day, end) <= 0 && ok; g_date_add_days(day, 1)) {
        GError* error = nullptr;
        const int gy = g_date_get_year(day), gm = g_date_get_month(day), gd = g_date_get_day(day);
        lunar_date_set_solar_date(date, static_cast<GDateYear>(gy), static_cast<GDateMonth>(gm),
                                  static_cast<GDateDay>(gd), 0, &error);
        if (error) { // before the library's first day
            g_clear_error(&error);
            if (current)
                ok = fail("a gap in the library's days");
            continue;
        }
        gchar* text = lunar_date_strftime(date, "%(nian) %(yue) %(ri)");
        int ly = 0, lm = 0, ld = 0;
        char monthText[16] = {};
        if (std::sscanf(text, "%d %15s %d", &ly, monthText, &ld) != 3)
            ok = fail(std::string("unexpected date text ") + text);
        g_free(text);
        if (!ok)
            break;
        const bool leap = monthText[0] == '*';
        lm = std::atoi(leap ? monthText + 1 : monthText);
        const long jd = julianDay(gy, gm, gd);
        const bool newMonth = !current || current->number != lm || current->leap != leap;
        if (newMonth) {
            if (current && ld != 1)
                ok = fail("a month that does not start on its first day");
            if (years.empty() || years.back().year != ly) {
                if (!years.empty() && ly != years.back().year + 1)
                    ok = fail("lunar years out of order");
                years.push_back({ly, {}});
            }
            years.back().months.push_back({lm, leap, jd - (ld - 1), 0});
            current = &years.back().months.back();
        } else if (jd - current->firstDay + 1 != ld) {
            ok = fail("days out of order");
        }
        current->length = static_cast<int>(jd - current->firstDay + 1);
    }
    g_date_free(day);
    g_date_free(end);
    lunar_date_free(date);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 2) {
        std::cerr << "usage: zinteva_lunar_gen <output.cpp>\n";
        return 2;
    }
    const char* output = argv[argc - 1];
    std::vector<Year> years;
    if (!collect(years))
        return 1;
    // The first and last years the library covers are cut off by its range: only whole years go in,
    // and the year after the last one gives its 正月初一 so that the last whole year has an end.
    while (!years.empty() && (years.front().months.empty() || years.front().months.front().number != 1 ||
                              years.front().months.front().firstDay == 0))
        years.erase(years.begin());
    if (years.size() < 150)
        return fail("too few lunar years") ? 0 : 1;
    const Year next = years.back();
    years.pop_back();

    std::ostringstream out;
    out << "// Generated at build time by zinteva_lunar_gen from liblunar-date. Do not edit.\n"
           "#include \"core/text/LunarTable.h\"\n\n"
           "namespace lunar::detail {\n\n"
           "const LunarYearData lunarYears[] = {\n";
    for (const Year& y : years) {
        // Each month in order, leap month included, must be 29 or 30 days and numbered 1 to 12.
        const size_t count = y.months.size();
        if (count != 12 && count != 13)
            return fail("lunar year " + std::to_string(y.year) + " has " + std::to_string(count) + " months") ? 0 : 1;
        unsigned bigMonths = 0;
        int leapMonth = 0, expected = 1;
        for (size_t i = 0; i < count; ++i) {
            const Month& m = y.months[i];
            if (m.length != 29 && m.length != 30)
                return fail("a month of " + std::to_string(m.length) + " days in " + std::to_string(y.year)) ? 0 : 1;
            if (m.leap) {
                if (leapMonth || i == 0 || m.number != y.months[i - 1].number)
                    return fail("a misplaced leap month in " + std::to_string(y.year)) ? 0 : 1;
                leapMonth = m.number;
            } else if (m.number != expected++) {
                return fail("months out of order in " + std::to_string(y.year)) ? 0 : 1;
            }
            if (m.length == 30)
                bigMonths |= 1u << i;
        }
        out << "    {" << y.year << ", " << y.months.front().firstDay << ", 0x" << std::hex << bigMonths << std::dec
            << ", " << leapMonth << "},\n";
    }
    out << "};\n\n"
           "const int lunarYearCount = "
        << years.size()
        << ";\n"
           "// 正月初一 of the year after the last one: where the last year ends.\n"
           "const long lunarTableEnd = "
        << next.months.front().firstDay << ";\n\n} // namespace lunar::detail\n";

    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        std::cerr << "zinteva_lunar_gen: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
