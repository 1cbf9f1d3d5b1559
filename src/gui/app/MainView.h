#pragma once
// What the window's commands reach: the session, the main window, the tree and the list with
// their models. Only the main window's own folder (gui/app) sees it.
#include "core/rules/AppState.h"

class QWidget;
class QTreeView;
class GroupTreeModel;
class ContactListModel;
class Frm_main;
class RecordFormHost;
class QueryFormHost;

struct MainView {
    AppState& state;
    QWidget* window;
    QTreeView* TV;
    GroupTreeModel* tree;
    QTreeView* LV;
    ContactListModel* list;
    Frm_main* main;

    // The forms ask the main window for what they need (the groups, a save, a search).
    operator RecordFormHost&() const;
    operator QueryFormHost&() const;
};
