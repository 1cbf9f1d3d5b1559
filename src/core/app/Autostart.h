#pragma once
// The login reminder: a freedesktop autostart entry, $XDG_CONFIG_HOME/autostart/zinteva-remind.desktop
// (~/.config when XDG_CONFIG_HOME is not set or not absolute), that runs `zinteva --remind` when the
// user logs in. Only the entry this program wrote is ever removed. A new entry and the folders made
// for it are private (0600, 0700).
#include <QString>

namespace autostart {

QString entryPath();
bool isInstalled();
// The entry's text for a program at programPath: every value escaped as desktop entries ask.
QString entryText(const QString& programPath);
// Why a program at that path cannot be run from the entry (a line break or another control
// character, an '=' in its name), in Chinese; empty when it can. install() refuses such a path.
QString refusedProgramPath(const QString& programPath);
// False with a reason in Chinese when the entry cannot be written or removed.
bool install(const QString& programPath, QString* error);
bool remove(QString* error);

} // namespace autostart
