#pragma once
// Small pieces every file of the store shares: SQLite's failures as the program's own StoreError,
// and a text column read as a QString.
#include "core/store/Store.h"

#include <QString>
#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Statement.h>

namespace storehelpers {

// Runs work; any failure of SQLite (or of SQLiteCpp) leaves as a StoreError with SQLite's message.
template <typename F> auto guarded(F&& work) {
    try {
        return work();
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

// Null reads as an empty text.
inline QString columnText(SQLite::Statement& statement, int index) {
    const SQLite::Column column = statement.getColumn(index);
    if (column.isNull())
        return {};
    return QString::fromUtf8(column.getText(), column.getBytes());
}

} // namespace storehelpers
