#pragma once
// The list's order by a click on a column header (again to reverse): the name column in pinyin
// order, birthdays by date, everything else as text. Every fill keeps the column and direction
// the user chose; before the first click the rows come in the order the data file gives them.
class QTreeView;
class ContactListModel;
class RowTable;
class DirectorySession;

void sortContactList(QTreeView* LV, ContactListModel* list, DirectorySession& session, int listColumn);
// Puts freshly read rows in the order the user chose, if any.
void applyListSort(const ContactListModel& list, DirectorySession& session, RowTable& rows);
