#include "core/store/MetaTable.h"

#include "core/store/Sql.h"
#include "core/store/Statement.h"

std::optional<QString> MetaTable::value(const char* key) {
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "zinteva_meta");
    if (!exists.step() || exists.integer(0) == 0)
        return std::nullopt;
    Statement select(connection_, sql::SelectMeta);
    select.bind(1, key);
    if (!select.step())
        return std::nullopt;
    return select.text(0);
}

void MetaTable::insert(const char* key, const QString& value) {
    Statement(connection_, sql::InsertMeta).bind(1, key).bind(2, value).exec();
}
