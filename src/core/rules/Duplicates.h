#pragma once
// Likely duplicates: people who share a name, a mobile number (digits only, with or without +86) or
// an e-mail address (case aside), joined through any of them. Names that only read the same in
// pinyin (张三, 章三) are often two people: they are listed only when a number or an address
// matches too, which the rules above already find. Each group is listed once, its keys in the data
// file's order.
#include "core/store/SamePerson.h"

#include <QString>
#include <QStringList>
#include <vector>

struct DuplicateCandidate {
    QString key;
    QString name;
    QString mobile;
    QString email;
};

std::vector<QStringList> findDuplicates(const std::vector<DuplicateCandidate>& people);

struct ContactFields;
// The merged person's fields by default, from the people in the data file's order: each text the
// longest non-empty one (of equal lengths the later, more recent one), the latest birthday given,
// the first person's group.
ContactFields mergedDefaults(const std::vector<ContactFields>& people);
