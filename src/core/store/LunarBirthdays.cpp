#include "core/store/LunarBirthdays.h"

#include "core/store/ContactFields.h"
#include "core/store/RowTable.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Store.h"

#include <string>

namespace {

// The lunar birthday in columns first..first+3 (year, month, day, leap); nothing for Null or for
// values that make no lunar date.
std::optional<LunarBirthday> lunarAt(const Statement& statement, int first) {
    if (statement.isNull(first + 1))
        return std::nullopt;
    const LunarBirthday b{static_cast<int>(statement.integer(first)), static_cast<int>(statement.integer(first + 1)),
                          static_cast<int>(statement.integer(first + 2)), statement.integer(first + 3) != 0};
    if (!b.isValid())
        return std::nullopt;
    return b;
}

} // namespace

void LunarBirthdays::ensureTable() {
    if (!connection_.isReadOnly()) {
        connection_.exec(sql::CreateLunarBirthdays);
        connection_.exec(sql::CreateLunarBirthdaysTrigger);
        return;
    }
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "zinteva_lunar_birthdays");
    if (exists.step() && exists.integer(0) == 0)
        connection_.exec(sql::CreateTempLunarBirthdays);
}

std::optional<LunarBirthday> LunarBirthdays::load(const QString& contactKey) {
    Statement statement(connection_, sql::SelectLunarBirthday);
    statement.bind(1, contactKey);
    if (!statement.step())
        return std::nullopt;
    return lunarAt(statement, 0);
}

void LunarBirthdays::write(const QString& contactKey, const std::optional<LunarBirthday>& birthday) {
    if (!birthday) {
        Statement(connection_, sql::DeleteLunarBirthday).bind(1, contactKey).exec();
        return;
    }
    for (const char* text : {sql::UpdateLunarBirthday, sql::InsertLunarBirthday}) {
        Statement(connection_, text)
            .bind(1, contactKey)
            .bind(2, qint64(birthday->year))
            .bind(3, qint64(birthday->month))
            .bind(4, qint64(birthday->day))
            .bind(5, qint64(birthday->leap ? 1 : 0))
            .exec();
    }
}

std::unordered_map<qint64, LunarBirthday> LunarBirthdays::byRowId() {
    std::unordered_map<qint64, LunarBirthday> found;
    Statement statement(connection_, sql::SelectLunarBirthdaysById);
    while (statement.step()) {
        if (const auto b = lunarAt(statement, 1))
            found.emplace(statement.integer(0), *b);
    }
    return found;
}

std::unordered_map<std::string, LunarBirthday> LunarBirthdays::byContactKey() {
    std::unordered_map<std::string, LunarBirthday> found;
    Statement statement(connection_, sql::SelectLunarBirthdays);
    while (statement.step()) {
        if (const auto b = lunarAt(statement, 1))
            found.emplace(std::string(statement.view(0)), *b);
    }
    return found;
}

void LunarBirthdays::showInRows(RowTable& rows, int firstRow) {
    const std::unordered_map<std::string, LunarBirthday> lunar = byContactKey();
    if (lunar.empty())
        return;
    for (int row = firstRow; row < rows.rowCount(); ++row) {
        const auto found = lunar.find(std::string(rows.text(row, RowTable::KeyColumn)));
        if (found != lunar.end())
            rows.setText(row, RowTable::BirthdayColumn,
                         rows.qtext(row, RowTable::BirthdayColumn) + QChar(BirthdayShownMark) +
                             lunarMonthDayText(found->second));
    }
}

void LunarBirthdays::forEachBirthday(
    const std::function<void(const QString& key, const QString& name, const StoredBirthday& birthday)>& visit) {
    Statement statement(connection_, sql::SelectAllBirthdays);
    while (statement.step()) {
        StoredBirthday birthday;
        if (const auto stored = statement.optionalView(2))
            birthday.gregorian = parseStoredDate(*stored);
        birthday.lunar = lunarAt(statement, 3);
        visit(statement.text(0), statement.text(1), birthday);
    }
}
