#pragma once
// The list's fifteen columns: header text, key and initial width in twips. Column 15 is never filled.
// While the list shows the birthday reminder, two more follow them (shown beside the birthday):
// the days left and the age the person turns.
#include "core/app/Twips.h"
#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"

#include <QFontMetrics>
#include <QString>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <array>

namespace listcolumns {

struct Column {
    const char16_t* header;
    const char16_t* key; // nullptr: the column has no key
    int widthTwips;
};

inline constexpr std::array<Column, 15> All{{
    {u"姓名", u"name", 1440},
    {u"生日", u"Birthday", 1100},
    {u"移动电话", u"mobphone ", 1440},
    {u"工作电话", u"comphone", 1440},
    {u"家庭电话", u"homephone", 1440},
    {u"传真号码", u"faxnumber", 1440},
    {u"地址", u"address", 1440},
    {u"邮政编码", u"post", 1440},
    {u"QQ号码", u"QQ", 1440},
    {u"ICQ号码", u"ICQ", 1440},
    {u"MSN", u"msn", 2000},
    {u"邮件地址", u"email", 2000},
    {u"昵称", nullptr, 1440},
    {u"备注", u"mark", 1440},
    {u"", nullptr, 1440},
}};

inline constexpr int Count = static_cast<int>(All.size());
inline constexpr int Birthday = 1;
inline constexpr int Empty = 14;
inline constexpr int DaysLeft = 15;
inline constexpr int AgeTurning = 16;
inline constexpr int WithReminder = 17;

inline QString header(int column) {
    if (column == DaysLeft)
        return QStringLiteral("距生日");
    if (column == AgeTurning)
        return QStringLiteral("将满");
    return QString::fromUtf16(All[column].header);
}
inline QString key(int column) {
    return column < Count && All[column].key ? QString::fromUtf16(All[column].key) : QString();
}

// The width a column starts with in `view`: its designed width, and for the birthday column at
// least what the widest date needs in the view's font, Gregorian or lunar, so that no date is ever
// cut ("1985/12/2…", "农历 腊月…").
inline int initialWidth(int column, const QWidget& view) {
    const int margins = 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) + 8;
    const QFontMetrics metrics = view.fontMetrics();
    if (column == DaysLeft)
        return metrics.horizontalAdvance(QStringLiteral("还有 30 天")) + margins;
    if (column == AgeTurning)
        return metrics.horizontalAdvance(QStringLiteral("888 岁")) + margins;
    const int designed = twips::toPixels(All[column].widthTwips);
    if (column != Birthday)
        return designed;
    const int widestLunar = metrics.horizontalAdvance(lunarMonthDayText(LunarBirthday{0, 11, 30, true}));
    return std::max({designed, metrics.horizontalAdvance(widestBirthdayText()) + margins, widestLunar + margins});
}

} // namespace listcolumns
