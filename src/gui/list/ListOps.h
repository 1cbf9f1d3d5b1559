#pragma once
// What the user does to one person of the list: open it in the record form (Lv_edit), delete it
// (Lv_dele), rename it in place (LV_AfterLabelEdit); each does nothing when no row is selected.
// And the opening of a record form for a new person.
#include "gui/app/MainView.h"

#include <QString>

// Opens the selected person in a record form of its own, modally, in update mode; returns when the
// form has closed (and, after a save, the tree and the list have been refreshed).
void Lv_edit(MainView& view);
// Deletes the selected person from the data file, then takes its node out of the tree and its row
// out of the list (or lists its group again when the tree showed that person). When the data file
// refuses, the user is told and the tree and the list stay as they were.
void Lv_dele(MainView& view);
// Stores the text the user typed over the name of a list row, then rebuilds the tree and selects
// its node again. When the data file refuses, the user is told and the old name stays everywhere.
void LV_AfterLabelEdit(MainView& view, const QString& key, const QString& text);
// An empty record form for a new person: modal (returns when it has closed), or left open beside
// the main window, which closes it before it lets the data file go.
void openNewContactForm(MainView& view, bool modal);
