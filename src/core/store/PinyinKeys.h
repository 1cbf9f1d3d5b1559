#pragma once
// Table pinyin: the pinyin keys of every contact (one row per contact key). Store keeps them in
// step with every save, rename and delete in the same transaction; an import that writes contacts
// itself calls write() inside its own transaction. Contacts whose keys are missing or stale (a
// data file from before this table, or changed by another program) are filled by backfill().
//
// Every method throws StoreError when a statement fails.
#include "core/store/FilterKeys.h"
#include "core/store/RowOrder.h"
#include "core/text/Pinyin.h"

#include "core/store/OpenOptions.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class Connection;

class PinyinKeys {
public:
    explicit PinyinKeys(Connection& connection) : connection_(connection) {}

    // Writes the keys of one contact from its name, in the caller's transaction if one is open.
    // Writes nothing for a contact key that no contact carries.
    void write(const QString& contactKey, const QString& name);

    // Removes the keys of one contact, or of every contact of a group (call before the group's
    // contacts are deleted: their keys are found through their mainid).
    void remove(const QString& contactKey);
    void removeGroup(const QString& groupKey);

    // Writes the keys of every contact that has none or whose name changed since they were made,
    // and drops keys whose contact is gone; all in one transaction. progress(done, total) is called
    // first with done = 0, then every few hundred contacts and at the end; it is not called at all
    // when every key is current. A progress function that throws cancels the fill: nothing is
    // written, and the exception passes to the caller. Returns the number of contacts written.
    using Progress = std::function<void(int done, int total)>;
    int backfill(const Progress& progress = {});

    // The same for a connection of its own, away from the window thread. The keys are made outside
    // any transaction and written a few hundred at a time, each only while its contact still
    // carries the name they were made from, so that the window's own saves wait at most for one
    // short step and are never overwritten. Stops after the step in hand once stop is set. When a
    // whole pass ran without another connection committing, the file is stamped as current (see
    // knownCurrent). Returns the number of contacts written.
    int backfillInSteps(const std::atomic<bool>& stop);
    // backfillInSteps() on a connection of its own to the data file, opened with options (the
    // same VFS as the window's).
    static int backfillFile(const QString& dataFile, const OpenOptions& options, const std::atomic<bool>& stop);

    // Whether every contact's keys can be taken as current without reading the file through. The
    // data file's header holds a change counter that every committed write raises, from any
    // program; zinteva_meta keeps the counter at which every key was last known current. The
    // program's own writes keep the keys current, so a session in which no other connection
    // committed stamps the file again when it ends (stampIfCurrent); a file changed by anyone else
    // is checked at the next start. readStamp() reads it (at open, and after a fill on another
    // connection); knownCurrent() is what it found.
    bool readStamp();
    bool knownCurrent() const { return current_; }
    // Returns whether the keys were still known current; writes only when the stamp moved.
    bool stampIfCurrent();

    // The stored keys of one contact, as written; nothing when it has none.
    struct StoredKeys {
        QString name; // the name they were made from
        pinyin::Keys keys;
    };
    std::optional<StoredKeys> stored(const QString& contactKey);

    // The name column's sort key of every contact, for rowOrder() (store/RowOrder.h). Read once
    // per fill of the list and after an in-place rename, not per click.
    NameSortKeys loadSortKeys();
    // The same, read again only when something may have changed them: a write on this connection
    // (SQLite's count of changed rows moved) or a commit by another (data_version moved). A refill
    // of a sorted list without a write reads nothing.
    std::shared_ptr<const NameSortKeys> cachedSortKeys();
    // Every contact's pinyin for the filter line under the list, read once when it is first used.
    FilterKeys loadFilterKeys();

private:
    Connection& connection_;
    bool current_ = false;
    long long version_ = 0;
    struct SortKeyCache {
        long long changes = -1;
        long long version = -1;
        std::shared_ptr<const NameSortKeys> keys;
    } sortKeys_;
};
