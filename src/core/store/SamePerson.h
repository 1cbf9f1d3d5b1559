#pragma once
// When two records are one person: the rules the duplicate finder and the import share.
#include <QString>
#include <string>
#include <string_view>

struct ContactFields;

// A name as it is compared: spaces around it aside.
QString nameKey(const QString& name);

// The digits of a phone number without the country's prefix (+86, 0086); empty below 5 digits,
// which match too much to mean the same person.
QString mobileDigits(const QString& number);

// An e-mail address as it is compared: trimmed, case aside.
QString emailKey(const QString& address);

// The same name (spaces around aside) with a phone number (of any kind) or an e-mail address in
// common.
bool samePerson(const ContactFields& a, const ContactFields& b);

// The same three keys made from a data file's bytes (a column's UTF-8 as SQLite hands it out) and
// given as UTF-8: two texts get equal keys exactly when the functions above give them equal keys.
// Plain ASCII numbers and addresses, and names with nothing to trim, are keyed without a QString.
std::string nameKeyOf(std::string_view text);
std::string mobileKeyOf(std::string_view text);
std::string emailKeyOf(std::string_view text);
