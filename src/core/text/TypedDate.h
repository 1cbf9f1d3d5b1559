#pragma once
// The birthday as the record form and the list show it, and the text typed into the birthday box
// turned back into a date.
#include <QDate>
#include <QLocale>
#include <QString>
#include <optional>

namespace birthday {
// A birthday without a year is stored with the year 1604 (a leap year, so 29 February fits; the
// convention Apple and others use). It is shown as month and day only and never gives an age.
inline constexpr int YearlessYear = 1604;

inline bool isYearless(const QDate& date) {
    return date.isValid() && date.year() == YearlessYear;
}
} // namespace birthday

// The program speaks Simplified Chinese whatever the system's locale, and shows its dates so.
QLocale chineseLocale();

// The locale's short date format with the year always written in four digits, so that a birthday
// shown in a box and saved again keeps its century (en_US would otherwise show 5/3/05). The
// program's own dates use the Chinese short form, 1985/12/8.
QString birthdayFormat(const QLocale& locale = chineseLocale());
// A birthday without a year reads "5月17日" whatever the locale.
QString birthdayText(const QDate& date, const QLocale& locale = chineseLocale());
// The longest text birthdayText gives, for sizing a column or a box that must never cut a date.
QString widestBirthdayText();

// The date the user typed, or nothing (stored as Null). Year-month-day with "-" or "/" between the
// parts (1980-5-3, 1980/05/03) and the Chinese forms 1980年5月3日 and 5月3日 (a birthday without a
// year) are always understood; otherwise the text is read in birthdayFormat of the locale.
// Blanks around the text are ignored; an impossible day such as 1980-13-45 gives nothing.
std::optional<QDate> typedDate(const QString& text, const QLocale& locale = chineseLocale());

// The birthday box's key filter, for one typed character: control characters (Backspace, the
// clipboard shortcuts) and every character beyond ASCII (what an input method delivers) pass, and
// of the rest only the digits, "-" and "/". Pasted text is not filtered; the save decides.
bool birthdayKeyPasses(QChar typed);
