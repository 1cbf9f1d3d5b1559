#pragma once
// The login reminder: a freedesktop autostart entry, $XDG_CONFIG_HOME/autostart/zinteva-remind.desktop
// (~/.config when XDG_CONFIG_HOME is not set or not absolute), that runs `zinteva --remind` when the
// user logs in. Only the entry this program wrote is ever removed.
#include <QString>

namespace autostart {

QString entryPath();
bool isInstalled();
// The entry's text for a program at programPath.
QString entryText(const QString& programPath);
// False with a reason in Chinese when the entry cannot be written or removed.
bool install(const QString& programPath, QString* error);
bool remove(QString* error);

} // namespace autostart
