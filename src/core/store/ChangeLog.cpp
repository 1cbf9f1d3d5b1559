#include "core/store/ChangeLog.h"

#include "core/store/Connection.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"

namespace changelog {

void ensure(Connection& connection) {
    if (complete(connection))
        return;
    Transaction transaction(connection);
    connection.exec(sql::CreateChangeLog);
    transaction.commit();
}

bool complete(Connection& connection) {
    Statement count(connection, sql::ChangeLogComplete);
    return count.step() && count.integer(0) == 5;
}

} // namespace changelog
