#include "core/store/GroupTable.h"

#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/text/Keys.h"

std::vector<GroupRow> GroupTable::all() {
    std::vector<GroupRow> rows;
    Statement statement(connection_, sql::SelectGroups);
    while (statement.step())
        rows.push_back({statement.integer(0), statement.text(1), statement.text(2)});
    return rows;
}

QString GroupTable::add(const QString& name) {
    Statement(connection_, sql::InsertGroup).bind(1, name).exec();
    const qint64 id = connection_.lastInsertRowid();
    Statement(connection_, sql::SetGroupKey).bind(1, id).exec();
    return keys::groupKey(id);
}

void GroupTable::rename(const QString& groupKey, const QString& name) {
    Statement(connection_, sql::RenameGroup).bind(1, name).bind(2, groupKey).exec();
}

void GroupTable::remove(const QString& groupKey) {
    Statement(connection_, sql::DeleteGroup).bind(1, groupKey).exec();
}

bool GroupTable::exists(const QString& groupKey) {
    Statement statement(connection_, sql::GroupExists);
    statement.bind(1, groupKey);
    return statement.step();
}
