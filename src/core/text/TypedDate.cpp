#include "core/text/TypedDate.h"

#include <QRegularExpression>

QLocale chineseLocale() {
    return QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
}

QString birthdayFormat(const QLocale& locale) {
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return locale.dateFormat(QLocale::ShortFormat).replace(twoDigitYear, QStringLiteral("yyyy"));
}

QString birthdayText(const QDate& date, const QLocale& locale) {
    if (birthday::isYearless(date))
        return QStringLiteral("%1月%2日").arg(date.month()).arg(date.day());
    return locale.toString(date, birthdayFormat(locale));
}

QString widestBirthdayText() {
    // Every digit is as wide as "8" in the fonts a desktop uses; the longest month and day are two digits.
    const QString full = birthdayText(QDate(1988, 12, 28)).replace(QRegularExpression(QStringLiteral("[0-9]")),
                                                                  QStringLiteral("8"));
    const QString yearless = QStringLiteral("88月88日");
    return full.size() >= yearless.size() ? full : yearless;
}

std::optional<QDate> typedDate(const QString& text, const QLocale& locale) {
    static const QRegularExpression yearMonthDay(QStringLiteral("^([0-9]{4})[-/]([0-9]{1,2})[-/]([0-9]{1,2})$"));
    static const QRegularExpression chinese(
        QStringLiteral("^(?:([0-9]{4})\\s*年\\s*)?([0-9]{1,2})\\s*月\\s*([0-9]{1,2})\\s*[日号]$"));
    const QString typed = text.trimmed();
    if (typed.isEmpty())
        return std::nullopt;
    QDate date;
    if (const QRegularExpressionMatch parts = yearMonthDay.match(typed); parts.hasMatch()) {
        date = QDate(parts.captured(1).toInt(), parts.captured(2).toInt(), parts.captured(3).toInt());
    } else if (const QRegularExpressionMatch parts = chinese.match(typed); parts.hasMatch()) {
        const int year = parts.captured(1).isEmpty() ? birthday::YearlessYear : parts.captured(1).toInt();
        date = QDate(year, parts.captured(2).toInt(), parts.captured(3).toInt());
    } else {
        date = locale.toDate(typed, birthdayFormat(locale));
    }
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
