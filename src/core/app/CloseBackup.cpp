#include "core/app/CloseBackup.h"

#include "core/app/Messages.h"
#include "core/store/Store.h"

#include <QFileInfo>

namespace closebackup {

int contactCount(const QString& dataFile) {
    try {
        return Store::open(dataFile, OpenOptions{nullptr, true})->contactCount();
    } catch (const StoreError&) {
        return -1;
    }
}

bool lostMost(int before, int now) {
    return before >= 1 && now >= 0 && (now == 0 || now * 2 < before);
}

bool run(const DataPaths& paths, int contactsAtStart, Dialogs* dialogs, QWidget* parent) {
    const int now = contactCount(paths.data);
    const int inBackup = QFileInfo::exists(paths.backup) ? contactCount(paths.backup) : -1;
    const bool fromStart = lostMost(contactsAtStart, now);
    if (fromStart || lostMost(inBackup, now)) {
        if (!dialogs)
            return false;
        const QString what =
            fromStart ? QStringLiteral("数据文件中的联系人从启动时的 %1 个减少到了 %2 个。").arg(contactsAtStart).arg(now)
                      : QStringLiteral("备份文件中有 %1 个联系人，数据文件中只剩 %2 个。").arg(inBackup).arg(now);
        const Message question{what + QStringLiteral("\n是否仍然用它更新备份文件?选“否”将保留原来的备份。"),
                               QStringLiteral("重要提示"), MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No};
        if (dialogs->show(parent, question) != MsgAnswer::Yes)
            return false;
    }
    QString error;
    if (refreshBackup(paths, &error))
        return true;
    if (dialogs)
        dialogs->show(parent, msg::warning(QStringLiteral("备份文件没有更新,旧的备份仍然保留。\n") + error));
    return false;
}

} // namespace closebackup
