#include "core/store/Transaction.h"

#include "core/store/Sql.h"

Transaction::Transaction(Connection& connection) : connection_(connection) {
    connection_.exec(sql::BeginWrite);
}

Transaction::~Transaction() {
    if (committed_)
        return;
    try {
        connection_.exec(sql::RollbackWrite);
        connection_.exec(sql::EndWrite);
    } catch (const StoreError&) {
        // SQLite has already rolled the whole transaction back (for instance after an I/O error).
    }
}

void Transaction::commit() {
    connection_.exec(sql::EndWrite);
    committed_ = true;
}
