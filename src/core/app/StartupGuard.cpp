#include "core/app/StartupGuard.h"

#include "core/app/Messages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

StartupGuard::StartupGuard(const DataPaths& paths) : paths_(paths) {}
StartupGuard::~StartupGuard() = default;

QString StartupGuard::lockPathFor(const QString& dir) {
    // The lock lives in the temporary folder, so that a read-only program folder still gets one.
    const QByteArray id = QCryptographicHash::hash(QDir(dir).absolutePath().toUtf8(), QCryptographicHash::Sha1);
    return QDir::temp().filePath(QStringLiteral("zinteva-%1.lock").arg(QString::fromLatin1(id.toHex().left(16))));
}

bool StartupGuard::run(Dialogs& dialogs) {
    lock_ = std::make_unique<QLockFile>(lockPathFor(paths_.dir));
    lock_->setStaleLockTime(0); // only a lock whose process is gone is stale
    if (!lock_->tryLock(0)) {
        dialogs.show(nullptr, msg::stop(guardtext::AlreadyRunning));
        return false;
    }
    if (QFileInfo(paths_.data).isFile())
        return true;
    if (!QFileInfo(paths_.backup).isFile()) {
        if (firstStart_) {
            if (const std::optional<bool> started = firstStart_(dialogs))
                return *started;
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
    return true;
}
