#pragma once
// The record of local changes that the address-book sync sends at its next run. Triggers in the data
// file write it, in the same transaction as each change, whichever program or window made it.
namespace SQLite {
class Database;
}

namespace changelog {
// Creates the log's tables and triggers when they are missing. Throws on failure.
void ensure(SQLite::Database& db);
// Whether all the triggers are there (a file changed by a tool that dropped them is not).
bool complete(SQLite::Database& db);
} // namespace changelog
