#pragma once
// The one connection to a data file. It stays inside the store: the table classes and the
// statements reach it, nothing above the store does. Every failure leaves as a StoreError with
// SQLite's codes.
#include "core/store/StoreError.h"

#include <QString>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
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
    // Ends the open transaction, if any, by rolling all of it back; never throws. ROLLBACK ends a
    // transaction even when SQLite cannot undo it on disk (the journal then rolls it back at the
    // next read), where a failed ROLLBACK TO or RELEASE on a full disk leaves it open.
    void rollbackAll() noexcept;

    // Throws what SQLite says about the last failure on this connection.
    [[noreturn]] void fail(int rc) const;

    // Prepared statements kept for their next use (Statement takes and gives them back): preparing
    // costs far more than running most of them, and an import or an export runs the same few texts
    // for every card. A statement is taken out while in use, so two alike can run at once; a kept
    // one is reset with its values cleared. Kept at most KeptStatements texts.
    sqlite3_stmt* takePrepared(const char* text);
    void givePrepared(const char* text, sqlite3_stmt* statement);
    // How many times a text had to be prepared anew on this connection (tests count it).
    int preparedCount() const { return prepared_; }
    void countPrepared() { ++prepared_; }

private:
    static constexpr size_t KeptStatements = 96;
    std::unordered_map<std::string, std::vector<sqlite3_stmt*>> kept_;
    int prepared_ = 0;
    friend struct StoreProbe; // tests read and write the file behind the store's back
    std::unique_ptr<SQLite::Database> db_;
    sqlite3* handle_ = nullptr;
};
