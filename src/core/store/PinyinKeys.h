#pragma once
// The pinyin keys of every contact, in the data file's table `pinyin` (one row per contact key).
// Store keeps them in step with every save, rename and delete in the same transaction; an import
// that writes contacts itself calls write() inside its own transaction. Contacts whose keys are
// missing or stale (a data file from before this table, or changed by another program) are filled
// by backfill() when the data file is opened.
//
// Every function throws StoreError (store/Store.h) with SQLite's message when a statement fails.
#include "core/store/OpenOptions.h"
#include "core/store/RowOrder.h"
#include "core/text/Pinyin.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
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

// The same for a connection of its own, away from the window thread. The keys are made outside any
// transaction and written a few hundred at a time, each only while its contact still carries the
// name they were made from, so that the window's own saves wait at most for one short step and are
// never overwritten. Stops after the step in hand once stop is set. When a whole pass ran without
// another connection committing, the data file is stamped as current (see Currency). Returns
// the number of contacts written.
int backfillInSteps(SQLite::Database& db, const std::atomic<bool>& stop);
// backfillInSteps() on a connection of its own to the data file, opened with options (the same VFS
// as the window's).
int backfillFile(const QString& dataFile, const OpenOptions& options, const std::atomic<bool>& stop);

// Whether every contact's keys can be taken as current without reading the file through. The data
// file's header holds a change counter that every committed write raises, from any program; the
// meta table keeps the counter at which every key was last known current. The program's own
// writes keep the keys current, so a session in which no other connection committed stamps the file
// again when it ends (stampIfCurrent); a file changed by anyone else is checked at the next start.
class Currency {
public:
    // Reads the stamp; the connection must outlive the calls below (not the object).
    explicit Currency(SQLite::Database& db);

    // No commit at all since the stamp was written.
    bool current() const { return current_; }
    // After backfillInSteps() on another connection: reads the stamp again.
    void refresh();
    // At the end of a session: stamps the file when no other connection committed since the keys
    // were known current. Returns whether it did.
    bool stampIfCurrent();

private:
    SQLite::Database& db_;
    bool current_ = false;
    long long version_ = 0;
};

// The stored keys of one contact, as written; nothing when it has none.
struct StoredKeys {
    QString name; // the name they were made from
    pinyin::Keys keys;
};
std::optional<StoredKeys> stored(SQLite::Database& db, const QString& contactKey);

// The name column's sort key of every contact, for rowOrder() (store/RowOrder.h). Read once per
// fill of the list and after an in-place rename (about 15 ms for 100,000 contacts), not per click.
NameSortKeys loadSortKeys(SQLite::Database& db);
// The same, read again only when something may have changed them: a write on this connection
// (SQLite's count of changed rows moved), a commit by any other (data_version moved) or another
// file. Every refill of a sorted list after a save reads them once; a refill without a write
// reads nothing.
std::shared_ptr<const NameSortKeys> cachedSortKeys(SQLite::Database& db);

} // namespace pinyinkeys
