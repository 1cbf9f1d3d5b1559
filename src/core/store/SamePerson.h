#pragma once
// When two records are one person: the rules the duplicate finder, the import and the sync's first
// match share.
#include "core/store/ContactFields.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

class Store;

// A name as it is compared: spaces around it aside.
QString nameKey(const QString& name);

// The digits of a phone number without the country's prefix (+86, 0086); empty below 5 digits,
// which match too much to mean the same person.
QString mobileDigits(const QString& number);

// An e-mail address as it is compared: trimmed, case aside.
QString emailKey(const QString& address);

// What a card (or a server's contact) is to a person already in the data file. Two people of one
// name often share an office or home number or a family's e-mail address, so only what belongs to
// one person counts: the same mobile number, or the same e-mail address when nobody else has it.
// A single value that differs (a mobile number, a birthday, a lunar birthday) tells them apart.
enum class Likeness {
    Other,    // another name
    Possible, // the same name, but nothing personal in common, or a value that contradicts
    Same,     // the same person: the card may complete them
};
// emailShared: the card's address is another person's too, so it proves nothing.
Likeness likeness(const ContactFields& person, const ContactFields& card, bool emailShared = false);
// A single value both have and that differs: a mobile number, a birthday, a lunar birthday (a
// birthday without a year compared by month and day).
bool contradicts(const ContactFields& a, const ContactFields& b);
// The digits of a number as mobileDigits compares them, however few.
QString numberDigits(const QString& number);
// The same typed value: numbers by their digits, e-mails by their address, the rest as written.
bool sameTypedValue(const TypedValue& a, const TypedValue& b);
// Adds to `values` those of `more` it does not have yet, in their order.
void joinValues(std::vector<TypedValue>& values, const std::vector<TypedValue>& more);

// Finds the person a card is among the people of its name in the data file.
class SamePersonFinder {
public:
    explicit SamePersonFinder(Store& store) : store_(store) {}
    struct Found {
        QString key; // empty: nobody; the card is a new person
        std::optional<ContactFields> person;
        bool possibleDuplicate = false; // nobody, but someone of the same name is there
    };
    // skip: people the caller has matched already (each person takes one card).
    Found find(const ContactFields& card, const std::function<bool(const QString& key)>& skip = {});
    // A person was added (before: nothing) or changed by the caller, so that whose e-mail address
    // is shared stays known.
    void written(const std::optional<ContactFields>& before, const ContactFields& after);

private:
    bool emailShared(const QString& key); // an e-mail key held by more than one person
    Store& store_;
    // E-mail key -> how many people have it; read from the data file when first needed.
    std::optional<std::unordered_map<std::string, int>> holders_;
};

// The same three keys made from a data file's bytes (a column's UTF-8 as SQLite hands it out) and
// given as UTF-8: two texts get equal keys exactly when the functions above give them equal keys.
// Plain ASCII numbers and addresses, and names with nothing to trim, are keyed without a QString.
std::string nameKeyOf(std::string_view text);
std::string mobileKeyOf(std::string_view text);
std::string emailKeyOf(std::string_view text);
