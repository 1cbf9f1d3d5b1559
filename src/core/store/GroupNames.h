#pragma once
// The groups of the data file by name, for whoever files people under a group's name (an import,
// the sync, a sync conflict taken back): the first group of a name wins, as in the tree's order, and
// a missing group is made once.
#include <QHash>
#include <QString>

class Store;

class GroupNames {
public:
    explicit GroupNames(Store& store);

    bool exists(const QString& key) const { return nameOf_.contains(key); }
    QString nameOf(const QString& key) const { return nameOf_.value(key); }
    // The first group in the tree's order (also one made here when the file had none); empty: none.
    QString first() const { return first_; }
    // The group of this name; made (inside the caller's transaction) when there is none, and then
    // *created is set.
    QString keyFor(const QString& name, bool* created = nullptr);

private:
    Store& store_;
    QHash<QString, QString> byName_, nameOf_;
    QString first_;
};
