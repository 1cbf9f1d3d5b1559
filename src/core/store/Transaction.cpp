#include "core/store/Transaction.h"

#include "core/store/Sql.h"

#include <sqlite3.h>

Transaction::Transaction(Connection& connection, Lock lock)
    : connection_(connection), nested_(sqlite3_get_autocommit(connection.handle()) == 0), lock_(lock) {
    if (!nested_)
        connection_.exec(lock_ == Lock::Immediate ? sql::BeginImmediate : sql::BeginWrite);
}

Transaction::~Transaction() {
    if (!committed_ && !nested_)
        connection_.rollbackAll();
}

void Transaction::commit() {
    if (!nested_)
        connection_.exec(lock_ == Lock::Immediate ? sql::Commit : sql::EndWrite);
    committed_ = true;
}
