#include "core/app/Messages.h"
#include "core/exchange/Exporter.h"
#include "core/store/Store.h"
#include "core/store/StoreError.h"
#include "gui/app/OutputCommands.h"
#include "gui/qr/ContactQrDialog.h"

#include <QDir>
#include <QFileInfo>

namespace {
// The person written as a file of their own, for a card no code can hold.
void exportOne(MainView& view, const QString& key, const QString& name) {
    Dialogs& dialogs = *view.state.env.dialogs;
    QString path = dialogs.saveFile(view.window, {QStringLiteral("导出联系人"), QStringLiteral("vCard 名片 (*.vcf)|*.vcf")});
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".vcf"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".vcf");
        if (QFileInfo::exists(path) &&
            dialogs.show(view.window, msg::confirm(QStringLiteral("%1 已经存在。\n要替换它吗?")
                                                       .arg(QDir::toNativeSeparators(path)))) != MsgAnswer::Yes)
            return;
    }
    int count = 0;
    QString error;
    if (!Exporter(*view.state.Conn).exportToFile(path, ExportSelection::contacts({key}), ExportFormat::VCard30, &count,
                                                 &error)) {
        dialogs.show(view.window, msg::warning(QStringLiteral("导出失败: ") + error));
        return;
    }
    dialogs.show(view.window, msg::info(QStringLiteral("已把 %1 导出到 %2").arg(name, QDir::toNativeSeparators(path))));
}
} // namespace

void showContactQr(MainView& view, const QString& key) {
    Dialogs& dialogs = *view.state.env.dialogs;
    if (key.isEmpty() || !view.state.Conn)
        return;
    QByteArray card;
    QString name;
    try {
        const std::optional<ContactFields> fields = view.state.Conn->loadContact(key);
        if (!fields) {
            dialogs.show(view.window, msg::warning(QStringLiteral("这位联系人已经不在了。")));
            return;
        }
        name = fields->name;
        card = Exporter(*view.state.Conn).build(ExportSelection::contacts({key}), ExportFormat::VCard30);
    } catch (const StoreError& e) {
        dialogs.show(view.window, msg::warning(QStringLiteral("不能读取联系人: ") + e.message()));
        return;
    }
    const std::optional<PhoneCardCode> code = phoneCardCode(card);
    if (!code) {
        const Message tooLarge{QStringLiteral("%1 的资料太多，去掉照片后仍然放不进一个二维码。\n要把这位联系人导出为 vCard 文件吗？")
                                   .arg(name),
                               QStringLiteral("二维码名片"), MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};
        if (dialogs.show(view.window, tooLarge) == MsgAnswer::Yes)
            exportOne(view, key, name);
        return;
    }
    ContactQrDialog dialog(name, *code, view.window);
    dialogs.openForm(dialog);
}
