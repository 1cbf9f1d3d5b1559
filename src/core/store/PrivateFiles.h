#pragma once
// The user's own files. What the program reads its data from must be the user's own and writable by
// nobody else, as a secure shell demands of its keys: another user who may write the data file, its
// backup or the folder holding them could replace them with a file of his own (and read what the
// victim then writes into it), or plant a journal that SQLite would roll into the file. What the
// program writes for the user (exports, settings, the autostart entry) is created private.
#include <QString>

class QFileDevice;

namespace privatefiles {

enum class What { DataFile, Backup, DataFolder, ProgramFolder };

// Empty when `path` is the user's own (or root's, for a folder above it) and nobody else may write
// it, or when it does not exist; else a message in Chinese that says why it is not used and what to
// do. A folder's parents are checked too: whoever may write one of them may swap the folder.
QString distrust(const QString& path, What what);

// Makes the folder and the missing folders above it; the ones it makes are 0700, the ones there keep
// their mode. False when it cannot.
bool makeFolder(const QString& path);

// For a file about to be written at `path`: true when none is there yet, so that the writer makes
// the new one private (restrict) and an existing one keeps its mode.
bool isNew(const QString& path);
// Makes the open file (a QSaveFile's new file) 0600.
bool restrict(QFileDevice& file);
// Creates `path` empty and 0600 when it is not there, for a writer that keeps an existing file's
// mode (QSettings). Its folder is made with makeFolder.
bool prepare(const QString& path);

} // namespace privatefiles
