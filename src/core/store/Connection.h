#pragma once
// The one connection to a data file. It stays inside the store: the table classes and the
// statements reach it, nothing above the store does. Every failure leaves as a StoreError with
// SQLite's codes.
#include "core/store/StoreError.h"

#include <QString>
#include <memory>

struct sqlite3;
namespace SQLite {
class Database;
}

class Connection {
public:
    // flags are SQLite's open flags; vfs may name a registered VFS (tests inject faults with one).
    Connection(const QString& path, int flags, const char* vfs = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return handle_; }
    // Runs a text of one or more statements that return no rows.
    void exec(const char* sql);
    qint64 lastInsertRowid() const;
    int changes() const;
    bool isReadOnly() const;

    // Throws what SQLite says about the last failure on this connection.
    [[noreturn]] void fail(int rc) const;

private:
    friend struct StoreProbe; // tests read and write the file behind the store's back
    std::unique_ptr<SQLite::Database> db_;
    sqlite3* handle_ = nullptr;
};
