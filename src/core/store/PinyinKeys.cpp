#include "core/store/PinyinKeys.h"

#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

namespace pinyinkeys {

namespace {
using storehelpers::columnText;
using storehelpers::guarded;

void bindKeys(SQLite::Statement& statement, const std::string& contactKey, const QString& name) {
    const pinyin::Keys keys = pinyin::keysOf(name);
    statement.bind(1, contactKey);
    statement.bind(2, name.toStdString());
    statement.bind(3, keys.full.toStdString());
    statement.bind(4, keys.initials.toStdString());
    statement.bind(5, keys.variants.join(u' ').toStdString());
    statement.bind(6, keys.sortKey.toStdString());
}

} // namespace

void ensureTable(SQLite::Database& db) {
    guarded([&] {
        if (sqlite3_db_readonly(db.getHandle(), "main") != 1) {
            db.exec(sql::CreatePinyin);
            return;
        }
        SQLite::Statement exists(db, sql::TableExists);
        exists.bind(1, "pinyin");
        if (exists.executeStep() && exists.getColumn(0).getInt() == 0)
            db.exec(sql::CreateTempPinyin);
    });
}

void write(SQLite::Database& db, const QString& contactKey, const QString& name) {
    guarded([&] {
        SQLite::Statement statement(db, sql::WritePinyin);
        bindKeys(statement, contactKey.toStdString(), name);
        statement.exec();
    });
}

void remove(SQLite::Database& db, const QString& contactKey) {
    guarded([&] {
        SQLite::Statement statement(db, sql::DeletePinyin);
        statement.bind(1, contactKey.toStdString());
        statement.exec();
    });
}

void removeGroup(SQLite::Database& db, const QString& groupKey) {
    guarded([&] {
        SQLite::Statement statement(db, sql::DeleteGroupPinyin);
        statement.bind(1, groupKey.toStdString());
        statement.exec();
    });
}

int backfill(SQLite::Database& db, const Progress& progress) {
    return guarded([&] {
        // Read first, then write: the statement that reads must not see the rows being written.
        std::vector<std::pair<std::string, QString>> stale;
        {
            SQLite::Statement read(db, sql::SelectStalePinyin);
            while (read.executeStep())
                stale.emplace_back(read.getColumn(0).getString(), columnText(read, 1));
        }
        Transaction transaction(db);
        const int orphans = db.exec(sql::DeleteOrphanPinyin);
        if (stale.empty()) {
            if (orphans > 0)
                transaction.commit();
            return 0;
        }
        const int total = static_cast<int>(stale.size());
        if (progress)
            progress(0, total);
        SQLite::Statement write(db, sql::WritePinyin);
        int done = 0;
        for (const auto& [contactKey, name] : stale) {
            bindKeys(write, contactKey, name);
            write.exec();
            write.reset();
            ++done;
            if (progress && (done % 256 == 0 || done == total))
                progress(done, total);
        }
        transaction.commit();
        return total;
    });
}

std::optional<StoredKeys> stored(SQLite::Database& db, const QString& contactKey) {
    return guarded([&]() -> std::optional<StoredKeys> {
        SQLite::Statement statement(db, sql::SelectPinyin);
        statement.bind(1, contactKey.toStdString());
        if (!statement.executeStep())
            return std::nullopt;
        StoredKeys result;
        result.name = columnText(statement, 0);
        result.keys.full = columnText(statement, 1);
        result.keys.initials = columnText(statement, 2);
        const QString variants = columnText(statement, 3);
        result.keys.variants = variants.isEmpty() ? QStringList() : variants.split(u' ');
        result.keys.sortKey = columnText(statement, 4);
        return result;
    });
}

NameSortKeys loadSortKeys(SQLite::Database& db) {
    return guarded([&] {
        NameSortKeys keys;
        // Straight from SQLite's C API: SQLiteCpp's column objects cost more than the copy.
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db.getHandle(), sql::SelectPinyinSortKeys, -1, &statement, nullptr) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(db.getHandle()));
        auto view = [statement](int column) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            return std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        };
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            keys.add(view(0), view(1));
        const bool failed = rc != SQLITE_DONE;
        std::string error = failed ? sqlite3_errmsg(db.getHandle()) : "";
        sqlite3_finalize(statement);
        if (failed)
            throw StoreError(error);
        return keys;
    });
}

} // namespace pinyinkeys
