#pragma once
// The list's display routines: rows in, in the order the user chose; a row selected by key.
#include "core/rules/BirthdayCountdown.h"

#include <QString>
#include <optional>

class QTreeView;
class ContactListModel;
class RowTable;
class DirectorySession;

// Puts rows into the list, all with one picture: the one way people become rows. The reminder's
// rows come with their countdown, shown in two columns beside the birthday.
void showRows(QTreeView* LV, ContactListModel* list, DirectorySession& session, RowTable rows, int picture,
              std::optional<ReminderMarks> reminder = std::nullopt);
// The list's selected row; -1 when no row is selected.
int selectedRow(const QTreeView* LV);
// Selects the row of that key and brings it into view; no row has it: nothing is selected.
void selectRowOfKey(QTreeView* LV, ContactListModel* list, const QString& key);
