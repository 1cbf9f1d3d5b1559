#include "core/text/TypedDate.h"

#include <QRegularExpression>

QString birthdayFormat(const QLocale& locale) {
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return locale.dateFormat(QLocale::ShortFormat).replace(twoDigitYear, QStringLiteral("yyyy"));
}

QString birthdayText(const QDate& date, const QLocale& locale) {
    return locale.toString(date, birthdayFormat(locale));
}

std::optional<QDate> typedDate(const QString& text, const QLocale& locale) {
    static const QRegularExpression yearMonthDay(QStringLiteral("^([0-9]{4})[-/]([0-9]{1,2})[-/]([0-9]{1,2})$"));
    const QString typed = text.trimmed();
    if (typed.isEmpty())
        return std::nullopt;
    QDate date;
    const QRegularExpressionMatch parts = yearMonthDay.match(typed);
    if (parts.hasMatch())
        date = QDate(parts.captured(1).toInt(), parts.captured(2).toInt(), parts.captured(3).toInt());
    else
        date = locale.toDate(typed, birthdayFormat(locale));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

bool birthdayKeyPasses(QChar typed) {
    const char16_t code = typed.unicode();
    if (code < 32 || code > 127)
        return true;
    return code == u'-' || code == u'/' || (code >= u'0' && code <= u'9');
}
