#pragma once
// What identifies the state of a data file without reading it through: the file (device and
// inode), its size, its modification time to the nanosecond and the change counter SQLite keeps in
// the file's header (raised by every committed write, from any program). A file whose stamp is the
// one it had when it last passed the integrity check at an orderly exit has not been touched since,
// so the check need not read it again at the next start.
#include <QString>
#include <optional>

namespace filestamp {

// The stamp of the file as it stands, as one line of text; empty when the file cannot be read or
// has a journal beside it (a write in progress, or one that SQLite will roll back when it opens).
QString of(const QString& dataFile);

// SQLite's change counter in the file's header; nothing when the file cannot be read.
std::optional<quint32> changeCounter(const QString& dataFile);

} // namespace filestamp
