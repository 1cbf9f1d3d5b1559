#pragma once
// The pinyin keys of every contact, in the data file's table `pinyin` (one row per contact key).
// Store keeps them in step with every save, rename and delete in the same transaction; an import
// that writes contacts itself calls write() inside its own transaction. Contacts whose keys are
// missing or stale (a data file from before this table, or changed by another program) are filled
// by backfill() when the data file is opened.
//
// Every function throws StoreError (store/Store.h) with SQLite's message when a statement fails.
#include "core/text/Pinyin.h"
#include "core/store/RowOrder.h"

#include <QString>
#include <functional>
#include <optional>

namespace SQLite {
class Database;
}

namespace pinyinkeys {

// Creates the table when the data file has none (in temp for a file opened read-only, so that a
// search by pinyin and the sort still work there). Store::open calls it.
void ensureTable(SQLite::Database& db);

// Writes the keys of one contact from its name. Runs in the caller's transaction, if one is open,
// so that the contact and its keys are committed (or rolled back) together. Writes nothing for a
// contact key that no contact carries.
void write(SQLite::Database& db, const QString& contactKey, const QString& name);

// Removes the keys of one contact, or of every contact of a group (call before the group's
// contacts are deleted: their keys are found through their mainid).
void remove(SQLite::Database& db, const QString& contactKey);
void removeGroup(SQLite::Database& db, const QString& groupKey);

// Writes the keys of every contact that has none or whose name changed since they were made, and
// drops keys whose contact is gone; all in one transaction. progress(done, total) is called
// first with done = 0, then every few hundred contacts and at the end; it is not called at all
// when every key is current. A progress function that throws cancels the fill: nothing is
// written, and the exception passes to the caller. Returns the number of contacts written.
using Progress = std::function<void(int done, int total)>;
int backfill(SQLite::Database& db, const Progress& progress = {});

// The stored keys of one contact, as written; nothing when it has none.
struct StoredKeys {
    QString name; // the name they were made from
    pinyin::Keys keys;
};
std::optional<StoredKeys> stored(SQLite::Database& db, const QString& contactKey);

// The name column's sort key of every contact, for rowOrder() (store/RowOrder.h). Read once per
// fill of the list and after an in-place rename (about 15 ms for 100,000 contacts), not per click.
NameSortKeys loadSortKeys(SQLite::Database& db);

} // namespace pinyinkeys
