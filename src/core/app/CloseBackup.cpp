#include "core/app/CloseBackup.h"

#include "core/app/Messages.h"
#include "core/store/Store.h"

namespace closebackup {

int contactCount(const QString& dataFile) {
    try {
        return Store::open(dataFile, OpenOptions{nullptr, true})->contactCount();
    } catch (const StoreError&) {
        return -1;
    }
}

bool lostMost(int atStart, int now) {
    return atStart >= 2 && now >= 0 && now * 2 < atStart;
}

bool run(const DataPaths& paths, int contactsAtStart, Dialogs* dialogs, QWidget* parent) {
    const int now = contactCount(paths.data);
    if (lostMost(contactsAtStart, now)) {
        if (!dialogs)
            return false;
        const Message question{
            QStringLiteral("数据文件中的联系人从启动时的 %1 个减少到了 %2 个。\n是否仍然用它更新备份文件?"
                           "选“否”将保留原来的备份。")
                .arg(contactsAtStart)
                .arg(now),
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
