#pragma once
// zinteva --sync [--sync-url URL --sync-user NAME] [--sync-allow-delete]: one sync without a window,
// for cron and scripts. The account comes from the options or from the settings; the password from the first line
// of standard input when that is not a terminal, else from the PasswordSource given. Works with no
// desktop session, no D-Bus and no keyring.
#include "core/sync/SyncEngine.h"

#include <QStringList>
#include <optional>

class QTextStream;

// One sync with the account of `url` and `user`, or with `saved` when url is empty. Holds the data
// file's lock while it works, as every writer does. Returns the exit code (0 only when everything was
// exchanged) after the summary went to `out`. A run that would delete most of the directory refuses
// unless allowDelete; one that would take the password to another host than the one given refuses.
int runSyncCommand(const QString& url, const QString& user, const QString& dataFile, const SyncAccount& saved,
                   PasswordSource* keyring, QTextStream& out, bool allowDelete = false);

// The first line of standard input when it is not a terminal.
std::optional<QString> passwordFromStdin();
