#include "core/store/Transaction.h"

#include "core/store/Sql.h"

#include <sqlite3.h>

Transaction::Transaction(Connection& connection)
    : connection_(connection), nested_(sqlite3_get_autocommit(connection.handle()) == 0) {
    if (!nested_)
        connection_.exec(sql::BeginWrite);
}

Transaction::~Transaction() {
    if (committed_ || nested_)
        return;
    try {
        connection_.exec(sql::RollbackWrite);
        connection_.exec(sql::EndWrite);
    } catch (const StoreError&) {
        // SQLite has already rolled the whole transaction back (for instance after an I/O error).
    }
}

void Transaction::commit() {
    if (!nested_)
        connection_.exec(sql::EndWrite);
    committed_ = true;
}
