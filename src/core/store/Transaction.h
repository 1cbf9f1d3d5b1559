#pragma once
// A write that happens whole or not at all. It nests: inside a caller's transaction (an import of
// many cards, say) it becomes part of that one; on its own it is a transaction of its own. Rolls
// back unless committed.
#include <SQLiteCpp/Database.h>

class Transaction {
public:
    explicit Transaction(SQLite::Database& db) : db_(db) { db_.exec("savepoint zinteva_write"); }
    ~Transaction() {
        if (committed_)
            return;
        try {
            db_.exec("rollback to zinteva_write");
            db_.exec("release zinteva_write");
        } catch (const std::exception&) {
            // SQLite has already rolled the whole transaction back (for instance after an I/O error).
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit() {
        db_.exec("release zinteva_write");
        committed_ = true;
    }

private:
    SQLite::Database& db_;
    bool committed_ = false;
};
