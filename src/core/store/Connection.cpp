#include "core/store/Connection.h"

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

Connection::~Connection() = default;

void Connection::exec(const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(handle_, sql, nullptr, nullptr, &error);
    if (rc == SQLITE_OK)
        return;
    const std::string text = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw StoreError(text, rc, sqlite3_extended_errcode(handle_));
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
