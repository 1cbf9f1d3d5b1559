#include "core/store/ContactTable.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"

#include <cstdio>

namespace {

void bindDate(Statement& statement, int index, const std::optional<QDate>& date) {
    if (date && date->isValid())
        statement.bind(index, storedDate(*date));
    else
        statement.bindNull(index);
}

// Binds every column of the catalogue in its order, from 1 on; returns the next place.
int bindFields(Statement& statement, const ContactFields& f) {
    int i = 1;
    for (const catalogue::FieldInfo* field : catalogue::columns()) {
        switch (field->kind) {
        case catalogue::ColumnKind::GroupKey:
            statement.bind(i++, f.groupKey);
            break;
        case catalogue::ColumnKind::Date: {
            // A lunar birthday with a year of birth keeps its Gregorian day in 生日.
            const std::optional<QDate> lunarDay = f.lunarBirthday ? f.lunarBirthday->gregorian() : std::nullopt;
            bindDate(statement, i++, lunarDay ? lunarDay : f.birthday);
            break;
        }
        case catalogue::ColumnKind::Text:
            statement.bind(i++, f.*field->text);
            break;
        case catalogue::ColumnKind::None:
            break;
        }
    }
    return i;
}

} // namespace

void ContactTable::forEachTreeContact(
    const std::function<void(std::string_view, std::string_view, std::string_view)>& visit) {
    Statement statement(connection_, sql::SelectTreeContacts);
    while (statement.step())
        visit(statement.view(0), statement.view(1), statement.view(2));
}

void ContactTable::fill(const char* text, const QStringList& binds, RowTable& into) {
    Statement statement(connection_, text);
    for (int i = 0; i < binds.size(); ++i)
        statement.bind(i + 1, binds[i]);
    while (statement.step())
        into.appendFrom(statement);
}

void ContactTable::listAll(RowTable& into) {
    into.reserve(count());
    into.keepGroups();
    fill(sql::ListAll, {}, into);
}

void ContactTable::listByGroup(const QString& groupKey, RowTable& into) {
    fill(sql::ListByGroup, {groupKey}, into);
}

void ContactTable::listByKey(const QString& contactKey, RowTable& into) {
    fill(sql::ListByKey, {contactKey}, into);
}

void ContactTable::listQuery(const Query& query, RowTable& into) {
    const std::string order = query.order.isEmpty() ? sql::ListQueryOrder : sql::OrderBy + query.order.toStdString();
    const std::string text = std::string(sql::ListWherePrefix) + query.where.toStdString() + order;
    fill(text.c_str(), query.binds, into);
}

namespace {
// The fields in the order of the catalogue's columns, from result column `first` on.
ContactFields fieldsAt(const Statement& statement, int first) {
    ContactFields f;
    int i = first;
    for (const catalogue::FieldInfo* field : catalogue::columns()) {
        switch (field->kind) {
        case catalogue::ColumnKind::GroupKey:
            f.groupKey = statement.text(i++);
            break;
        case catalogue::ColumnKind::Date:
            if (const auto birthday = statement.optionalView(i++))
                f.birthday = parseStoredDate(*birthday);
            break;
        case catalogue::ColumnKind::Text:
            f.*field->text = statement.text(i++);
            break;
        case catalogue::ColumnKind::None:
            break;
        }
    }
    return f;
}
} // namespace

std::optional<ContactFields> ContactTable::load(const QString& contactKey) {
    Statement statement(connection_, sql::LoadContact);
    statement.bind(1, contactKey);
    if (!statement.step())
        return std::nullopt;
    return fieldsAt(statement, 0);
}

std::vector<std::pair<QString, ContactFields>> ContactTable::named(const QString& name) {
    Statement statement(connection_, sql::ContactsNamed);
    statement.bind(1, name);
    std::vector<std::pair<QString, ContactFields>> people;
    while (statement.step()) {
        ContactFields f;
        f.name = name;
        f.mobile = statement.text(1);
        f.workPhone = statement.text(2);
        f.homePhone = statement.text(3);
        f.email = statement.text(4);
        people.emplace_back(statement.text(0), std::move(f));
    }
    return people;
}

void ContactTable::forEach(const QString& groupKey,
                           const std::function<void(const QString& contactKey, ContactFields& fields)>& visit) {
    Statement statement(connection_, groupKey.isEmpty() ? sql::EachContact : sql::EachContactOfGroup);
    if (!groupKey.isEmpty())
        statement.bind(1, groupKey);
    while (statement.step()) {
        ContactFields fields = fieldsAt(statement, 1);
        visit(statement.text(0), fields);
    }
}

bool ContactTable::exists(const QString& contactKey) {
    Statement statement(connection_, sql::ContactExists);
    statement.bind(1, contactKey);
    return statement.step();
}

int ContactTable::count() {
    Statement statement(connection_, sql::ContactCount);
    statement.step();
    return static_cast<int>(statement.integer(0));
}

QString ContactTable::insert(const ContactFields& fields) {
    Statement insert(connection_, sql::InsertContact);
    bindFields(insert, fields);
    insert.exec();
    const qint64 id = connection_.lastInsertRowid();
    Statement(connection_, sql::SetContactKey).bind(1, id).exec();
    return keys::contactKey(id);
}

void ContactTable::update(const QString& contactKey, const ContactFields& fields) {
    Statement statement(connection_, sql::UpdateContact);
    statement.bind(bindFields(statement, fields), contactKey);
    statement.exec();
}

void ContactTable::rename(const QString& contactKey, const QString& name) {
    Statement(connection_, sql::RenameContact).bind(1, name).bind(2, contactKey).exec();
}

QStringList ContactTable::moveToGroup(const QStringList& contactKeys, const QString& groupKey) {
    QStringList moved;
    Statement move(connection_, sql::MoveContact);
    const std::string group = groupKey.toStdString();
    for (const QString& key : contactKeys) {
        move.bind(1, std::string_view(group)).bind(2, key).bind(3, std::string_view(group)).exec();
        if (connection_.changes() > 0)
            moved << key;
        move.reset();
    }
    return moved;
}

void ContactTable::remove(const QString& contactKey) {
    Statement(connection_, sql::DeleteContact).bind(1, contactKey).exec();
}

void ContactTable::removeGroup(const QString& groupKey) {
    Statement(connection_, sql::DeleteGroupContacts).bind(1, groupKey).exec();
}

bool ContactTable::hasNextBirthdayColumn() {
    Statement statement(connection_, sql::ColumnNames);
    statement.bind(1, "phone");
    while (statement.step()) {
        if (sqlite3_stricmp(statement.view(0).data(), "nowbirthday") == 0)
            return true;
    }
    return false;
}

void ContactTable::writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday,
                                      const std::unordered_map<qint64, LunarBirthday>& lunar) {
    Statement read(connection_, sql::SelectBirthdays);
    Statement write(connection_, sql::SetNextBirthday);
    while (read.step()) {
        const std::optional<std::string_view> stored = read.optionalView(1);
        StoredBirthday birthday{stored ? parseStoredDate(*stored) : std::nullopt, std::nullopt};
        if (const auto found = lunar.find(read.integer(0)); found != lunar.end())
            birthday.lunar = found->second;
        const std::optional<QDate> next = nextBirthday(birthday);
        const std::optional<std::string_view> current = read.optionalView(2);
        char wanted[16] = {};
        if (next)
            std::snprintf(wanted, sizeof wanted, "%04d-%02d-%02d", next->year(), next->month(), next->day());
        const bool unchanged = next ? current && *current == wanted : !current;
        if (unchanged)
            continue;
        if (next)
            write.bind(1, wanted);
        else
            write.bindNull(1);
        write.bind(2, read.integer(0));
        write.exec();
        write.reset();
    }
}
