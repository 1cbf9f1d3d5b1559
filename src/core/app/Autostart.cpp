#include "core/app/Autostart.h"

#include "core/store/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

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

// A value of type string in a desktop entry: the escapes the entry's reader undoes first.
QString stringValue(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    // A blank at the start would be taken for the blank after '='.
    if (escaped.startsWith(u' '))
        escaped.replace(0, 1, QStringLiteral("\\s"));
    return escaped;
}

// One argument of Exec, quoted as desktop entries ask ('"', '`', '$' and '\' escaped inside double
// quotes) and '%' doubled (it starts field codes); the whole Exec value is then a string value.
QString execArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

} // namespace

QString entryPath() {
    return configHome() + QStringLiteral("/autostart/") + EntryName;
}

bool isInstalled() {
    return QFileInfo(entryPath()).isFile();
}

namespace {
bool isControl(QChar c) {
    return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
           c.category() == QChar::Separator_Paragraph;
}

// The path as the message can show it: each control character as \x and its code.
QString visible(const QString& path) {
    QString shown;
    for (const QChar c : path)
        shown += isControl(c) ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')) : QString(c);
    return shown;
}
} // namespace

QString refusedProgramPath(const QString& programPath) {
    const QString shown = QDir::toNativeSeparators(programPath);
    // A line break or another control character would end the Exec line, or change what the
    // desktop runs at login: such a path is refused, never written.
    if (std::any_of(programPath.begin(), programPath.end(), isControl))
        return QStringLiteral("程序所在的路径中有换行符或其它控制字符，不能用作登录时运行的命令：%1\n"
                                  "请把程序放到名称中没有这些字符的文件夹中再试。")
                .arg(visible(shown));
    // The name of the program in Exec may not hold '=' (readers take it for a key).
    if (programPath.contains(u'='))
        return QStringLiteral("程序所在的路径中有等号“=”，不能用作登录时运行的命令：%1\n"
                              "请把程序放到名称中没有等号的文件夹中再试。")
            .arg(shown);
    if (QFile::decodeName(QFile::encodeName(programPath)) != programPath)
        return QStringLiteral("程序所在的路径不能用本系统的文件名编码写出：%1").arg(shown);
    return {};
}

QString entryText(const QString& programPath) {
    const auto line = [](const char* key, const QString& value) {
        return QString::fromLatin1(key) + u'=' + stringValue(value) + u'\n';
    };
    return QStringLiteral("[Desktop Entry]\n") + line("Type", QStringLiteral("Application")) +
           line("Name", QStringLiteral("zinteva 生日提醒")) +
           line("Comment", QStringLiteral("登录时提醒今天和最近几天过生日的好友")) +
           line("Exec", execArgument(QFileInfo(programPath).absoluteFilePath()) + QStringLiteral(" --remind")) +
           line("Icon", QStringLiteral("zinteva")) + line("Terminal", QStringLiteral("false")) +
           line("NoDisplay", QStringLiteral("true")) + line("X-GNOME-Autostart-enabled", QStringLiteral("true")) +
           QString::fromLatin1(Marker) + u'\n';
}

bool install(const QString& programPath, QString* error) {
    if (const QString refused = refusedProgramPath(QFileInfo(programPath).absoluteFilePath()); !refused.isEmpty()) {
        *error = refused;
        return false;
    }
    const QString path = entryPath();
    if (!privatefiles::makeFolder(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("不能创建文件夹 %1").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        return false;
    }
    const bool isNew = privatefiles::isNew(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || (isNew && !privatefiles::restrict(file)) ||
        file.write(entryText(programPath).toUtf8()) < 0 || !file.commit()) {
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
