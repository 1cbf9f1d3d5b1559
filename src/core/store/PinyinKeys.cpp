#include "core/store/PinyinKeys.h"

#include "core/store/FileStamp.h"
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

std::optional<unsigned> fileCounter(SQLite::Database& db) {
    const char* file = sqlite3_db_filename(db.getHandle(), "main");
    if (!file || !*file)
        return std::nullopt; // a database in memory has no header to trust
    return filestamp::changeCounter(QString::fromUtf8(file));
}

std::optional<unsigned> storedStamp(SQLite::Database& db) {
    SQLite::Statement exists(db, sql::TableExists);
    exists.bind(1, "zinteva_meta");
    if (!exists.executeStep() || exists.getColumn(0).getInt() == 0)
        return std::nullopt;
    SQLite::Statement read(db, sql::SelectMeta);
    read.bind(1, sql::PinyinCheckedKey);
    if (!read.executeStep())
        return std::nullopt;
    bool ok = false;
    const unsigned value = columnText(read, 0).toUInt(&ok);
    return ok ? std::optional<unsigned>(value) : std::nullopt;
}

// Inside a transaction begun immediate, so that nobody else commits meanwhile: the stamp written is
// the counter this very commit leaves in the header.
void writeStamp(SQLite::Database& db, unsigned counter) {
    db.exec(sql::CreateMeta);
    SQLite::Statement write(db, sql::ReplaceMeta);
    write.bind(1, sql::PinyinCheckedKey);
    write.bind(2, std::to_string(counter + 1));
    write.exec();
}

long long dataVersion(SQLite::Database& db) {
    return db.execAndGet(sql::DataVersion).getInt64();
}

bool isWritable(SQLite::Database& db) {
    return sqlite3_db_readonly(db.getHandle(), "main") == 0;
}

struct StaleContact {
    std::string key;
    QString name;
    pinyin::Keys keys;
};

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

int backfillInSteps(SQLite::Database& db, const std::atomic<bool>& stop) {
    return guarded([&] {
        constexpr int Step = 256;
        int written = 0;
        SQLite::Statement read(db, sql::SelectStalePinyinAfter);
        SQLite::Statement write(db, sql::WritePinyinIfName);
        // A pass during which another connection committed may have missed what it wrote: once more.
        for (int pass = 0; pass < 3 && !stop; ++pass) {
            const long long version = dataVersion(db);
            long long last = 0;
            std::vector<StaleContact> batch;
            while (!stop) {
                batch.clear();
                read.bind(1, static_cast<int64_t>(last));
                read.bind(2, Step);
                while (read.executeStep()) {
                    last = read.getColumn(0).getInt64();
                    batch.push_back({read.getColumn(1).getString(), columnText(read, 2), {}});
                }
                read.reset();
                if (batch.empty())
                    break;
                for (StaleContact& contact : batch)
                    contact.keys = pinyin::keysOf(contact.name);
                Transaction transaction(db);
                for (const StaleContact& contact : batch) {
                    write.bind(1, contact.key);
                    write.bind(2, contact.name.toStdString());
                    write.bind(3, contact.keys.full.toStdString());
                    write.bind(4, contact.keys.initials.toStdString());
                    write.bind(5, contact.keys.variants.join(u' ').toStdString());
                    write.bind(6, contact.keys.sortKey.toStdString());
                    written += write.exec();
                    write.reset();
                }
                transaction.commit();
            }
            if (stop)
                break;
            {
                Transaction transaction(db);
                if (db.exec(sql::DeleteOrphanPinyin) > 0)
                    transaction.commit();
            }
            if (!isWritable(db))
                break;
            db.exec(sql::BeginImmediate);
            try {
                const std::optional<unsigned> counter = fileCounter(db);
                const bool clean = dataVersion(db) == version;
                if (clean && counter)
                    writeStamp(db, *counter);
                db.exec(sql::Commit);
                if (clean)
                    break;
            } catch (...) {
                db.exec(sql::Rollback);
                throw;
            }
        }
        return written;
    });
}

int backfillFile(const QString& dataFile, const OpenOptions& options, const std::atomic<bool>& stop) {
    return guarded([&] {
        SQLite::Database db(dataFile.toStdString(), SQLite::OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, 2000,
                            options.vfs ? std::string(options.vfs) : std::string());
        return backfillInSteps(db, stop);
    });
}

Currency::Currency(SQLite::Database& db) : db_(db) {
    refresh();
}

void Currency::refresh() {
    current_ = false;
    try {
        guarded([&] {
            const std::optional<unsigned> stamp = storedStamp(db_);
            const std::optional<unsigned> counter = fileCounter(db_);
            version_ = dataVersion(db_);
            current_ = stamp && counter && *stamp == *counter;
        });
    } catch (const StoreError&) {
        // Unknown means not current: the keys are checked.
    }
}

bool Currency::stampIfCurrent() {
    if (!current_ || !isWritable(db_))
        return false;
    try {
        return guarded([&] {
            db_.exec(sql::BeginImmediate);
            try {
                // data_version moves only when another connection commits: every change since the
                // keys were known current was this connection's own, and those keep them current.
                const std::optional<unsigned> counter = fileCounter(db_);
                const bool ours = counter && dataVersion(db_) == version_;
                // A session that wrote nothing leaves the file as it found it.
                const bool write = ours && storedStamp(db_) != counter;
                if (write)
                    writeStamp(db_, *counter);
                db_.exec(write ? sql::Commit : sql::Rollback);
                return ours;
            } catch (...) {
                db_.exec(sql::Rollback);
                throw;
            }
        });
    } catch (const StoreError&) {
        return false; // the next start checks the keys
    }
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

std::shared_ptr<const NameSortKeys> cachedSortKeys(SQLite::Database& db) {
    struct Cached {
        sqlite3* handle = nullptr;
        std::string file;
        long long changes = -1;
        long long version = -1;
        std::optional<unsigned> counter;
        std::shared_ptr<const NameSortKeys> keys;
    };
    // The window's thread alone sorts; one directory at a time.
    static thread_local Cached cached;
    sqlite3* handle = db.getHandle();
    const char* name = sqlite3_db_filename(handle, "main");
    const std::string file = name ? name : "";
    const long long changes = sqlite3_total_changes64(handle);
    const long long version = guarded([&] { return dataVersion(db); });
    // The file's change counter too: a connection closed and another opened at the same address.
    const std::optional<unsigned> counter = file.empty() ? std::nullopt : fileCounter(db);
    if (!cached.keys || cached.handle != handle || cached.file != file || cached.changes != changes ||
        cached.version != version || !counter || cached.counter != counter) {
        cached = {handle, file, changes, version, counter, std::make_shared<const NameSortKeys>(loadSortKeys(db))};
    }
    return cached.keys;
}

} // namespace pinyinkeys
