#pragma once
// A write that happens whole or not at all, handed out by the store (Store::transaction()). It
// nests: inside a caller's transaction (an import of many cards, say) it becomes part of that one;
// on its own it is a transaction of its own. Rolls back unless committed.
#include "core/store/Connection.h"

class Transaction {
public:
    // Deferred takes the write lock at the first write. Immediate takes it at once, for a write that
    // reads first and must not be refused its lock half-way (a batch of the address-book sync): a
    // writer on another connection then makes it wait at the start instead.
    enum class Lock { Deferred, Immediate };

    // Inside a transaction already open the write joins it without a savepoint of its own: a
    // savepoint per contact of a large import sends every page SQLite changes through its statement
    // journal, a temporary file. A failure inside leaves through an exception, and the outer
    // transaction, which sees it, rolls the whole write back.
    explicit Transaction(Connection& connection, Lock lock = Lock::Deferred);
    // An outer transaction that was not committed ends here whatever happened: rolled back whole
    // (Connection::rollbackAll), never left open for the next write to join unseen.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Throws StoreError when the commit fails (a full disk, say); the destructor then rolls back.
    void commit();

private:
    Connection& connection_;
    bool nested_;
    Lock lock_;
    bool committed_ = false;
};
