#include "core/store/GroupNames.h"

#include "core/store/Store.h"

GroupNames::GroupNames(Store& store) : store_(store) {
    for (const GroupRow& row : store.groups()) {
        if (!byName_.contains(row.name))
            byName_.insert(row.name, row.key);
        nameOf_.insert(row.key, row.name);
        if (first_.isEmpty())
            first_ = row.key;
    }
}

QString GroupNames::keyFor(const QString& name, bool* created) {
    if (const auto found = byName_.constFind(name); found != byName_.constEnd())
        return *found;
    const QString key = store_.addGroup(name);
    byName_.insert(name, key);
    nameOf_.insert(key, name);
    if (first_.isEmpty())
        first_ = key;
    if (created)
        *created = true;
    return key;
}
