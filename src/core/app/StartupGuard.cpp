#include "core/app/StartupGuard.h"

#include "core/app/Messages.h"

#include <QDir>
#include <QFileInfo>

StartupGuard::StartupGuard(const DataPaths& paths) : paths_(paths) {}
StartupGuard::~StartupGuard() = default;

QString StartupGuard::lockPathFor(const QString& dir) {
    return DataFileLock(DataPaths::in(dir).data).lockPaths().value(0);
}

bool StartupGuard::run(Dialogs& dialogs) {
    // One lock per data file for every writer: another window refuses this start at once; a command
    // of the command line (an import, an export) is waited for a little.
    lock_ = std::make_unique<DataFileLock>(paths_.data);
    if (!lock_->lock(DataFileLock::Role::Window, DataFileLock::CommandWait)) {
        dialogs.show(nullptr, msg::stop(lock_->holder() == DataFileLock::Role::Window ? guardtext::AlreadyRunning
                                                                                       : lock_->errorString()));
        return false;
    }
    if (QFileInfo(paths_.data).isFile())
        return true;
    if (!QFileInfo(paths_.backup).isFile()) {
        if (firstStart_) {
            if (const std::optional<bool> started = firstStart_(dialogs))
                return *started && followDataFile(dialogs);
        }
        dialogs.show(nullptr, msg::stop(guardtext::BothMissing));
        return false;
    }
    const Message offer{guardtext::OfferRestore, guardtext::RestoreCaption, MsgIcon::Question, MsgButtons::YesNo,
                        MsgAnswer::Yes};
    if (dialogs.show(nullptr, offer) != MsgAnswer::Yes)
        return false;
    QString error;
    if (!restoreBackup(paths_, &error)) {
        dialogs.show(nullptr, msg::stop(error));
        return false;
    }
    return followDataFile(dialogs);
}

bool StartupGuard::followDataFile(Dialogs& dialogs) {
    if (!lock_ || lock_->followDataFile())
        return true;
    dialogs.show(nullptr, msg::stop(lock_->errorString()));
    return false;
}
