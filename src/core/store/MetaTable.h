#pragma once
// Table zinteva_meta: the program's own values kept in a data file (key and text value). A file opened
// read-only from before the table may lack it: a value is then simply not there.
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
