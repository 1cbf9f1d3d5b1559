#include "gui/sync/Keyring.h"

#include "core/app/Messages.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace {
const QString Service = QStringLiteral("zinteva");
constexpr int KeyringTimeoutMs = 10000;

// Runs a keychain job to its end; a keyring that does not answer counts as none.
bool finish(QKeychain::Job& job) {
    job.setAutoDelete(false);
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(KeyringTimeoutMs, &loop, &QEventLoop::quit);
    job.start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done && job.error() == QKeychain::NoError;
}
} // namespace

KeyringPasswords::KeyringPasswords(Dialogs* dialogs, QWidget* parent) : dialogs_(dialogs), parent_(parent) {}

QString KeyringPasswords::keyOf(const SyncAccount& account) {
    return account.user + u'@' + account.url.trimmed();
}

std::optional<QString> KeyringPasswords::readKeyring(const QString& key) {
    QKeychain::ReadPasswordJob job(Service);
    job.setInsecureFallback(false);
    job.setKey(key);
    if (!finish(job))
        return std::nullopt;
    return job.textData();
}

bool KeyringPasswords::writeKeyring(const QString& key, const QString& password) {
    QKeychain::WritePasswordJob job(Service);
    job.setInsecureFallback(false);
    job.setKey(key);
    job.setTextData(password);
    return finish(job);
}

std::optional<QString> KeyringPasswords::password(const SyncAccount& account) {
    const QString key = keyOf(account);
    const auto kept = memory_.constFind(key);
    if (kept != memory_.cend())
        return kept.value();
    if (std::optional<QString> stored = readKeyring(key)) {
        memory_.insert(key, *stored);
        return stored;
    }
    if (!dialogs_)
        return std::nullopt;
    std::optional<QString> typed = dialogs_->password(
        parent_, QStringLiteral("请输入 %1 在同步服务器上的密码：").arg(account.user), QStringLiteral("同步"));
    if (typed)
        memory_.insert(key, *typed);
    return typed;
}

bool KeyringPasswords::remember(const SyncAccount& account, const QString& password) {
    memory_.insert(keyOf(account), password);
    return writeKeyring(keyOf(account), password);
}

void KeyringPasswords::forget(const SyncAccount& account) {
    memory_.remove(keyOf(account));
}
