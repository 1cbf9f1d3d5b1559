#pragma once
// Each contact's own UID, kept in the table zinteva_uid: made at random when the contact is made, and
// written into every card of it (export, sync), so that a card that comes back finds that person
// and no other, even in a copied or restored data file that hands out the same ids again.
//
// Cards written by older builds carry "zinteva-<the file's random part>-friend<id>"; when the table
// is first made in a data file, every contact it holds is given that UID, so those cards still find
// their person. Every function throws StoreError on a failing statement.
#include <QString>

namespace SQLite {
class Database;
}

namespace contactuids {

// Makes the table when the data file has none (nothing for a read-only file). Store::open calls it.
void ensureTable(SQLite::Database& db);

// A new random UID.
QString makeRandom();

// Gives a new contact its random UID, in the caller's transaction.
void assign(SQLite::Database& db, const QString& contactKey);

// The contact's UID. A contact without one (made by an older build or another program) gets one
// now when `create` is set and the file can be written; otherwise the form its cards had before, or
// an empty text.
QString uidOf(SQLite::Database& db, const QString& contactKey, bool create);

// The contact that carries this UID; empty when no contact of this data file does.
QString contactOf(SQLite::Database& db, const QString& uid);

// Keeps the table in step with deletes (before the contacts go).
void remove(SQLite::Database& db, const QString& contactKey);
void removeGroup(SQLite::Database& db, const QString& groupKey);

} // namespace contactuids
