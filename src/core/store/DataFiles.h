#pragma once
// The data file and its backup, and the two ways the backup is written: at every orderly close
// (data file over backup) and at start on request (backup over a missing data file). Both write a
// temporary file beside the target, sync it, check it and only then rename it over the target, so
// that a failure at any moment leaves the old file whole.
#include <QString>

struct DataPaths {
    QString dir;
    QString data;   // tavrel.mdb
    QString backup; // tavrel.tsb

    static DataPaths in(const QString& dir);
};

// The program's folder: ZINTEVA_DIR when set, else the folder that holds the binary.
QString programDirectory();

// False with a reason when the data file is damaged or the copy cannot be written; the old backup
// is then untouched.
bool refreshBackup(const DataPaths& paths, QString* error);
// A private copy (0600) of the database `source` under the new name `target`, made as a backup is (under
// SQLite's lock, checked, synced, then renamed into place). False with a reason; nothing is left then.
bool copyDatabase(const QString& source, const QString& target, QString* error);
// False with a reason when the backup is damaged or cannot be copied; nothing is changed then.
bool restoreBackup(const DataPaths& paths, QString* error);
// For a data file that exists but cannot be used: moves it (with its journal, if any) aside under the
// first free name of tavrel.mdb.damaged, tavrel.mdb.damaged.2, ... and restores the backup in its
// place. False with a reason when that fails; the damaged file is then back where it was.
bool restoreOverDamaged(const DataPaths& paths, QString* aside, QString* error);
// "ok" when the file is a sound data file of this program, else what is wrong with it. Opened
// read-only unless `writable` (a hot journal is then rolled back first).
QString checkDataFile(const QString& path, bool writable = false);
