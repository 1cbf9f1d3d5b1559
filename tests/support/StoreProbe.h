#pragma once
// Tests and the benchmark reach the file behind the store's back: to set up rows the program would
// never write, to plant triggers that refuse a write, to count commits, to dump the file. The
// program itself never does (the connection does not leave the store).
#include "core/store/Connection.h"
#include "core/store/Store.h"

#include <SQLiteCpp/SQLiteCpp.h>

struct StoreProbe {
    static SQLite::Database& db(Store& store) { return *store.connection_->db_; }
    // Statements prepared anew (not taken from the connection's kept ones) so far.
    static int prepared(Store& store) { return store.connection_->preparedCount(); }
};

inline SQLite::Database& storeDb(Store& store) {
    return StoreProbe::db(store);
}
