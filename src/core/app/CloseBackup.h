#pragma once
// The backup step of every orderly close: the window's own close, and a close asked for by a signal.
// The data file replaces the backup only when it is sound, and, when it lost most of its people since
// the start (a slip, or a hostile file's doing), only when the user says so; with nobody to ask, the
// old backup stays.
#include "core/store/DataFiles.h"

class Dialogs;
class QWidget;

namespace closebackup {

// The number of contacts in the data file, or -1 when it cannot be read.
int contactCount(const QString& dataFile);

// True when going from `before` to `now` contacts loses more than half of them, or the last one.
bool lostMost(int before, int now);

// Refreshes the backup from the data file (the connection must be closed already). `contactsAtStart`
// is the count when the data file was opened (-1: unknown). The data file is measured against that
// count and against the backup's own: a file emptied before the window counted it (by a hostile
// file's doing at the open) still never replaces a fuller backup unasked. `dialogs` may be null: no
// question can then be asked and nothing told. True when the backup was refreshed.
bool run(const DataPaths& paths, int contactsAtStart, Dialogs* dialogs, QWidget* parent);

} // namespace closebackup
