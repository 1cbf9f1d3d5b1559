#pragma once
// The command-line modes, run without a window:
//   zinteva --import FILE [--group 名称]
//   zinteva --export FILE [--group 名称] [--vcard 3.0|4.0] [--encoding utf-8|gbk]
//   zinteva --remind (core/app/RemindCommand.h)
//   zinteva --sync [--sync-url URL --sync-user NAME] [--sync-allow-delete]
// An import prints its summary and ends with 0 only when every card of the file was imported. An
// export writes vCard (3.0 unless asked) or, for a .csv name, CSV.
#include "core/app/RemindCommand.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QTextStream;

namespace exitcode {
inline constexpr int Success = 0;
inline constexpr int Incomplete = 1; // some cards were skipped, or the file or data file failed
inline constexpr int Usage = 2;      // the arguments make no sense
} // namespace exitcode

// What --sync was given; an empty url means the account of the settings.
struct SyncOptions {
    QString url;
    QString user;
    bool allowDelete = false; // --sync-allow-delete: the user's yes to a run that deletes most people
};
// Runs one sync and returns its exit code. The sync lives in a library of its own (it needs the
// network), so the program hands it in.
using SyncRunner = std::function<int(const SyncOptions&, QTextStream&)>;

// `arguments` as QCoreApplication::arguments() gives them, the program's own path first. Nothing when
// they ask for no command-line mode (the window starts); otherwise the exit code, after the summary has
// been written to `out`.
std::optional<int> runCommandLine(const QStringList& arguments, const QString& dataFile, QTextStream& out,
                                  const SyncRunner& sync = {}, const RemindServices& remind = {});
// The same with the reminder's services alone (no sync).
inline std::optional<int> runCommandLine(const QStringList& arguments, const QString& dataFile, QTextStream& out,
                                         const RemindServices& remind) {
    return runCommandLine(arguments, dataFile, out, SyncRunner{}, remind);
}
