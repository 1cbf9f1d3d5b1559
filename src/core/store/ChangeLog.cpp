#include "core/store/ChangeLog.h"

#include "core/store/Connection.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"

#include <QMap>
#include <sqlite3.h>

namespace changelog {
namespace {

QMap<QString, QString> triggers(Connection& connection) {
    QMap<QString, QString> found;
    Statement select(connection, sql::SelectChangeLogTriggers);
    while (select.step())
        found.insert(select.text(0), select.text(1));
    return found;
}

// The triggers' text as this build makes them, read back from a scratch database in memory.
const QMap<QString, QString>& expected() {
    static const QMap<QString, QString> texts = [] {
        Connection scratch(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY);
        scratch.exec(sql::CreatePhone);
        scratch.exec(sql::CreateGroups);
        scratch.exec(sql::CreateLunarBirthdays);
        scratch.exec(sql::CreateChangeLog);
        return triggers(scratch);
    }();
    return texts;
}

} // namespace

void ensure(Connection& connection) {
    if (complete(connection))
        return;
    // Missing ones are made; ones of the same names with another text (an older build's, or a file's
    // own that would run on every change) are replaced.
    Transaction transaction(connection);
    connection.exec(sql::DropChangeLogTriggers);
    connection.exec(sql::CreateChangeLog);
    transaction.commit();
}

bool complete(Connection& connection) {
    return triggers(connection) == expected();
}

} // namespace changelog
