#include "core/app/DataFolder.h"

#include "core/app/Messages.h"
#include "core/store/DataFiles.h"
#include "core/store/PrivateFiles.h"
#include "core/store/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

#ifndef ZINTEVA_INSTALLED_BINDIR
#define ZINTEVA_INSTALLED_BINDIR ""
#endif

DataFolder DataFolder::choose(const QString& named, const QString& programDir, bool programDirTakesFiles,
                              const QString& perUserDir) {
    if (!named.isEmpty())
        return {QDir(named).absolutePath(), Kind::Named};
    if (programDirTakesFiles)
        return {QDir(programDir).absolutePath(), Kind::ProgramFolder};
    return {QDir(perUserDir).absolutePath(), Kind::PerUser};
}

DataFolder DataFolder::current() {
    const QString programDir = QCoreApplication::applicationDirPath();
    return choose(qEnvironmentVariable("ZINTEVA_DIR"), programDir, programFolderTakesData(programDir),
                  perUserDataFolder());
}

QString DataFolder::whereText() const {
    return QStringLiteral("联系人资料保存在 %1 文件夹中的 tavrel.mdb，备份文件是同一文件夹中的 tavrel.tsb。")
        .arg(QDir::toNativeSeparators(dir));
}

QString perUserDataFolder() {
    // The data location of an application named "tavrel", the name its settings are kept under, set
    // out here so that it does not depend on the name the running application gives itself.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : base)
        .filePath(QStringLiteral("tavrel"));
}

bool programFolderTakesData(const QString& dir) {
    // access() also answers for a read-only file system, which permission bits do not show.
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0)
        return false;
    // A portable copy's folder counts only when it is the user's own and nobody else may write it
    // (nor a folder above it): another user could swap the data file there for one of his own.
    if (!privatefiles::distrust(dir, privatefiles::What::ProgramFolder).isEmpty())
        return false;
    // Root may write anywhere: an installed copy still never puts a data file among the programs.
    const QString installed = QStringLiteral(ZINTEVA_INSTALLED_BINDIR);
    if (installed.isEmpty())
        return true;
    const QString here = QFileInfo(dir).canonicalFilePath();
    return here.isEmpty() || here != QFileInfo(installed).canonicalFilePath();
}

QString usedMarkerPath(const QString& dir) {
    return QDir(dir).filePath(QStringLiteral(".zinteva-used"));
}

void markFolderUsed(const DataFolder& folder) {
    if (folder.kind != DataFolder::Kind::PerUser)
        return;
    const QString marker = usedMarkerPath(folder.dir);
    if (QFileInfo::exists(marker))
        return;
    QFile file(marker);
    if (file.open(QIODevice::WriteOnly))
        file.write("This folder holds zinteva's data file (tavrel.mdb) and its backup (tavrel.tsb).\n");
}

namespace foldertext {
QString created(const QString& dataFile) {
    return QStringLiteral("这是第一次在这个帐户中使用本程序,已新建一个空的数据文件:\n%1")
        .arg(QDir::toNativeSeparators(dataFile));
}
QString createFailed(const QString& dataFile, const QString& reason) {
    return QStringLiteral("不能新建数据文件 %1,程序中止。\n%2").arg(QDir::toNativeSeparators(dataFile), reason);
}
} // namespace foldertext

std::optional<bool> startAfresh(const DataFolder& folder, Dialogs& dialogs) {
    if (folder.kind != DataFolder::Kind::PerUser || QFileInfo::exists(usedMarkerPath(folder.dir)))
        return std::nullopt;
    const DataPaths paths = DataPaths::in(folder.dir);
    if (QFileInfo::exists(paths.data) || QFileInfo::exists(paths.backup))
        return std::nullopt;
    // The folder holds private data: only its owner may look in.
    if (!privatefiles::makeFolder(folder.dir)) {
        dialogs.show(nullptr, msg::stop(foldertext::createFailed(paths.data, QStringLiteral("不能创建文件夹"))));
        return false;
    }
    ::chmod(QFile::encodeName(folder.dir).constData(), 0700);
    try {
        Store::createEmpty(paths.data);
    } catch (const StoreError& e) {
        QFile::remove(paths.data);
        dialogs.show(nullptr, msg::stop(foldertext::createFailed(paths.data, e.message())));
        return false;
    }
    markFolderUsed(folder);
    dialogs.show(nullptr, msg::info(foldertext::created(paths.data)));
    return true;
}
