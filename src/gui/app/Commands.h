#pragma once
// The main window's commands under their long-standing names, for the toolbar, the views' events,
// tests and the benchmark. Each asks the session (core/rules/DirectorySession.h) and applies the
// result in the main window (Frm_main::apply).
#include "core/app/Messages.h"
#include "core/rules/DirectorySession.h"
#include "gui/app/MainView.h"
#include "gui/forms/ExchangeForms.h"

#include <QModelIndex>
#include <QDate>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class RowTable;

// The tree: rebuild, select CurrentGroup's node, the selected node's key ("root" when none).
void LoadGroupTree(MainView& view);
void SelectCurrentNode(MainView& view);
QString selectedNodeKey(const MainView& view);

// The list's fills: everybody, the query the list shows again (after a save), the node
// CurrentGroup names, a click on a tree node.
void ListAllContacts(MainView& view);
void ListQueryResult(MainView& view);
void RefreshContactList(MainView& view);
void TV_NodeClick(MainView& view, const QModelIndex& node);
int selectedRow(const MainView& view);
QString selectedRowKey(const MainView& view);
void selectRowOfKey(MainView& view, const QString& key);
void sortContactList(MainView& view, int listColumn);

// The list's operations on one person: open it in the record form, delete it (after the user
// agreed), rename it in place (bound to the person's key).
void Lv_edit(MainView& view);
void Lv_dele(MainView& view);
void LV_AfterLabelEdit(MainView& view, const QString& key, const QString& text);
// A record form for a new person, modal over the main window or beside it.
void openNewContactForm(MainView& view, bool modal);

// Group maintenance: add the group named NewGroupName, delete the tree's selected node, rename a
// node in place (bound to its key).
void Addnewgroup(MainView& view);
Message treeDeleteQuestion(const QString& key, const QString& nodeText);
void Tv_dele(MainView& view);
void TV_AfterLabelEdit(MainView& view, const QString& key, const QString& text);

// The birthday reminder: recompute the next birthdays, list the people in the window, say how
// many. beforeMessage runs once the list is settled, just before the message.
void RunBirthdayReminder(MainView& view, const std::function<void()>& beforeMessage = {});

// The search form, modal over the main window.
void openQueryForm(MainView& view);

// Import and export from the toolbar's entries. Tests answer the two choices through the
// choosers (gui/forms/ExchangeForms.h); by default the dialogs are shown.
void importContacts(MainView& view, const GroupChooser& chooseGroup = {});
// The same import for a file already chosen (one given on the command line).
void importFile(MainView& view, const QString& path, const GroupChooser& chooseGroup = {});
void exportContacts(MainView& view, const ExportChooser& choose = {});
// The file name the export suggests: 通讯录-2026-12-08.vcf (or .csv) in the documents folder.
QString suggestedExportPath(const QDate& today, bool csv);
