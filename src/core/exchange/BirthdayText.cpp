#include "core/exchange/BirthdayText.h"

#include <QString>

namespace birthday {

namespace {

// Reads exactly `count` ASCII digits at `pos`.
std::optional<int> digits(QStringView text, qsizetype pos, qsizetype count) {
    if (pos < 0 || pos + count > text.size())
        return std::nullopt;
    int value = 0;
    for (qsizetype i = pos; i < pos + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

std::optional<QDate> makeDate(int year, int month, int day) {
    if (year == 0)
        year = YearlessYear; // "0000-05-17": a year-less birthday in some programs' hands
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

// Year, month and day separated by one separator character, month and day of one or two digits.
std::optional<QDate> separated(QStringView text, QChar separator) {
    const QList<QStringView> parts = text.split(separator);
    if (parts.size() != 3 || parts[0].size() != 4 || parts[1].isEmpty() || parts[1].size() > 2 || parts[2].isEmpty() ||
        parts[2].size() > 2)
        return std::nullopt;
    const auto y = digits(parts[0], 0, 4), m = digits(parts[1], 0, parts[1].size()),
               d = digits(parts[2], 0, parts[2].size());
    if (!y || !m || !d)
        return std::nullopt;
    return makeDate(*y, *m, *d);
}

// 5月17日, 1990年5月17日
std::optional<QDate> chinese(QStringView text) {
    int year = YearlessYear;
    qsizetype yearMark = text.indexOf(u'年');
    if (yearMark >= 0) {
        if (yearMark != 4)
            return std::nullopt;
        const auto y = digits(text, 0, 4);
        if (!y)
            return std::nullopt;
        year = *y;
        text = text.mid(5);
    }
    const qsizetype monthMark = text.indexOf(u'月');
    if (monthMark < 1 || monthMark > 2 || !text.endsWith(u'日'))
        return std::nullopt;
    const QStringView dayPart = text.mid(monthMark + 1, text.size() - monthMark - 2);
    const auto m = digits(text, 0, monthMark);
    const auto d = digits(dayPart, 0, dayPart.size());
    if (!m || !d || dayPart.isEmpty() || dayPart.size() > 2)
        return std::nullopt;
    return makeDate(year, *m, *d);
}

// Day, month and year (four digits) with '/', '-' or '.' between them. Dots are written day first;
// with the other two a part above 12 tells which is the day, else the order does.
Reading yearLast(QStringView text, QChar separator, Order order) {
    const QList<QStringView> parts = text.split(separator);
    if (parts.size() != 3 || parts[2].size() != 4 || parts[0].isEmpty() || parts[0].size() > 2 || parts[1].isEmpty() ||
        parts[1].size() > 2)
        return {};
    const auto a = digits(parts[0], 0, parts[0].size()), b = digits(parts[1], 0, parts[1].size()),
               y = digits(parts[2], 0, 4);
    if (!a || !b || !y)
        return {};
    if (separator == u'.' || *a > 12)
        order = Order::DayFirst;
    else if (*b > 12 || *a == *b)
        order = Order::MonthFirst;
    if (order == Order::Unknown)
        return {Reading::Kind::Ambiguous, {}};
    const auto date = order == Order::DayFirst ? makeDate(*y, *b, *a) : makeDate(*y, *a, *b);
    return date ? Reading{Reading::Kind::Date, date} : Reading{};
}

// Nothing but zeros between the separators: 0/0/00, 00.00.0000, 0000-00-00, 00000000.
bool isEmptyDate(QStringView text) {
    qsizetype zeros = 0;
    for (const QChar c : text) {
        if (c == u'0')
            ++zeros;
        else if (c != u'/' && c != u'-' && c != u'.')
            return false;
    }
    return zeros > 0 && (zeros < text.size() || zeros == 8);
}

} // namespace

std::optional<QDate> parse(QStringView text, std::optional<int> omitYear) {
    return read(text, Order::Unknown, omitYear).date;
}

Reading read(QStringView text, Order order, std::optional<int> omitYear) {
    text = text.trimmed();
    if (text.isEmpty())
        return {};
    auto reading = [](const std::optional<QDate>& date) {
        return date ? Reading{Reading::Kind::Date, date} : Reading{};
    };
    std::optional<QDate> date;
    if (text.startsWith(u"--")) {
        // Year-less: --MMDD or --MM-DD, maybe followed by a time.
        QStringView rest = text.mid(2);
        if (const qsizetype t = rest.indexOf(u'T'); t >= 0)
            rest = rest.left(t);
        if (rest.size() == 4) {
            const auto m = digits(rest, 0, 2), d = digits(rest, 2, 2);
            if (m && d)
                date = makeDate(YearlessYear, *m, *d);
        } else if (rest.size() == 5 && rest[2] == u'-') {
            const auto m = digits(rest, 0, 2), d = digits(rest, 3, 2);
            if (m && d)
                date = makeDate(YearlessYear, *m, *d);
        }
        return reading(date);
    }
    if (text.contains(u'月'))
        return reading(chinese(text));
    // A date-time: only the date counts, as written (no time-zone shift).
    if (const qsizetype t = text.indexOf(u'T'); t >= 0)
        text = text.left(t);
    else if (const qsizetype space = text.indexOf(u' '); space >= 0)
        text = text.left(space);
    if (isEmptyDate(text))
        return {Reading::Kind::Empty, {}};
    if (const auto basic = digits(text, 0, 8); basic && text.size() == 8) {
        date = makeDate(*basic / 10000, *basic / 100 % 100, *basic % 100);
    } else {
        for (const QChar separator : {QChar(u'-'), QChar(u'/'), QChar(u'.')}) {
            if (text.contains(separator)) {
                if (text.indexOf(separator) > 2) {
                    date = separated(text, separator);
                    break;
                }
                const Reading read = yearLast(text, separator, order);
                if (read.kind != Reading::Kind::Date)
                    return read;
                date = read.date;
                break;
            }
        }
    }
    if (date && omitYear && date->year() == *omitYear)
        date = QDate(YearlessYear, date->month(), date->day());
    return reading(date);
}

QString format(const QDate& date, Style style) {
    const QString month = QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
    const QString day = QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
    if (isYearless(date))
        return style == Style::Extended ? QStringLiteral("--") + month + u'-' + day
                                        : QStringLiteral("--") + month + day;
    const QString year = QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    return style == Style::Extended ? year + u'-' + month + u'-' + day : year + month + day;
}

} // namespace birthday
