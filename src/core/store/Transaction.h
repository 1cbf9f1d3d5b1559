#pragma once
// A write that happens whole or not at all. It nests: inside a caller's transaction (an import of
// many cards, say) it becomes part of that one; on its own it is a transaction of its own. Rolls
// back unless committed.
#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

class Transaction {
public:
    // Inside a transaction already open the write joins it without a savepoint of its own: a
    // savepoint per contact of a large import sends every page SQLite changes through its statement
    // journal, a temporary file. A failure inside leaves through an exception, and the outer
    // transaction, which sees it, rolls the whole write back.
    explicit Transaction(SQLite::Database& db) : db_(db), nested_(sqlite3_get_autocommit(db.getHandle()) == 0) {
        if (!nested_)
            db_.exec("savepoint zinteva_write");
    }
    ~Transaction() {
        if (committed_ || nested_)
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
        if (!nested_)
            db_.exec("release zinteva_write");
        committed_ = true;
    }

private:
    SQLite::Database& db_;
    bool nested_;
    bool committed_ = false;
};
