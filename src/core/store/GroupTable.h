#pragma once
// Table 分类: one row per group, key "main" + id, display name 类型.
#include "core/store/ContactFields.h"

#include <vector>

class Connection;

class GroupTable {
public:
    explicit GroupTable(Connection& connection) : connection_(connection) {}

    std::vector<GroupRow> all(); // in table order
    QString add(const QString& name); // the new key; call inside a transaction
    void rename(const QString& groupKey, const QString& name);
    void remove(const QString& groupKey); // the row only; its people are ContactTable's
    bool exists(const QString& groupKey);

private:
    Connection& connection_;
};
