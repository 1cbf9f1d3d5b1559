#include "core/rules/Duplicates.h"

#include "core/store/ContactFields.h"
#include "core/store/SamePerson.h"

#include <QHash>
#include <numeric>

namespace {

// Union-find over the people's positions.
struct Groups {
    std::vector<size_t> parent;
    explicit Groups(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), size_t(0)); }
    size_t root(size_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    void join(size_t a, size_t b) {
        a = root(a);
        b = root(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    }
};

// Joins every person to the first one with the same non-empty value.
template <typename Value> void joinBy(const std::vector<DuplicateCandidate>& people, Groups& groups, Value value) {
    QHash<QString, size_t> first;
    for (size_t i = 0; i < people.size(); ++i) {
        const QString v = value(people[i]);
        if (v.isEmpty())
            continue;
        const auto found = first.constFind(v);
        if (found == first.constEnd())
            first.insert(v, i);
        else
            groups.join(*found, i);
    }
}

} // namespace

std::vector<QStringList> findDuplicates(const std::vector<DuplicateCandidate>& people) {
    Groups groups(people.size());
    joinBy(people, groups, [](const DuplicateCandidate& p) { return p.name.trimmed(); });
    joinBy(people, groups, [](const DuplicateCandidate& p) { return mobileDigits(p.mobile); });
    joinBy(people, groups, [](const DuplicateCandidate& p) { return emailKey(p.email); });
    QHash<size_t, size_t> slot;
    std::vector<QStringList> found;
    std::vector<size_t> sizes(people.size(), 0);
    for (size_t i = 0; i < people.size(); ++i)
        ++sizes[groups.root(i)];
    for (size_t i = 0; i < people.size(); ++i) {
        const size_t root = groups.root(i);
        if (sizes[root] < 2)
            continue;
        auto it = slot.constFind(root);
        if (it == slot.constEnd()) {
            it = slot.insert(root, found.size());
            found.emplace_back();
        }
        found[*it] << people[i].key;
    }
    return found;
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
