#pragma once
// Table zinteva_meta: the program's own values kept in a data file (key and text value). Created on
// the first write, so a data file nobody wrote to keeps its two tables only.
#include <QString>
#include <optional>

class Connection;

class MetaTable {
public:
    explicit MetaTable(Connection& connection) : connection_(connection) {}

    std::optional<QString> value(const char* key);
    // Adds the value; the key must not have one yet.
    void insert(const char* key, const QString& value);

private:
    Connection& connection_;
};
