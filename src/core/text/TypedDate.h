#pragma once
// The birthday as the record form and the list show it, and the text typed into the birthday box
// turned back into a date.
#include <QDate>
#include <QLocale>
#include <QString>
#include <optional>

// The locale's short date format with the year always written in four digits, so that a birthday
// shown in a box and saved again keeps its century (en_US would otherwise show 5/3/05).
QString birthdayFormat(const QLocale& locale = QLocale());
QString birthdayText(const QDate& date, const QLocale& locale = QLocale());

// The date the user typed, or nothing (stored as Null). Year-month-day with "-" or "/" between the
// parts (1980-5-3, 1980/05/03) is always understood; otherwise the text is read in birthdayFormat.
// Blanks around the text are ignored; an impossible day such as 1980-13-45 gives nothing.
std::optional<QDate> typedDate(const QString& text, const QLocale& locale = QLocale());

// The birthday box's key filter, for one typed character: control characters (Backspace, the
// clipboard shortcuts) and every character beyond ASCII (what an input method delivers) pass, and
// of the rest only the digits, "-" and "/". Pasted text is not filtered; the save decides.
bool birthdayKeyPasses(QChar typed);
