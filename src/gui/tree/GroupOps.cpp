#include "gui/tree/GroupOps.h"

#include "gui/list/ContactList.h"
#include "core/text/Keys.h"
#include "core/store/Store.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QDebug>
#include <QTreeView>

namespace {

void tellFailure(MainView& view, const QString& what, const StoreError& error) {
    view.state.env.dialogs->show(view.window, msg::warning(what + QStringLiteral("\n") + error.message()));
}

void deleteContactNode(MainView& view, const QString& key, const QString& groupKey) {
    AppState& state = view.state;
    state.Conn->deleteContact(key);
    // The person's group is read from the tree before the rebuild takes the node away.
    state.CurrentGroup = groupKey;
    LoadGroupTree(view);
    SelectCurrentNode(view);
    RefreshContactList(view);
}

void deleteGroupNode(MainView& view, const QString& key) {
    // The group row and its people go in one transaction: nobody is left in a group that is gone.
    view.state.Conn->deleteGroup(key);
    LoadGroupTree(view);
    ListAllContacts(view);
}

} // namespace

QString fitGroupName(const QString& name) {
    qsizetype units = 0;
    for (int characters = 0; characters < GroupNameMax && units < name.size(); ++characters) {
        const bool pair = name[units].isHighSurrogate() && units + 1 < name.size() && name[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return name.left(units);
}

void Addnewgroup(MainView& view) {
    AppState& state = view.state;
    try {
        state.Conn->addGroup(fitGroupName(state.NewGroupName));
        LoadGroupTree(view);
        SelectCurrentNode(view);
    } catch (const StoreError& e) {
        tellFailure(view, QStringLiteral("分组没有添加。"), e);
    }
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
    AppState& state = view.state;
    const QModelIndex node = view.TV->currentIndex();
    const QString key = selectedNodeKey(view);
    state.CurrentGroup = key;
    try {
        switch (keys::kindOf(key)) {
        case keys::Kind::Root:
            return; // everybody cannot be deleted
        case keys::Kind::Group:
            deleteGroupNode(view, key);
            return;
        case keys::Kind::Contact:
            deleteContactNode(view, key, view.tree->keyOf(node.parent()));
            return;
        }
    } catch (const StoreError& e) {
        tellFailure(view, QStringLiteral("没有删除。"), e);
    }
}

void TV_AfterLabelEdit(MainView& view, const QString& key, const QString& text) {
    if (text.isEmpty())
        return; // an emptied label is taken as a cancelled edit: the stored name stays
    // The edit belongs to the node it was opened on, found again by its key; a group or person
    // deleted meanwhile is renamed nowhere.
    const QModelIndex node = view.tree->indexForKey(key);
    if (!node.isValid() || key == keys::Root)
        return;
    const bool isGroup = view.tree->keyOf(node.parent()) == keys::Root;
    Store& store = *view.state.Conn;
    const QString name = isGroup ? fitGroupName(text) : text;
    try {
        const bool stored = isGroup ? store.renameGroup(key, name) : store.renameContact(key, name);
        if (!stored)
            return;
    } catch (const StoreError& e) {
        // The node still shows the stored name: it is changed only after a successful write.
        tellFailure(view, QStringLiteral("新名称没有保存,仍用原来的名称。"), e);
        return;
    }
    view.tree->setLabel(node, name);
    if (!isGroup) {
        // Like every fill, a failing read leaves the list empty without a message.
        RowTable row;
        try {
            store.listByKey(key, row);
        } catch (const StoreError& e) {
            qDebug() << "TV_AfterLabelEdit:" << e.message();
        }
        showRows(view, std::move(row), 3);
    }
}
