#pragma once
// Group maintenance from the main window: adding a group, deleting the tree's selected node (a
// group with its people, or one person) and storing a label the user edited in the tree. Each
// procedure tells the user when the data file refuses the change; nothing is shown that is not
// stored.
#include "gui/app/MainView.h"
#include "core/app/Messages.h"

#include <QModelIndex>
#include <QString>

// A group's name holds at most this many characters (not bytes: 30 Chinese characters fit).
inline constexpr int GroupNameMax = 30;
// The first GroupNameMax characters of name; a character outside the basic plane counts as one.
QString fitGroupName(const QString& name);

// Stores a group named NewGroupName, rebuilds the tree and selects the node keyed CurrentGroup
// again. The list is not touched.
void Addnewgroup(MainView& view);

// What the delete command asks (or, for the top node, says) before it deletes a tree node: key and
// text of the tree's selected node.
Message treeDeleteQuestion(const QString& key, const QString& nodeText);

// Deletes the tree's selected node. A person: its group becomes current, expanded and selected, and
// the list shows that group. A group: the group and its people go in one step, the list shows
// everybody and nothing is selected. The top node is never deleted.
void Tv_dele(MainView& view);

// The tree's in-place edit of node ended with text. A group gets the text as its name (cut to
// GroupNameMax); a person gets it as its name and the list shows just that person. An empty text
// leaves the name as it was. The node shows the new label only once it is stored.
// The top node is not editable at all (the tree model's flags).
void TV_AfterLabelEdit(MainView& view, const QString& key, const QString& text);
