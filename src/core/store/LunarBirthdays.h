#pragma once
// Table zinteva_lunar_birthdays: one row per contact whose birthday is kept by the lunar calendar
// (its key, the year, month, day and leap flag). Store writes a contact's row with the contact, in
// the same transaction; a trigger removes it with the contact, whatever program deletes it.
//
// Every method throws StoreError when a statement fails.
#include "core/store/ContactFields.h"
#include "core/store/RowTable.h"
#include "core/text/LunarDate.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

class Connection;
class Statement;

class LunarBirthdays {
public:
    explicit LunarBirthdays(Connection& connection) : connection_(connection) {}

    std::optional<LunarBirthday> load(const QString& contactKey);
    // Writes the row, or removes it for nothing; in the caller's transaction.
    void write(const QString& contactKey, const std::optional<LunarBirthday>& birthday);
    // Every stored lunar birthday by the row id of its contact. A row that is not a valid lunar
    // birthday (written by another program) is left out: the contact's Gregorian 生日 holds.
    std::unordered_map<qint64, LunarBirthday> byRowId();
    // The same by contact key.
    std::unordered_map<std::string, LunarBirthday> byContactKey();
    // A list fill shows a lunar birthday as such ("农历 1950年腊月初八") in the birthday cell of the
    // rows from firstRow on. One read of the table; nothing more when nobody has a lunar birthday.
    void showInRows(RowTable& rows, int firstRow);
    // Every contact's key, name and birthday in both calendars, in table order.
    void forEachBirthday(
        const std::function<void(const QString& key, const QString& name, const StoredBirthday& birthday)>& visit);

private:
    Connection& connection_;
};
