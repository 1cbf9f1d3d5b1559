#include "gui/forms/SystemServices.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

bool DesktopSystemServices::startProgram(const QString& path) {
    return QProcess::startDetached(path, {});
}

QString DesktopSystemServices::findInPath(const QString& name) const {
    return QStandardPaths::findExecutable(name);
}

bool DesktopSystemServices::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
