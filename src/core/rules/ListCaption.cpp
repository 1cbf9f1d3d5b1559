#include "core/rules/ListCaption.h"

#include "core/store/Sql.h"

#include <QDate>

namespace {
// Thousands grouped with commas whatever the desktop's locale: the line is always Chinese.
QString grouped(int n) {
    QString digits = QString::number(n < 0 ? 0 : n);
    for (int at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}
} // namespace

std::optional<int> reminderDaysOf(const Query& query) {
    if (query.where != QString::fromUtf8(sql::ReminderCondition) || query.binds.size() != 2)
        return std::nullopt;
    const QDate from = QDate::fromString(query.binds[0], Qt::ISODate);
    const QDate to = QDate::fromString(query.binds[1], Qt::ISODate);
    if (!from.isValid() || !to.isValid() || to < from)
        return std::nullopt;
    return static_cast<int>(from.daysTo(to));
}

QString listCaption(const ListShows& listed, const QString& nodeName, int fillRows, int shownRows) {
    QString what;
    if (!listed.isQuery())
        what = nodeName;
    else if (const std::optional<int> days = reminderDaysOf(*listed.query))
        what = *days == 0 ? QStringLiteral("今天过生日") : QStringLiteral("最近 %1 天过生日").arg(*days);
    else
        what = QStringLiteral("查询结果");
    if (shownRows == fillRows)
        return QStringLiteral("%1 · %2 人").arg(what, grouped(fillRows));
    return QStringLiteral("%1 · %2 / %3 人").arg(what, grouped(shownRows), grouped(fillRows));
}
