#pragma once
// The lunar birthdays, in the data file's table zinteva_lunar_birthdays (one row per contact key
// whose birthday is kept by the lunar calendar). Store writes a contact's row with the contact, in
// the same transaction; a trigger removes it with the contact.
//
// Every function throws StoreError (store/Store.h) with SQLite's message when a statement fails.
#include "core/store/RowTable.h"
#include "core/text/LunarDate.h"

#include <QString>
#include <optional>
#include <unordered_map>

struct sqlite3_stmt;
namespace SQLite {
class Database;
}

namespace lunarbirthdays {

// Creates the table and its trigger when the data file has none (the table alone in temp for a file
// opened read-only, so that every read finds it). Store::open calls it.
void ensureTable(SQLite::Database& db);

std::optional<LunarBirthday> load(SQLite::Database& db, const QString& contactKey);
// Writes the row, or removes it for nothing. Runs in the caller's transaction.
void write(SQLite::Database& db, const QString& contactKey, const std::optional<LunarBirthday>& birthday);
// Every stored lunar birthday by the row id of its contact. A row that is not a valid lunar birthday
// (written by another program) is left out: the contact's Gregorian 生日 holds.
std::unordered_map<qint64, LunarBirthday> byRowId(SQLite::Database& db);

// A list fill shows a lunar birthday as such ("农历 1950年腊月初八") in the birthday cell of the rows
// from `firstRow` on. Reads the table once; costs nothing more when nobody has a lunar birthday.
void showInRows(SQLite::Database& db, RowTable& rows, int firstRow);

// The lunar birthday of a row read by a statement whose columns first..first+3 are year, month, day,
// leap (all Null for a contact without one).
std::optional<LunarBirthday> fromColumns(sqlite3_stmt* statement, int first);

} // namespace lunarbirthdays
