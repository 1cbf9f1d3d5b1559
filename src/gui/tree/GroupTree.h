#pragma once
#include "gui/app/MainView.h"

// Rebuilds the whole tree from the data file: "所有人" on top, the groups under it, every person
// under its group. The top node is expanded when anybody exists; every group is collapsed.
void LoadGroupTree(MainView& view);
// Expands and selects the node keyed CurrentGroup (for a person: its group is expanded).
void SelectCurrentNode(MainView& view);
// The key of the tree's selected node; "root" when nothing is selected.
QString selectedNodeKey(const MainView& view);
