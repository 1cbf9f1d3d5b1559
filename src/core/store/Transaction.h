#pragma once
// A write that happens whole or not at all, handed out by the store (Store::transaction()). It
// nests: inside a caller's transaction (an import of many cards, say) it becomes part of that one;
// on its own it is a transaction of its own. Rolls back unless committed.
#include "core/store/Connection.h"

class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& connection_;
    bool committed_ = false;
};
