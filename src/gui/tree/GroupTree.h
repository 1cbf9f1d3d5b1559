#pragma once
// The tree's display routines: rebuild it from the data file, select a node by key.
#include <QString>

class QTreeView;
class GroupTreeModel;
class DirectorySession;
class RowTable;

// Rebuilds the whole tree from the data file: "所有人" on top, the groups under it, every person
// under its group. The top node is expanded when anybody exists; every group is collapsed. Throws
// StoreError (the tree then keeps only its top node). `everybody`: a fill of everybody read just now,
// which the tree is built from instead of a read of its own (GroupTreeModel::rebuild).
void LoadGroupTree(QTreeView* TV, GroupTreeModel* tree, DirectorySession& session,
                   const RowTable* everybody = nullptr);
// Expands and selects the node with that key (for a person: its group is expanded); "root" or a key
// naming no node leaves the selection as it was.
void SelectCurrentNode(QTreeView* TV, GroupTreeModel* tree, const QString& key);
// The key of the tree's selected node; "root" when nothing is selected.
QString selectedNodeKey(const QTreeView* TV, const GroupTreeModel* tree);
