// Every command of the main window starts at its toolbar: a button's face or a drop-down entry,
// dispatched on the exact key of what was clicked.
#include "gui/app/MainWindow.h"
#include "gui/sync/SyncController.h"
#include "gui/app/Commands.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "core/app/Settings.h"
#include "gui/app/Views.h"
#include "gui/forms/AboutBox.h"
#include "gui/forms/ConfigDialog.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/forms/DuplicatesDialog.h"
#include "gui/detail/DetailPane.h"
#include "gui/forms/QueryForm.h"
#include "gui/forms/RecentlyDeletedDialog.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"
#include "core/text/Keys.h"
#include "core/app/Messages.h"
#include "core/rules/GroupMove.h"

#include <QItemSelectionModel>
#include <QBoxLayout>
#include <QTreeView>
#include <algorithm>

namespace toolbartext {
const QString AddGroupPrompt = QStringLiteral("请输入你要添加的分组的名称,如同学、朋友、同事等") + QChar(13) +
                               QStringLiteral("名字不能超出30位,汉字15个字");
const QString AddGroupCaption = QStringLiteral("添加组");
} // namespace toolbartext

void Frm_main::Toolbar1_ButtonClick(const QString& key) {
    if (key == QLatin1String("addbutt")) {
        if (groupReadyForNewContact())
            openNewContactForm(view_, true);
    } else if (key == QLatin1String("editbutt")) {
        Lv_edit();
    } else if (key == QLatin1String("delebutt")) {
        deleteCommand();
    } else if (key == QLatin1String("querybutt")) {
        openQueryForm(view_);
    } else if (key == QLatin1String("aboutbutt")) {
        openAboutBox(state_, this);
    } else if (key == QLatin1String("quitbutt")) {
        close();
    }
    // "setbutt": its face does nothing; its entries do the work.
}

void Frm_main::Toolbar1_ButtonMenuClick(const QString& key) {
    if (key == QLatin1String("addnew")) {
        if (groupReadyForNewContact())
            openNewContactForm(view_, false);
    } else if (key == QLatin1String("addgroup")) {
        addGroupCommand();
    } else if (key == QLatin1String("left")) {
        if (!toolbarLeft_) // the entry is hidden while the toolbar is at the left: never shift twice
            placeToolbar(true);
        state_.env.settings->setText(setting::Toolbar, QStringLiteral("1"));
    } else if (key == QLatin1String("right")) {
        placeToolbar(false);
        state_.env.settings->setText(setting::Toolbar, QStringLiteral("0"));
    } else if (key == QLatin1String("config")) {
        openConfigDialog(state_, this);
    } else if (key == QLatin1String("import")) {
        importContacts(view_);
    } else if (key == QLatin1String("export") || key == QLatin1String("setexport")) {
        exportContacts(view_);
    } else if (key == QLatin1String("syncsettings")) {
        if (sync_)
            sync_->openSettings();
    } else if (key == QLatin1String("syncnow")) {
        if (sync_)
            sync_->syncNow();
    } else if (key == QLatin1String("birthday")) {
        apply(run([&] { return state_.birthdayReminder(false); }));
    } else if (key == QLatin1String("deleted")) {
        showRecentlyDeleted();
    } else if (key == QLatin1String("duplicates")) {
        showDuplicates();
    } else if (key == QLatin1String("detail")) {
        showDetailPane(detail_->isHidden());
    }
}

void Frm_main::showRecentlyDeleted() {
    RecentlyDeletedDialog dialog(state_.recentlyDeleted(), this);
    if (state_.env.dialogs->openForm(dialog) != QDialog::Accepted)
        return;
    const std::vector<qint64> ids = dialog.selectedIds();
    if (!ids.empty())
        apply(run([&] { return state_.restoreDeleted(ids); }));
}

void Frm_main::showDuplicates() {
    std::optional<Notice> failure;
    std::vector<QStringList> groups = state_.duplicates(&failure);
    if (failure) {
        CommandResult told;
        told.notice = std::move(failure);
        apply(std::move(told));
        return;
    }
    DuplicatesDialog dialog(
        std::move(groups), [this](const QString& key) { return personOf(key); },
        [this](const QStringList& keys, const ContactFields& merged) {
            CommandResult result = run([&] { return state_.mergeContacts(keys.front(), merged, keys.mid(1)); });
            const bool merged_ = result.ok;
            apply(std::move(result));
            return merged_;
        },
        this);
    dialog.setFinder([this] { return state_.duplicates(); });
    dialog.setUndoer([this] {
        CommandResult result = run([&] { return state_.undo(); });
        const bool undone = result.ok;
        apply(std::move(result));
        return undone;
    });
    state_.env.dialogs->openForm(dialog);
}

std::optional<ContactFields> Frm_main::personOf(const QString& key) {
    if (!state_.Conn)
        return std::nullopt;
    try {
        return state_.Conn->loadContact(key);
    } catch (const StoreError&) {
        return std::nullopt; // shown as nobody; the next command that needs the person says why
    }
}

void Frm_main::addDetailPane() {
    detail_ = new DetailPane([this](const QString& key) { return personOf(key); },
                             [this] { return state_.env.clock->today(); }, listPane_);
    // About 24 characters wide: a number with its copy button, a short address on two lines.
    detail_->setFixedWidth(fontMetrics().horizontalAdvance(u'字') * 24);
    listRow_->addWidget(detail_);
    detail_->hide();
    // The pane follows the list's selection, and reads the person again after every change.
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Frm_main::followSelectionInDetail);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, &Frm_main::followSelectionInDetail);
    connect(listModel_, &QAbstractItemModel::modelReset, this, &Frm_main::followSelectionInDetail);
    connect(listModel_, &QAbstractItemModel::rowsRemoved, this, &Frm_main::followSelectionInDetail);
    auto reread = [this] {
        if (!detail_->isHidden())
            detail_->reload();
    };
    connect(&state_, &DirectorySession::contactsChanged, this, reread);
    connect(&state_, &DirectorySession::contactsRemoved, this, reread);
    connect(&state_, &DirectorySession::everythingChanged, this, reread);
}

void Frm_main::showDetailPane(bool shown) {
    detail_->setVisible(shown);
    action(QStringLiteral("detail"))->setChecked(shown);
    state_.env.settings->setText(setting::DetailPane, shown ? QStringLiteral("1") : QStringLiteral("0"));
    if (shown)
        followSelectionInDetail();
}

void Frm_main::followSelectionInDetail() {
    if (!detail_ || detail_->isHidden())
        return;
    const int row = selectedRow(list_);
    detail_->showContact(row >= 0 ? listModel_->keyAt(row) : QString());
}

bool Frm_main::groupReadyForNewContact() {
    // A person belongs to a group: with none yet, a new person's form would only end in a refused
    // save. The user is offered the group first.
    if (treeModel_->rowCount(treeModel_->rootIndex()) > 0)
        return true;
    const Message offer{QStringLiteral("还没有任何分组,每个联系人都要属于一个分组。\n现在就建立一个分组吗?"),
                        QStringLiteral("新建"), MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};
    if (state_.env.dialogs->show(this, offer) != MsgAnswer::Yes)
        return false;
    addGroupCommand();
    return treeModel_->rowCount(treeModel_->rootIndex()) > 0;
}

void Frm_main::deleteCommand() {
    Dialogs& dialogs = *state_.env.dialogs;
    const bool inList = Lvfocus, inTree = Tvfocus;
    const QStringList people = inList ? selectedContactKeys() : QStringList();
    if (people.size() > 1) {
        // Several people: one question, one step of the history, one refresh.
        if (dialogs.show(this, msg::confirm(deleteSeveralQuestion(static_cast<int>(people.size())))) == MsgAnswer::Yes)
            apply(run([&] { return state_.deleteListRows(people, selectedNodeKey(tree_, treeModel_)); }));
    } else if (inList) {
        const int row = selectedRow(list_);
        if (row >= 0) {
            const QString name = listModel_->index(row, 0).data().toString();
            if (dialogs.show(this, msg::confirm(QStringLiteral("您真的要删除 '") + name + QStringLiteral("' 吗?"))) ==
                MsgAnswer::Yes)
                Lv_dele(view_);
        }
    }
    if (inTree) {
        const QModelIndex node = tree_->currentIndex();
        if (!node.isValid())
            return; // nothing selected: nothing to delete
        const QString key = treeModel_->keyOf(node);
        state_.nodeChosenForDelete(key);
        const Message question = treeDeleteQuestion(key, node.data().toString());
        if (dialogs.show(this, question) == MsgAnswer::Yes)
            Tv_dele(view_);
    }
}

void Frm_main::addGroupCommand() {
    const std::optional<QString> answer =
        state_.env.dialogs->input(this, toolbartext::AddGroupPrompt, toolbartext::AddGroupCaption);
    if (!answer || answer->isEmpty())
        return;
    // "root" when no node is selected
    apply(run([&] { return state_.addGroup(*answer, selectedNodeKey(tree_, treeModel_)); }));
    // The new group is seen at once, even under a top node that holds nobody yet.
    tree_->expand(treeModel_->rootIndex());
}
