#include "core/rules/Duplicates.h"

#include "core/store/ContactFields.h"
#include "core/store/SamePerson.h"

#include <algorithm>
#include <cstdint>

DuplicateFinder::DuplicateFinder(size_t expected) {
    keys_.reserve(expected);
    parent_.reserve(expected);
    for (auto& first : first_)
        first.reserve(expected);
}

size_t DuplicateFinder::root(size_t i) {
    while (parent_[i] != i)
        i = parent_[i] = parent_[parent_[i]];
    return i;
}

// Each set's root is its first person, so that the groups come out in the data file's order.
void DuplicateFinder::join(size_t first, size_t i) {
    const size_t a = root(first), b = root(i);
    if (a != b)
        parent_[std::max(a, b)] = std::min(a, b);
}

void DuplicateFinder::add(std::string_view contactKey, const std::string& name, const std::string& mobile,
                          const std::string& email) {
    const size_t i = keys_.size();
    keys_.emplace_back(contactKey);
    parent_.push_back(i);
    const std::string* values[3] = {&name, &mobile, &email};
    for (size_t rule = 0; rule < 3; ++rule) {
        if (values[rule]->empty())
            continue;
        const auto [found, added] = first_[rule].try_emplace(*values[rule], i);
        if (!added)
            join(found->second, i);
    }
}

std::vector<QStringList> DuplicateFinder::groups() {
    const size_t n = keys_.size();
    std::vector<size_t> sizes(n, 0);
    for (size_t i = 0; i < n; ++i)
        ++sizes[root(i)];
    std::vector<size_t> slot(n, SIZE_MAX);
    std::vector<QStringList> found;
    for (size_t i = 0; i < n; ++i) {
        const size_t r = root(i);
        if (sizes[r] < 2)
            continue;
        if (slot[r] == SIZE_MAX) {
            slot[r] = found.size();
            found.emplace_back();
        }
        found[slot[r]] << QString::fromStdString(keys_[i]);
    }
    return found;
}

std::vector<QStringList> findDuplicates(const std::vector<DuplicateCandidate>& people) {
    DuplicateFinder finder(people.size());
    for (const DuplicateCandidate& p : people)
        finder.add(p.key.toStdString(), nameKey(p.name).toStdString(), mobileDigits(p.mobile).toStdString(),
                   emailKey(p.email).toStdString());
    return finder.groups();
}

ContactFields mergedDefaults(const std::vector<ContactFields>& people) {
    ContactFields merged;
    if (people.empty())
        return merged;
    merged.groupKey = people.front().groupKey;
    for (const ContactFields& person : people) {
        if (person.name.size() >= merged.name.size() && !person.name.isEmpty())
            merged.name = person.name;
        if (person.birthday)
            merged.birthday = person.birthday;
        for (QString ContactFields::*field : PlainTexts) {
            if (!(person.*field).isEmpty() && (person.*field).size() >= (merged.*field).size())
                merged.*field = person.*field;
        }
    }
    return merged;
}
