#include "core/store/KeptProperties.h"

#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace keptstore {

using storehelpers::columnText;
using storehelpers::guarded;

bool hasTable(SQLite::Database& db) {
    return guarded([&] {
        SQLite::Statement exists(db, sql::TableExists);
        exists.bind(1, "zinteva_kept");
        return exists.executeStep() && exists.getColumn(0).getInt() > 0;
    });
}

void ensureTable(SQLite::Database& db) {
    guarded([&] { db.exec(sql::CreateKept); });
}

std::vector<KeptProperty> load(SQLite::Database& db, const QString& contactKey) {
    std::vector<KeptProperty> rows;
    if (!hasTable(db))
        return rows;
    guarded([&] {
        SQLite::Statement select(db, sql::SelectKept);
        select.bind(1, contactKey.toStdString());
        while (select.executeStep())
            rows.push_back({columnText(select, 0), columnText(select, 2), columnText(select, 1)});
    });
    return rows;
}

void replace(SQLite::Database& db, const QString& contactKey, const std::vector<KeptProperty>& rows) {
    guarded([&] {
        const std::string key = contactKey.toStdString();
        SQLite::Statement remove(db, sql::DeleteKept);
        remove.bind(1, key);
        remove.exec();
        SQLite::Statement insert(db, sql::InsertKept);
        for (const KeptProperty& row : rows) {
            insert.bind(1, key);
            insert.bind(2, row.field.toStdString());
            insert.bind(3, row.value.toStdString());
            insert.bind(4, row.line.toStdString());
            insert.exec();
            insert.reset();
        }
    });
}

QStringList contactsWithUid(SQLite::Database& db, const QString& uid) {
    QStringList keys;
    if (uid.isEmpty() || !hasTable(db))
        return keys;
    guarded([&] {
        SQLite::Statement select(db, sql::SelectKeptUid);
        select.bind(1, uid.toStdString());
        while (select.executeStep())
            keys.append(columnText(select, 0));
    });
    return keys;
}

int rowCount(SQLite::Database& db) {
    if (!hasTable(db))
        return 0;
    return guarded([&] {
        SQLite::Statement count(db, sql::CountKept);
        return count.executeStep() ? count.getColumn(0).getInt() : 0;
    });
}

} // namespace keptstore
