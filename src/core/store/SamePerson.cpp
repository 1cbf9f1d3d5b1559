#include "core/store/SamePerson.h"

#include "core/store/ContactFields.h"

#include <QStringList>

QString mobileDigits(const QString& number) {
    QString digits;
    for (const QChar c : number) {
        if (c.isDigit())
            digits += c;
    }
    if (number.trimmed().startsWith(QLatin1Char('+')) && digits.startsWith(QLatin1String("86")))
        digits.remove(0, 2);
    else if (digits.startsWith(QLatin1String("0086")))
        digits.remove(0, 4);
    return digits.size() < 5 ? QString() : digits;
}

QString emailKey(const QString& address) {
    return address.trimmed().toLower();
}

namespace {

QStringList phoneDigits(const ContactFields& person) {
    QStringList digits;
    for (const QString* number : {&person.mobile, &person.workPhone, &person.homePhone}) {
        const QString d = mobileDigits(*number);
        if (!d.isEmpty())
            digits << d;
    }
    return digits;
}

} // namespace

bool samePerson(const ContactFields& a, const ContactFields& b) {
    if (a.name.trimmed().isEmpty() || a.name.trimmed() != b.name.trimmed())
        return false;
    const QString mail = emailKey(a.email);
    if (!mail.isEmpty() && mail == emailKey(b.email))
        return true;
    const QStringList theirs = phoneDigits(b);
    for (const QString& digits : phoneDigits(a)) {
        if (theirs.contains(digits))
            return true;
    }
    return false;
}
