#include "core/store/LunarBirthdays.h"

#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <string>

namespace lunarbirthdays {

using storehelpers::guarded;

void ensureTable(SQLite::Database& db) {
    guarded([&] {
        if (sqlite3_db_readonly(db.getHandle(), "main") != 1) {
            db.exec(sql::CreateLunarBirthdays);
            db.exec(sql::CreateLunarBirthdaysTrigger);
            return;
        }
        SQLite::Statement exists(db, sql::TableExists);
        exists.bind(1, "zinteva_lunar_birthdays");
        if (exists.executeStep() && exists.getColumn(0).getInt() == 0)
            db.exec(sql::CreateTempLunarBirthdays);
    });
}

namespace {
std::optional<LunarBirthday> valid(const LunarBirthday& b) {
    if (!b.isValid())
        return std::nullopt;
    return b;
}

std::optional<LunarBirthday> fromColumns(SQLite::Statement& statement, int first) {
    if (statement.getColumn(first + 1).isNull())
        return std::nullopt;
    return valid({statement.getColumn(first).getInt(), statement.getColumn(first + 1).getInt(),
                  statement.getColumn(first + 2).getInt(), statement.getColumn(first + 3).getInt() != 0});
}
} // namespace

std::optional<LunarBirthday> fromColumns(sqlite3_stmt* statement, int first) {
    if (sqlite3_column_type(statement, first + 1) == SQLITE_NULL)
        return std::nullopt;
    return valid({sqlite3_column_int(statement, first), sqlite3_column_int(statement, first + 1),
                  sqlite3_column_int(statement, first + 2), sqlite3_column_int(statement, first + 3) != 0});
}

std::optional<LunarBirthday> load(SQLite::Database& db, const QString& contactKey) {
    return guarded([&] {
        SQLite::Statement statement(db, sql::SelectLunarBirthday);
        statement.bind(1, contactKey.toStdString());
        if (!statement.executeStep())
            return std::optional<LunarBirthday>();
        return fromColumns(statement, 0);
    });
}

void write(SQLite::Database& db, const QString& contactKey, const std::optional<LunarBirthday>& birthday) {
    guarded([&] {
        if (!birthday) {
            SQLite::Statement statement(db, sql::DeleteLunarBirthday);
            statement.bind(1, contactKey.toStdString());
            statement.exec();
            return;
        }
        SQLite::Statement statement(db, sql::WriteLunarBirthday);
        statement.bind(1, contactKey.toStdString());
        statement.bind(2, birthday->year);
        statement.bind(3, birthday->month);
        statement.bind(4, birthday->day);
        statement.bind(5, birthday->leap ? 1 : 0);
        statement.exec();
    });
}

std::unordered_map<qint64, LunarBirthday> byRowId(SQLite::Database& db) {
    return guarded([&] {
        std::unordered_map<qint64, LunarBirthday> found;
        SQLite::Statement statement(db, sql::SelectLunarBirthdaysById);
        while (statement.executeStep()) {
            if (const auto b = fromColumns(statement, 1))
                found.emplace(statement.getColumn(0).getInt64(), *b);
        }
        return found;
    });
}

void showInRows(SQLite::Database& db, RowTable& rows, int firstRow) {
    guarded([&] {
        std::unordered_map<std::string, LunarBirthday> lunar;
        SQLite::Statement statement(db, sql::SelectLunarBirthdays);
        while (statement.executeStep()) {
            if (const auto b = fromColumns(statement, 1))
                lunar.emplace(statement.getColumn(0).getString(), *b);
        }
        if (lunar.empty())
            return;
        for (int row = firstRow; row < rows.rowCount(); ++row) {
            const auto found = lunar.find(std::string(rows.text(row, RowTable::KeyColumn)));
            if (found != lunar.end())
                rows.setText(row, RowTable::BirthdayColumn, lunarBirthdayText(found->second));
        }
    });
}

} // namespace lunarbirthdays
