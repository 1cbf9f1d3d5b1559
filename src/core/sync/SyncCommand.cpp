#include "core/sync/SyncCommand.h"

#include "core/store/DataFileLock.h"
#include "core/store/StopSignal.h"
#include "core/store/Store.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr int Success = 0;
constexpr int Incomplete = 1;
constexpr int Usage = 2;
} // namespace

std::optional<QString> passwordFromStdin() {
    if (isatty(STDIN_FILENO))
        return std::nullopt;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray line = in.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

int runSyncCommand(const QString& url, const QString& user, const QString& dataFile, const SyncAccount& saved,
                   PasswordSource* keyring, QTextStream& out, bool allowDelete) {
    SyncAccount account = saved;
    if (!url.isEmpty()) {
        account = SyncAccount();
        account.url = url;
        account.user = user;
    }
    if (!account.isSet()) {
        out << QStringLiteral("没有设置同步帐户：请在“同步设置...”里设置，或给出 --sync-url 和 --sync-user") << '\n';
        out.flush();
        return Usage;
    }
    std::optional<QString> password = passwordFromStdin();
    if (!password && keyring)
        password = keyring->password(account);
    if (!password) {
        out << QStringLiteral("没有密码：请从标准输入给出密码") << '\n';
        out.flush();
        return Incomplete;
    }
    const StopSignal stop;
    // A window on this data file syncs it itself; another command is waited for a little.
    DataFileLock lock(dataFile);
    if (!lock.lock(DataFileLock::Role::Command, DataFileLock::CommandWait)) {
        out << lock.errorString() << '\n';
        out.flush();
        return Incomplete;
    }
    std::unique_ptr<Store> store;
    try {
        store = Store::open(dataFile);
        if (!store->droppedSchema().isEmpty())
            out << QStringLiteral("数据文件中有不是本程序建立的%1，已将它们删除。")
                       .arg(store->droppedSchema().join(QStringLiteral("、")))
                << '\n';
    } catch (const StoreError& e) {
        out << QStringLiteral("无法打开数据文件 %1：%2").arg(QDir::toNativeSeparators(dataFile), e.message()) << '\n';
        out.flush();
        return Incomplete;
    }
    DavClient client(account.user, *password, account.trustedCertificate);
    // A signal stops the sync at its next request; what it has written is whole batches only.
    client.cancelled = [] { return StopSignal::requested(); };
    SyncEngine engine(*store, dataFile, client, account);
    engine.allowMassDeletion = allowDelete;
    const SyncReport report = engine.run();
    out << report.text() << '\n';
    if (report.massDeletion > 0)
        out << QStringLiteral("如果确实要删除这些联系人，请加上 --sync-allow-delete 再同步一次"
                              "（删除的联系人可以在“最近删除”里找回）。")
            << '\n';
    if (!report.otherHost.isEmpty())
        out << QStringLiteral("如果信任 %1，请用 --sync-url 直接给出它上面的通讯录地址再同步。").arg(report.otherHost)
            << '\n';
    out.flush();
    return report.ok ? Success : Incomplete;
}
