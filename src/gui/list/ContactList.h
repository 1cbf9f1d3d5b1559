#pragma once
// The list fills. Each removes every row first; a statement that fails leaves the list empty and is
// logged, never shown (the list just has nothing to show).
#include "gui/app/MainView.h"

#include <QModelIndex>

class RowTable;

void ListAllContacts(MainView& view);
void ListQueryResult(MainView& view);
void RefreshContactList(MainView& view);
void TV_NodeClick(MainView& view, const QModelIndex& node);
// Puts rows into the list, all with one picture: the one way people become rows.
void showRows(MainView& view, RowTable rows, int picture);
// The key of the list's selected row; empty when no row is selected.
QString selectedRowKey(const MainView& view);
int selectedRow(const MainView& view);
void selectRowOfKey(MainView& view, const QString& key);
