#pragma once
// What runs before the main window loads: one running copy per data folder, and a data file that
// exists (restored from the backup when the user agrees).
#include "core/store/DataFiles.h"

#include "core/store/DataFileLock.h"

#include <functional>
#include <memory>
#include <optional>

class Dialogs;

class StartupGuard {
public:
    explicit StartupGuard(const DataPaths& paths);
    ~StartupGuard();
    // True: go on loading. False: the user has been told why the program ends.
    bool run(Dialogs& dialogs);

    // After the data file was replaced (created, or restored over a damaged one): the lock follows
    // the new file too. False when the user has been told that another copy holds it.
    bool followDataFile(Dialogs& dialogs);

    // The lock file every copy looks at first (beside the data file).
    static QString lockPathFor(const QString& dir);

    // Asked, under the lock, when neither the data file nor the backup is there: nothing to report
    // the loss, true to go on with a data file it has created, false when it has told the user why
    // the program ends.
    using FirstStart = std::function<std::optional<bool>(Dialogs&)>;
    void setFirstStart(FirstStart firstStart) { firstStart_ = std::move(firstStart); }

private:
    DataPaths paths_;
    std::unique_ptr<DataFileLock> lock_; // held for the whole run; a dead holder's lock goes with it
    FirstStart firstStart_;
};

namespace guardtext {
inline const QString AlreadyRunning = QStringLiteral("meldra已经在运行了!");
inline const QString OfferRestore =
    QStringLiteral("没有找到保存数据的文件!可能已经丢失!但还有备份文件,是否从备份文件恢复?");
inline const QString RestoreCaption = QStringLiteral("重要提示");
inline const QString BothMissing = QStringLiteral("没有找到保存数据的文件!可能已经丢失,程序中止");
} // namespace guardtext
