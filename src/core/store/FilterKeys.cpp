#include "core/store/FilterKeys.h"

#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"
#include "core/store/Store.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

FilterKeys loadFilterKeys(SQLite::Database& db) {
    return storehelpers::guarded([&] {
        FilterKeys keys;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db.getHandle(), sql::SelectPinyinFilterKeys, -1, &statement, nullptr) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(db.getHandle()));
        auto view = [statement](int column) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            return std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        };
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            std::string text(view(1));
            text += ' ';
            text += view(2);
            text += ' ';
            text += view(3);
            keys.insert_or_assign(std::string(view(0)), std::move(text));
        }
        const bool failed = rc != SQLITE_DONE;
        const std::string error = failed ? sqlite3_errmsg(db.getHandle()) : "";
        sqlite3_finalize(statement);
        if (failed)
            throw StoreError(error);
        return keys;
    });
}
