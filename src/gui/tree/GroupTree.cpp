#include "gui/tree/GroupTree.h"

#include "core/text/Keys.h"
#include "core/store/Store.h"
#include "gui/tree/GroupTreeModel.h"

#include <QDebug>
#include <QTreeView>

void LoadGroupTree(MainView& view) {
    try {
        view.tree->rebuild(*view.state.Conn);
    } catch (const StoreError& e) {
        // The tree keeps only its top node; the failure is the caller's to report.
        view.tree->clear();
        qDebug() << "LoadGroupTree:" << e.message();
        throw;
    }
    if (view.tree->contactCount() > 0)
        view.TV->expand(view.tree->rootIndex());
}

void SelectCurrentNode(MainView& view) {
    const QString& key = view.state.CurrentGroup;
    if (keys::isRoot(key))
        return;
    const QModelIndex node = view.tree->indexForKey(key);
    if (!node.isValid())
        return; // a key naming no node leaves the selection as it was
    if (keys::isGroup(key))
        view.TV->expand(node);
    else
        view.TV->expand(node.parent());
    view.TV->setCurrentIndex(node);
    view.TV->scrollTo(node);
}

QString selectedNodeKey(const MainView& view) {
    const QModelIndex current = view.TV->currentIndex();
    return current.isValid() ? view.tree->keyOf(current) : keys::Root;
}
