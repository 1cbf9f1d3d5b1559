#pragma once
// A write that happens whole or not at all, handed out by the store (Store::transaction()). It
// nests: inside a caller's transaction (an import of many cards, say) it becomes part of that one;
// on its own it is a transaction of its own. Rolls back unless committed.
#include "core/store/Connection.h"

class Transaction {
public:
    // Inside a transaction already open the write joins it without a savepoint of its own: a
    // savepoint per contact of a large import sends every page SQLite changes through its statement
    // journal, a temporary file. A failure inside leaves through an exception, and the outer
    // transaction, which sees it, rolls the whole write back.
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& connection_;
    bool nested_;
    bool committed_ = false;
};
