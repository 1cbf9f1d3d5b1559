#include "core/rules/BirthdayReport.h"

#include "core/rules/NextBirthdays.h"
#include "core/store/ContactFields.h"
#include "core/store/Store.h"

#include <algorithm>

BirthdayReport birthdayReport(Store& store, const QDate& today, int windowDays) {
    BirthdayReport report;
    report.today = today;
    report.windowDays = windowDays;
    const QDate last = today.addDays(windowDays);
    store.forEachBirthday([&](const QString& key, const QString& name, const StoredBirthday& birthday) {
        const std::optional<QDate> day = upcomingBirthday(today, birthday);
        if (!day || *day > last)
            return;
        report.rows.push_back({key, name, *day, static_cast<int>(today.daysTo(*day)), birthday});
    });
    std::stable_sort(report.rows.begin(), report.rows.end(),
                     [](const BirthdayReportRow& a, const BirthdayReportRow& b) { return a.daysLeft < b.daysLeft; });
    return report;
}

QString BirthdayReport::summary() const {
    const int found = static_cast<int>(rows.size());
    if (found == 0) {
        if (windowDays == 0)
            return QStringLiteral("今天没有过生的好友！");
        return QStringLiteral("最近 %1 天内没有过生的好友！").arg(windowDays);
    }
    if (windowDays == 0)
        return QStringLiteral("今天有 %1 位过生日的好友").arg(found);
    return QStringLiteral("最近 %1 天有 %2 位过生日的好友").arg(windowDays).arg(found);
}

QString birthdayDayText(const StoredBirthday& birthday) {
    if (birthday.lunar && birthday.lunar->isValid())
        return lunarMonthDayText(*birthday.lunar);
    if (birthday.gregorian && birthday.gregorian->isValid())
        return QStringLiteral("%1月%2日").arg(birthday.gregorian->month()).arg(birthday.gregorian->day());
    return {};
}

namespace {
// A name comes from the data file, which another program may have written: no control character
// (a terminal's escape sequence, a tab or line break that would break the line) is printed.
QString printable(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return text;
}
} // namespace

QStringList BirthdayReport::lines() const {
    QStringList out;
    for (const BirthdayReportRow& row : rows) {
        QString when;
        if (row.daysLeft == 0)
            when = QStringLiteral("今天");
        else if (row.daysLeft == 1)
            when = QStringLiteral("明天（%1月%2日）").arg(row.day.month()).arg(row.day.day());
        else
            when = QStringLiteral("%1月%2日（还有 %3 天）").arg(row.day.month()).arg(row.day.day()).arg(row.daysLeft);
        out << when + u'\t' + printable(row.name) + u'\t' + birthdayDayText(row.birthday);
    }
    return out;
}
