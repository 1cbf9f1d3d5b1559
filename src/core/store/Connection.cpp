#include "core/store/Connection.h"

#include "core/store/Sql.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

Connection::Connection(const QString& path, int flags, const char* vfs) {
    try {
        db_ = std::make_unique<SQLite::Database>(path.toStdString(), flags, 2000, vfs ? std::string(vfs) : std::string());
    } catch (const SQLite::Exception& e) {
        throw StoreError(e.what(), e.getErrorCode(), e.getExtendedErrorCode());
    }
    handle_ = db_->getHandle();
}

Connection::~Connection() {
    for (auto& [text, statements] : kept_)
        for (sqlite3_stmt* statement : statements)
            sqlite3_finalize(statement);
}

sqlite3_stmt* Connection::takePrepared(const char* text) {
    const auto found = kept_.find(text);
    if (found == kept_.end() || found->second.empty())
        return nullptr;
    sqlite3_stmt* statement = found->second.back();
    found->second.pop_back();
    return statement;
}

void Connection::givePrepared(const char* text, sqlite3_stmt* statement) {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    auto found = kept_.find(text);
    if (found == kept_.end()) {
        if (kept_.size() >= KeptStatements) {
            sqlite3_finalize(statement); // a text made on the fly (a search); not worth keeping
            return;
        }
        found = kept_.emplace(text, std::vector<sqlite3_stmt*>()).first;
    }
    if (found->second.size() >= 4) {
        sqlite3_finalize(statement);
        return;
    }
    found->second.push_back(statement);
}

void Connection::exec(const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(handle_, sql, nullptr, nullptr, &error);
    if (rc == SQLITE_OK)
        return;
    const std::string text = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw StoreError(text, rc, sqlite3_extended_errcode(handle_));
}

void Connection::rollbackAll() noexcept {
    if (sqlite3_get_autocommit(handle_) == 0)
        sqlite3_exec(handle_, sql::Rollback, nullptr, nullptr, nullptr);
}

qint64 Connection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(handle_);
}

int Connection::changes() const {
    return sqlite3_changes(handle_);
}

bool Connection::isReadOnly() const {
    return sqlite3_db_readonly(handle_, "main") == 1;
}

void Connection::fail(int rc) const {
    throw StoreError(sqlite3_errmsg(handle_), rc, sqlite3_extended_errcode(handle_));
}
