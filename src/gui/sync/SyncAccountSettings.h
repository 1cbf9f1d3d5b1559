#pragma once
// The sync account in the user's settings: server, user, address book, interval and a trusted
// certificate. The password is never written here.
#include "core/sync/SyncEngine.h"

class Settings;

namespace syncsettings {
SyncAccount load(const Settings& settings);
void save(Settings& settings, const SyncAccount& account);
// Minutes between automatic syncs: 0 (off), 15 or 60.
int interval(const Settings& settings);
void setInterval(Settings& settings, int minutes);
} // namespace syncsettings
