#pragma once
// When two records are one person: the rules the duplicate finder and the import share.
#include <QString>

struct ContactFields;

// The digits of a phone number without the country's prefix (+86, 0086); empty below 5 digits,
// which match too much to mean the same person.
QString mobileDigits(const QString& number);

// An e-mail address as it is compared: trimmed, case aside.
QString emailKey(const QString& address);

// The same name (spaces around aside) with a phone number (of any kind) or an e-mail address in
// common.
bool samePerson(const ContactFields& a, const ContactFields& b);
