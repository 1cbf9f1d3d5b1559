#include "core/text/LunarDate.h"

#include "core/text/LunarTable.h"

#include <QRegularExpression>
#include <algorithm>

namespace lunar {
namespace {

using detail::LunarYearData;
using detail::lunarYearCount;
using detail::lunarYears;

const LunarYearData* yearData(int year) {
    if (lunarYearCount <= 0)
        return nullptr;
    const int index = year - lunarYears[0].year;
    if (index < 0 || index >= lunarYearCount)
        return nullptr;
    return &lunarYears[index];
}

int monthCount(const LunarYearData& y) {
    return y.leapMonth ? 13 : 12;
}

// The place of a month in its year's sequence, the leap month counted; -1 when the year has none.
int monthIndex(const LunarYearData& y, int month, bool leap) {
    if (month < 1 || month > 12)
        return -1;
    if (leap)
        return y.leapMonth == month ? month : -1;
    return y.leapMonth && month > y.leapMonth ? month : month - 1;
}

int lengthAt(const LunarYearData& y, int index) {
    return (y.bigMonths >> index) & 1 ? 30 : 29;
}

const QString Digits[] = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四"),
                          QStringLiteral("五"), QStringLiteral("六"), QStringLiteral("七"), QStringLiteral("八"),
                          QStringLiteral("九"), QStringLiteral("十")};

} // namespace

int firstYear() {
    return lunarYears[0].year;
}

int lastYear() {
    return lunarYears[lunarYearCount - 1].year;
}

int leapMonthOf(int year) {
    const LunarYearData* y = yearData(year);
    return y ? y->leapMonth : 0;
}

int monthLength(int year, int month, bool leap) {
    const LunarYearData* y = yearData(year);
    if (!y)
        return 0;
    const int index = monthIndex(*y, month, leap);
    return index < 0 ? 0 : lengthAt(*y, index);
}

std::optional<Day> fromGregorian(const QDate& date) {
    if (!date.isValid())
        return std::nullopt;
    const qint64 jd = date.toJulianDay();
    if (jd < lunarYears[0].newYear || jd >= detail::lunarTableEnd)
        return std::nullopt;
    // The last year whose 正月初一 is not after the date.
    const LunarYearData* end = lunarYears + lunarYearCount;
    const LunarYearData* y =
        std::upper_bound(lunarYears, end, jd, [](qint64 day, const LunarYearData& e) { return day < e.newYear; }) - 1;
    qint64 offset = jd - y->newYear;
    for (int index = 0; index < monthCount(*y); ++index) {
        const int length = lengthAt(*y, index);
        if (offset < length) {
            Day d;
            d.year = y->year;
            d.day = static_cast<int>(offset) + 1;
            if (y->leapMonth && index == y->leapMonth) {
                d.month = y->leapMonth;
                d.leap = true;
            } else {
                d.month = y->leapMonth && index > y->leapMonth ? index : index + 1;
            }
            return d;
        }
        offset -= length;
    }
    return std::nullopt; // cannot happen: the next year's 正月初一 ends this one
}

std::optional<QDate> toGregorian(const Day& day) {
    const LunarYearData* y = yearData(day.year);
    if (!y)
        return std::nullopt;
    const int index = monthIndex(*y, day.month, day.leap);
    if (index < 0 || day.day < 1 || day.day > lengthAt(*y, index))
        return std::nullopt;
    qint64 jd = y->newYear;
    for (int i = 0; i < index; ++i)
        jd += lengthAt(*y, i);
    return QDate::fromJulianDay(jd + day.day - 1);
}

std::optional<QDate> birthdayIn(int year, int month, int day, bool leap) {
    if (month < 1 || month > 12 || day < 1 || day > 30 || !yearData(year))
        return std::nullopt;
    const bool keptLeap = leap && leapMonthOf(year) == month;
    const int length = monthLength(year, month, keptLeap);
    return toGregorian({year, month, std::min(day, length), keptLeap});
}

QString monthName(int month, bool leap) {
    if (month < 1 || month > 12)
        return {};
    QString name;
    if (month == 1)
        name = QStringLiteral("正月");
    else if (month == 11)
        name = QStringLiteral("冬月");
    else if (month == 12)
        name = QStringLiteral("腊月");
    else
        name = Digits[month - 1] + QStringLiteral("月");
    return leap ? QStringLiteral("闰") + name : name;
}

QString dayName(int day) {
    if (day < 1 || day > 30)
        return {};
    if (day <= 10)
        return QStringLiteral("初") + Digits[day - 1];
    if (day < 20)
        return QStringLiteral("十") + Digits[day - 11];
    if (day == 20)
        return QStringLiteral("二十");
    if (day < 30)
        return QStringLiteral("廿") + Digits[day - 21];
    return QStringLiteral("三十");
}

} // namespace lunar

bool LunarBirthday::isValid() const {
    if (month < 1 || month > 12 || day < 1 || day > 30 || year < 0)
        return false;
    return year == 0 || lunar::toGregorian({year, month, day, leap}).has_value();
}

std::optional<QDate> LunarBirthday::gregorian() const {
    if (year == 0)
        return std::nullopt;
    return lunar::toGregorian({year, month, day, leap});
}

QString lunarMonthDayText(const LunarBirthday& b) {
    return QStringLiteral("农历 ") + lunar::monthName(b.month, b.leap) + lunar::dayName(b.day);
}

QString lunarBirthdayText(const LunarBirthday& b) {
    if (b.year == 0)
        return lunarMonthDayText(b);
    return QStringLiteral("农历 %1年").arg(b.year) + lunar::monthName(b.month, b.leap) + lunar::dayName(b.day);
}

namespace {

// A number written with 一 to 十 (and 廿, 卅), as month and day names use them; 0 when it is not one.
int chineseNumber(QStringView text) {
    static const QString digits = QStringLiteral("一二三四五六七八九");
    if (text.isEmpty() || text.size() > 3)
        return 0;
    auto digit = [&](QChar c) { return int(digits.indexOf(c)) + 1; };
    const QChar first = text[0];
    int tens = 0;
    QStringView rest = text;
    if (first == u'十') {
        tens = 1;
        rest = text.mid(1);
    } else if (first == u'廿') {
        tens = 2;
        rest = text.mid(1);
    } else if (first == u'卅') {
        tens = 3;
        rest = text.mid(1);
    } else if (text.size() >= 2 && text[1] == u'十' && digit(first) > 0) {
        tens = digit(first);
        rest = text.mid(2);
    }
    if (rest.isEmpty())
        return tens * 10;
    if (rest.size() != 1 || digit(rest[0]) == 0)
        return 0;
    return tens * 10 + digit(rest[0]);
}

int monthFromName(QStringView text) {
    if (text == u"正")
        return 1;
    if (text == u"冬")
        return 11;
    if (text == u"腊" || text == u"臘")
        return 12;
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok)
        return n;
    return chineseNumber(text);
}

int dayFromName(QStringView text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok)
        return n;
    if (text.startsWith(u'初'))
        return text.size() == 2 ? chineseNumber(text.mid(1)) : 0;
    if (text == u"二十")
        return 20;
    if (text == u"三十")
        return 30;
    const int value = chineseNumber(text);
    return value > 10 ? value : 0; // 十 alone is 初十
}

std::optional<LunarBirthday> checked(const LunarBirthday& b) {
    if (!b.isValid())
        return std::nullopt;
    return b;
}

} // namespace

std::optional<LunarBirthday> parseLunarBirthdayValue(QStringView text) {
    static const QRegularExpression form(QStringLiteral(R"(^(?:(\d{4})|--)-?(L?)(\d{1,2})-?(\d{1,2})$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed().toString());
    if (!m.hasMatch())
        return std::nullopt;
    LunarBirthday b;
    b.year = m.capturedView(1).isEmpty() ? 0 : m.capturedView(1).toInt();
    b.leap = !m.capturedView(2).isEmpty();
    b.month = m.capturedView(3).toInt();
    b.day = m.capturedView(4).toInt();
    if (m.capturedView(1).isEmpty() && text.trimmed().startsWith(u"---"))
        return std::nullopt;
    return checked(b);
}

QString lunarBirthdayValue(const LunarBirthday& b) {
    const QString monthDay = QStringLiteral("%1%2-%3")
                                 .arg(b.leap ? QStringLiteral("L") : QString())
                                 .arg(b.month, 2, 10, QLatin1Char('0'))
                                 .arg(b.day, 2, 10, QLatin1Char('0'));
    if (b.year == 0)
        return QStringLiteral("--") + monthDay;
    return QStringLiteral("%1-").arg(b.year, 4, 10, QLatin1Char('0')) + monthDay;
}

std::optional<LunarBirthday> parseLunarBirthday(QStringView input) {
    QString text = input.trimmed().toString();
    text.remove(u' ').remove(u'\u3000');
    if (text.startsWith(u"农历") || text.startsWith(u"阴历"))
        text = text.mid(2);
    if (const auto value = parseLunarBirthdayValue(text))
        return value;
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:(\d{4})年)?(闰)?([正冬腊臘一二三四五六七八九十]{1,2}|\d{1,2})月([初十廿卅一二三四五六七八九]{1,3}|\d{1,2})日?$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    LunarBirthday b;
    b.year = m.capturedView(1).isEmpty() ? 0 : m.capturedView(1).toInt();
    b.leap = !m.capturedView(2).isEmpty();
    b.month = monthFromName(m.capturedView(3));
    b.day = dayFromName(m.capturedView(4));
    return checked(b);
}
