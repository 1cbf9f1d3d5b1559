#pragma once
// Likely duplicates: people who share a name, a mobile number (digits only, with or without +86) or
// an e-mail address (case aside), joined through any of them. Names that only read the same in
// pinyin (张三, 章三) are often two people: they are listed only when a number or an address
// matches too, which the rules above already find. Each group is listed once, its keys in the data
// file's order.
#include "core/store/SamePerson.h"

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

struct DuplicateCandidate {
    QString key;
    QString name;
    QString mobile;
    QString email;
};

std::vector<QStringList> findDuplicates(const std::vector<DuplicateCandidate>& people);

// The same grouping for people whose keys are already made (store/SamePerson.h), added in the data
// file's order: the whole directory goes through it without a QString per person, and only the
// keys of the people listed become QStrings.
class DuplicateFinder {
public:
    explicit DuplicateFinder(size_t expected = 0);
    // An empty key matches nobody.
    void add(std::string_view contactKey, std::string name, std::string mobile, std::string email);
    std::vector<QStringList> groups();

private:
    size_t root(size_t i);
    void join(size_t a, size_t b);
    void joinEqual(int rule);
    std::vector<std::string> keys_;
    std::vector<size_t> parent_;
    // Per rule (name, mobile, e-mail): every person's key, and the hashes of the non-empty ones with
    // their person, sorted when the groups are asked for (a sort of a flat array is far quicker
    // than a hash table of 100,000 nodes).
    std::vector<std::string> values_[3];
    std::vector<std::pair<size_t, size_t>> hashes_[3];
};

struct ContactFields;
// The merged person's fields by default, from the people in the data file's order: each text the
// longest non-empty one (of equal lengths the later, more recent one), the latest birthday given,
// the first person's group.
ContactFields mergedDefaults(const std::vector<ContactFields>& people);
// The merged person with every value of the people merged that nobody chose: their typed values
// joined, and their other numbers, e-mails, addresses and messenger IDs as typed values beside the
// chosen ones (a second mobile stays a mobile). What the merged person has stays as it is.
ContactFields keepingEveryValue(ContactFields merged, const std::vector<ContactFields>& people);
