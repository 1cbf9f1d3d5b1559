#include "gui/app/Commands.h"

#include "core/exchange/Importer.h"
#include "core/text/Clock.h"
#include "core/text/Keys.h"
#include "gui/app/MainWindow.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/forms/QueryForm.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListSort.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTreeView>

namespace {
// A command of the session, applied by the main window.
template <typename Command> void command(MainView& view, Command&& c) {
    view.main->apply(view.main->run(std::forward<Command>(c)));
}
} // namespace

MainView::operator RecordFormHost&() const {
    return *main;
}
MainView::operator QueryFormHost&() const {
    return *main;
}

void LoadGroupTree(MainView& view) {
    LoadGroupTree(view.TV, view.tree, view.state);
}

void SelectCurrentNode(MainView& view) {
    SelectCurrentNode(view.TV, view.tree, view.state.CurrentGroup);
}

QString selectedNodeKey(const MainView& view) {
    return selectedNodeKey(view.TV, view.tree);
}

int selectedRow(const MainView& view) {
    return selectedRow(view.LV);
}

QString selectedRowKey(const MainView& view) {
    return view.list->keyAt(selectedRow(view));
}

void selectRowOfKey(MainView& view, const QString& key) {
    selectRowOfKey(view.LV, view.list, key);
}

void sortContactList(MainView& view, int listColumn) {
    sortContactList(view.LV, view.list, view.state, listColumn);
}

void ListAllContacts(MainView& view) {
    view.main->apply(view.state.listEverybody());
}

void ListQueryResult(MainView& view) {
    CommandResult result = view.state.refresh(selectedNodeKey(view));
    result.rebuildTree = false;
    result.selectNode.clear();
    view.main->apply(std::move(result));
}

void RefreshContactList(MainView& view) {
    // After a new person was saved the person's group is listed.
    view.main->apply(view.state.listCurrentGroup());
}

void TV_NodeClick(MainView& view, const QModelIndex& node) {
    if (node.isValid())
        command(view, [&] { return view.state.nodeClicked(view.tree->keyOf(node)); });
}

void Lv_edit(MainView& view) {
    view.main->Lv_edit();
}

void Lv_dele(MainView& view) {
    const int row = selectedRow(view);
    if (row < 0)
        return;
    const QString key = view.list->keyAt(row);
    const QString name = view.list->rows().qtext(row, RowTable::NameColumn);
    command(view, [&] { return view.state.deleteListRow(key, name, selectedNodeKey(view)); });
}

void LV_AfterLabelEdit(MainView& view, const QString& key, const QString& text) {
    command(view, [&] { return view.state.renameListRow(key, text, selectedNodeKey(view)); });
}

void openNewContactForm(MainView& view, bool modal) {
    view.main->openRecordForm(std::nullopt, std::nullopt, modal);
}

void Addnewgroup(MainView& view) {
    command(view, [&] { return view.state.addGroup(view.state.NewGroupName, view.state.CurrentGroup); });
}

Message treeDeleteQuestion(const QString& key, const QString& nodeText) {
    switch (keys::kindOf(key)) {
    case keys::Kind::Root:
        return msg::plain(QStringLiteral("您不能删除根目录,删除了你什么都没有了!"));
    case keys::Kind::Group:
        return msg::confirm(QStringLiteral("您真的要删除用户组 '") + nodeText + QStringLiteral("' 吗?") +
                            QLatin1Char('\r') +
                            QStringLiteral("删除分组同时也会删除该分组所包含的所有人员!如果不想删除里面的人员,"
                                           "请先更改他们的分组!!"));
    case keys::Kind::Contact:
        break;
    }
    return msg::confirm(QStringLiteral("您真的要删除 '") + nodeText + QStringLiteral("' 吗?"));
}

void Tv_dele(MainView& view) {
    command(view, [&] { return view.state.deleteNode(selectedNodeKey(view)); });
}

void TV_AfterLabelEdit(MainView& view, const QString& key, const QString& text) {
    command(view, [&] { return view.state.renameNode(key, text); });
}

void RunBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage) {
    CommandResult result = view.main->run([&] { return view.state.birthdayReminder(view.state.StartupRemind); });
    result.selectRootNode = false; // the toolbar's entry selects the top node itself
    std::optional<Notice> notice = std::move(result.notice);
    result.notice.reset();
    view.main->apply(std::move(result));
    if (beforeMessage)
        beforeMessage();
    if (notice) {
        CommandResult message;
        message.notice = std::move(notice);
        view.main->apply(std::move(message));
    }
}

void openQueryForm(MainView& view) {
    QPointer<QWidget> focused = QApplication::focusWidget();
    {
        Frm_query form(view, view.window);
        view.state.env.dialogs->openForm(form);
    }
    // The search's message ("按您的条件没有查到数据！") stood over the form, which is gone now:
    // the main window is active again and the keyboard where it was, so Ctrl+F works at once.
    view.window->activateWindow();
    view.window->raise();
    if (focused && view.window->isAncestorOf(focused))
        focused->setFocus(Qt::ActiveWindowFocusReason);
    else
        view.LV->setFocus(Qt::ActiveWindowFocusReason);
}

namespace {
void tell(MainView& view, const Message& message) {
    view.state.env.dialogs->show(view.window, message);
}

// The group the tree's selection names: its own key, a person's group, nothing for the top.
QString selectedGroupKey(const MainView& view) {
    const QModelIndex node = view.TV->currentIndex();
    if (!node.isValid())
        return {};
    const QString key = view.tree->keyOf(node);
    switch (keys::kindOf(key)) {
    case keys::Kind::Root:
        return {};
    case keys::Kind::Group:
        return key;
    case keys::Kind::Contact:
        break;
    }
    return view.tree->keyOf(node.parent());
}

constexpr int ProgressFrom = 300; // files of more cards get a progress bar
} // namespace

void importContacts(MainView& view, const GroupChooser& chooseGroup) {
    AppState& state = view.state;
    const QString path = state.env.dialogs->openFile(
        view.window, {QStringLiteral("导入联系人"),
                      QStringLiteral("vCard 名片 (*.vcf)|*.vcf|CSV 表格 (*.csv)|*.csv|所有文件 (*)|*")});
    if (path.isEmpty())
        return;
    importFile(view, path, chooseGroup);
}

void importFile(MainView& view, const QString& path, const GroupChooser& chooseGroup) {
    AppState& state = view.state;
    // A regular file is counted here and read again, a card (a row) at a time, while it is imported;
    // anything else (a pipe) is read whole first.
    std::optional<ImportBatch> batch;
    int cards = 0;
    if (QFileInfo(path).isFile()) {
        QString error;
        const std::optional<int> count = Importer::countFile(path, &error);
        if (!count) {
            tell(view, msg::warning(QStringLiteral("不能读取 %1: %2").arg(path, error)));
            return;
        }
        cards = *count;
    } else {
        batch = Importer::readFile(path);
        if (!batch->error.isEmpty()) {
            tell(view, msg::warning(QStringLiteral("不能读取 %1: %2").arg(path, batch->error)));
            return;
        }
        cards = static_cast<int>(batch->records.size());
    }
    QString failure;
    const std::vector<GroupRow> groups = state.groups(&failure);
    if (!failure.isEmpty()) {
        tell(view, msg::warning(QStringLiteral("不能读取分组: ") + failure));
        return;
    }
    const QString selected = selectedGroupKey(view);
    std::optional<QString> group;
    if (chooseGroup) {
        group = chooseGroup(path, cards, groups, selected);
    } else {
        Frm_import dialog(path, cards, groups, selected, view.window);
        if (state.env.dialogs->openForm(dialog) == QDialog::Accepted)
            group = dialog.chosenGroup();
    }
    if (!group)
        return;

    std::unique_ptr<QProgressDialog> progress;
    if (cards > ProgressFrom) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在导入联系人..."), QStringLiteral("取消"), 0,
                                                     cards, view.window);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
    }
    ImportOptions options;
    options.defaultGroupKey = *group;
    ImportSummary summary;
    CommandResult result = view.main->run([&] {
        const auto step = [&](int done, int total) {
            if (!progress)
                return true;
            progress->setMaximum(total);
            progress->setValue(done);
            return !progress->wasCanceled();
        };
        return batch ? state.importBatch(*batch, options, step, &summary)
                     : state.importFile(path, options, step, &summary);
    });
    progress.reset();
    view.main->apply(std::move(result));
}

void exportContacts(MainView& view, const ExportChooser& choose) {
    AppState& state = view.state;
    const QString groupKey = selectedGroupKey(view);
    const QString groupName = groupKey.isEmpty() ? QString() : view.tree->indexForKey(groupKey).data().toString();
    const int shown = view.list->rowCount();
    std::optional<ExportChoice> choice;
    if (choose) {
        choice = choose(groupName, shown);
    } else {
        Frm_export dialog(groupName, shown, view.window);
        if (state.env.dialogs->openForm(dialog) == QDialog::Accepted)
            choice = ExportChoice{dialog.chosenKind(), dialog.chosenFormat()};
    }
    if (!choice)
        return;
    const bool csv = Exporter::isCsv(choice->format);
    QString path = state.env.dialogs->saveFile(
        view.window, {QStringLiteral("导出联系人"),
                      csv ? QStringLiteral("CSV 表格 (*.csv)|*.csv") : QStringLiteral("vCard 名片 (*.vcf)|*.vcf"),
                      suggestedExportPath(state.env.clock->today(), csv)});
    if (path.isEmpty())
        return;
    const QString suffix = csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
    if (!path.endsWith(suffix, Qt::CaseInsensitive)) {
        path += suffix;
        // The dialog asked about the name as typed; the name with its extension is asked about here.
        if (QFileInfo::exists(path) &&
            state.env.dialogs->show(view.window, msg::confirm(QStringLiteral("%1 已经存在。\n要替换它吗?")
                                                                  .arg(QDir::toNativeSeparators(path)))) !=
                MsgAnswer::Yes)
            return;
    }

    ExportSelection selection;
    if (choice->kind == ExportSelection::Kind::Group && !groupKey.isEmpty()) {
        selection = ExportSelection::group(groupKey);
    } else if (choice->kind == ExportSelection::Kind::Keys) {
        QStringList rows;
        for (int row = 0; row < view.list->rowCount(); ++row)
            rows << view.list->keyAt(row);
        selection = ExportSelection::contacts(rows);
    }
    int count = 0;
    QString error;
    if (!Exporter(*state.Conn).exportToFile(path, selection, choice->format, &count, &error)) {
        tell(view, msg::warning(QStringLiteral("导出失败: ") + error));
        return;
    }
    // Where the file went, with the way to it: the folder opens in the file manager.
    Message done = msg::info(QStringLiteral("已导出 %1 位联系人到 %2").arg(count).arg(QDir::toNativeSeparators(path)));
    done.buttons = MsgButtons::OkOpenFolder;
    const QString folder = QFileInfo(path).absolutePath();
    if (state.env.dialogs->show(view.window, done) == MsgAnswer::OpenFolder &&
        !state.env.dialogs->openFolder(view.window, folder))
        tell(view, msg::warning(QStringLiteral("不能打开文件夹 %1").arg(QDir::toNativeSeparators(folder))));
}

QString suggestedExportPath(const QDate& today, bool csv) {
    // The documents folder when the desktop has one, else the home folder.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString name = QStringLiteral("通讯录-%1.%2")
                             .arg(today.toString(QStringLiteral("yyyy-MM-dd")), csv ? QStringLiteral("csv") : QStringLiteral("vcf"));
    return QDir(folder).filePath(name);
}
