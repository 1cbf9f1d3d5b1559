#pragma once
// Triggers and views inside a data file that the program did not make. A trigger runs on the
// program's own writes (and could empty a table during the start-up birthday pass); a view can stand
// where a table is expected and hang any read with an endless query. They are looked for before any
// other statement runs on a file, and dropped.
#include <QStringList>

struct sqlite3;

namespace foreignschema {

// "触发器 name" / "视图 name" for each one found; empty for a sound file. Throws StoreError when the
// schema cannot be read.
QStringList find(sqlite3* db);

// Drops every one found, in one transaction, and returns what was dropped. A file opened read-only
// keeps its triggers (they run only on writes). Throws StoreError when a read-only file has a view,
// or the drop fails: such a file is not used.
QStringList drop(sqlite3* db);

} // namespace foreignschema
