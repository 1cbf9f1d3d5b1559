#pragma once
// Table zinteva_values: a person's values beyond the columns of phone (ContactFields::values), one
// row each, in the person's order. The store writes them with the person, in the same transaction;
// a trigger removes them with the person, whatever program deletes it.
//
// Every method throws StoreError when a statement fails.
#include "core/store/ContactFields.h"
#include "core/store/FilterKeys.h"

#include <QString>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class Connection;

// The specified columns and the typed values agree: a column that is empty takes the first value of
// its kind (移动电话 the first 手机 number, 工作电话 the first 工作 one, 邮件地址 the first e-mail), so
// that the list, the export and the sync see one person. Returns whether anything moved.
bool firstValuesIntoColumns(ContactFields& fields);

class TypedValues {
public:
    explicit TypedValues(Connection& connection) : connection_(connection) {}

    std::vector<TypedValue> load(const QString& contactKey);
    // Makes the stored values these, in this order. Nothing is written when they are already so, so
    // that saving an unchanged person is no change for the sync.
    void write(const QString& contactKey, const std::vector<TypedValue>& values);
    // Every person's values by contact key, in one read (an export).
    std::unordered_map<std::string, std::vector<TypedValue>> byContactKey();
    int rowCount();
    // For each field that anybody has, the most values of it one person has (a CSV file's columns).
    std::vector<std::pair<catalogue::Field, int>> mostPerPerson();
    // The values the filter line finds people by, every person's in one read.
    FilterValueKeys loadFilterValues();

private:
    Connection& connection_;
};
