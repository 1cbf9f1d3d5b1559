#pragma once
// What the routines shared by several windows reach: the state object, the main window, the tree
// and the list with their models.
#include "core/rules/AppState.h"

class QWidget;
class QTreeView;
class GroupTreeModel;
class ContactListModel;

struct MainView {
    AppState& state;
    QWidget* window;
    QTreeView* TV;
    GroupTreeModel* tree;
    QTreeView* LV;
    ContactListModel* list;
};
