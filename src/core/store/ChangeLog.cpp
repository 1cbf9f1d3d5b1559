#include "core/store/ChangeLog.h"

#include "core/store/Sql.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace changelog {

void ensure(SQLite::Database& db) {
    if (complete(db))
        return;
    SQLite::Transaction transaction(db);
    db.exec(sql::CreateChangeLog);
    transaction.commit();
}

bool complete(SQLite::Database& db) {
    SQLite::Statement count(db, sql::ChangeLogComplete);
    return count.executeStep() && count.getColumn(0).getInt() == 5;
}

} // namespace changelog
