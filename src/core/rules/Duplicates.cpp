#include "core/rules/Duplicates.h"

#include "core/store/ContactFields.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/SamePerson.h"

#include <algorithm>
#include <cstdint>
#include <functional>

DuplicateFinder::DuplicateFinder(size_t expected) {
    keys_.reserve(expected);
    parent_.reserve(expected);
    for (int rule = 0; rule < 3; ++rule) {
        values_[rule].reserve(expected);
        hashes_[rule].reserve(expected);
    }
}

size_t DuplicateFinder::root(size_t i) {
    while (parent_[i] != i)
        i = parent_[i] = parent_[parent_[i]];
    return i;
}

// Each set's root is its first person, so that the groups come out in the data file's order.
void DuplicateFinder::join(size_t a, size_t b) {
    a = root(a);
    b = root(b);
    if (a != b)
        parent_[std::max(a, b)] = std::min(a, b);
}

void DuplicateFinder::add(std::string_view contactKey, std::string name, std::string mobile, std::string email) {
    const size_t i = keys_.size();
    keys_.emplace_back(contactKey);
    parent_.push_back(i);
    std::string* values[3] = {&name, &mobile, &email};
    for (int rule = 0; rule < 3; ++rule) {
        if (!values[rule]->empty())
            hashes_[rule].emplace_back(std::hash<std::string>()(*values[rule]), i);
        values_[rule].push_back(std::move(*values[rule]));
    }
}

// People of one hash are next to each other once sorted; within them, each is joined to the first
// one of the same key (two keys of one hash are told apart by their text).
void DuplicateFinder::joinEqual(int rule) {
    std::vector<std::pair<size_t, size_t>>& hashes = hashes_[rule];
    const std::vector<std::string>& values = values_[rule];
    std::sort(hashes.begin(), hashes.end());
    for (size_t start = 0; start < hashes.size();) {
        size_t end = start + 1;
        while (end < hashes.size() && hashes[end].first == hashes[start].first)
            ++end;
        for (size_t k = start + 1; k < end; ++k) {
            const size_t person = hashes[k].second;
            for (size_t earlier = start; earlier < k; ++earlier) {
                if (values[hashes[earlier].second] == values[person]) {
                    join(hashes[earlier].second, person);
                    break;
                }
            }
        }
        start = end;
    }
}

std::vector<QStringList> DuplicateFinder::groups() {
    for (int rule = 0; rule < 3; ++rule)
        joinEqual(rule);
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
        // The birthday goes with its calendar: a lunar birthday stays lunar.
        if (person.birthday || person.lunarBirthday) {
            merged.birthday = person.birthday;
            merged.lunarBirthday = person.lunarBirthday;
        }
        for (const catalogue::FieldInfo* field : catalogue::texts()) {
            const QString& text = person.*field->text;
            if (!text.isEmpty() && text.size() >= (merged.*field->text).size())
                merged.*field->text = text;
        }
    }
    return merged;
}
