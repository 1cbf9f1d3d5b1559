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
#include <unordered_map>
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
    void add(std::string_view contactKey, const std::string& name, const std::string& mobile,
             const std::string& email);
    std::vector<QStringList> groups();

private:
    size_t root(size_t i);
    void join(size_t first, size_t i);
    std::vector<std::string> keys_;
    std::vector<size_t> parent_;
    std::unordered_map<std::string, size_t> first_[3]; // name, mobile, e-mail: the first person with each
};

struct ContactFields;
// The merged person's fields by default, from the people in the data file's order: each text the
// longest non-empty one (of equal lengths the later, more recent one), the latest birthday given,
// the first person's group.
ContactFields mergedDefaults(const std::vector<ContactFields>& people);
