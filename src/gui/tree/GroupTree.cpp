#include "gui/tree/GroupTree.h"

#include "core/store/StoreError.h"
#include "core/text/Keys.h"
#include "gui/tree/GroupTreeModel.h"

#include <QDebug>
#include <QTreeView>

void LoadGroupTree(QTreeView* TV, GroupTreeModel* tree, DirectorySession& session, const RowTable* everybody) {
    try {
        tree->rebuild(session, everybody);
    } catch (const StoreError& e) {
        tree->clear();
        qDebug() << "LoadGroupTree:" << e.message();
        throw;
    }
    if (tree->contactCount() > 0)
        TV->expand(tree->rootIndex());
}

void SelectCurrentNode(QTreeView* TV, GroupTreeModel* tree, const QString& key) {
    if (keys::isRoot(key))
        return;
    const QModelIndex node = tree->indexForKey(key);
    if (!node.isValid())
        return;
    if (keys::isGroup(key))
        TV->expand(node);
    else
        TV->expand(node.parent());
    TV->setCurrentIndex(node);
    TV->scrollTo(node);
}

QString selectedNodeKey(const QTreeView* TV, const GroupTreeModel* tree) {
    const QModelIndex current = TV->currentIndex();
    return current.isValid() ? tree->keyOf(current) : keys::Root;
}
