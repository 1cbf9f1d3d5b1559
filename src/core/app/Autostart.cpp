#include "core/app/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace autostart {
namespace {

const QString EntryName = QStringLiteral("zinteva-remind.desktop");
const QByteArray Marker = "X-Zinteva-Remind=true";

QString configHome() {
    const QString set = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return set;
    return QDir::homePath() + QStringLiteral("/.config");
}

// One argument of Exec, quoted as the desktop entry specification asks; the whole value is then
// escaped once more as a string of the entry ('\' -> '\\'), and '%' doubled (it starts field codes).
QString execArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    QString escaped;
    for (const QChar c : quoted) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'%')
            escaped += QStringLiteral("%%");
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

QString entryPath() {
    return configHome() + QStringLiteral("/autostart/") + EntryName;
}

bool isInstalled() {
    return QFileInfo(entryPath()).isFile();
}

QString entryText(const QString& programPath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=zinteva 生日提醒\n"
                          "Comment=登录时提醒今天和最近几天过生日的好友\n"
                          "Exec=%1 --remind\n"
                          "Icon=zinteva\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
               .arg(execArgument(QFileInfo(programPath).absoluteFilePath())) +
           QString::fromLatin1(Marker) + u'\n';
}

bool install(const QString& programPath, QString* error) {
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("不能创建文件夹 %1").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(programPath).toUtf8()) < 0 || !file.commit()) {
        *error = QStringLiteral("不能写入 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool remove(QString* error) {
    const QString path = entryPath();
    QFile file(path);
    if (!file.exists())
        return true;
    // An entry of the same name that the user wrote by hand is theirs: it is left alone.
    if (file.open(QIODevice::ReadOnly) && !file.readAll().contains(Marker)) {
        *error = QStringLiteral("%1 不是本程序写的，没有删除").arg(QDir::toNativeSeparators(path));
        return false;
    }
    file.close();
    if (!file.remove()) {
        *error = QStringLiteral("不能删除 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace autostart
