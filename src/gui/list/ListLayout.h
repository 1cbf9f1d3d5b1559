#pragma once
// How the user left the list: each column's width, the columns hidden through the header's
// right-click menu, and the column and direction of the last sort. Kept in the settings (widths
// in twips, like the tree's) and brought back at the next start; without them the list has its
// fifteen columns at their designed widths, unsorted.
#include <QString>

class QMenu;
class QTreeView;
class ContactListModel;
class Settings;

namespace listlayout {

inline const QString WidthsKey = QStringLiteral("listwidths"); // "w0,w1,...": twips per column
inline const QString HiddenKey = QStringLiteral("listhidden"); // "c,c,...": hidden columns
inline const QString SortKey = QStringLiteral("listsort");     // "column,order" (0 up, 1 down)

// Before the first fill: widths, hidden columns and the sort as saved. A value that makes no sense
// (a hand-edited or damaged settings file) is left at its default.
void restore(QTreeView* LV, ContactListModel* list, const Settings& settings);
void save(const QTreeView* LV, const ContactListModel* list, Settings& settings);

// The header's right-click menu: every named column with a check mark, shown or hidden by a
// click. The name stays: it is what a row is, and what is renamed in place.
void fillColumnMenu(QMenu& menu, QTreeView* LV);
// Right-click on the list's header opens that menu.
void enableColumnMenu(QTreeView* LV);

} // namespace listlayout
