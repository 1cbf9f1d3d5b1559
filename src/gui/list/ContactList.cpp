#include "gui/list/ContactList.h"

#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/list/ListSort.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

namespace {

// The reminder's columns come last in the model and are shown right after the birthday. Before they
// go, they are put back at the end, where the header takes its removed sections from.
void placeReminderColumns(QTreeView* LV) {
    QHeaderView* header = LV->header();
    header->moveSection(header->visualIndex(listcolumns::DaysLeft), listcolumns::Birthday + 1);
    header->moveSection(header->visualIndex(listcolumns::AgeTurning), listcolumns::Birthday + 2);
    for (int column : {listcolumns::DaysLeft, listcolumns::AgeTurning})
        header->resizeSection(column, listcolumns::initialWidth(column, *LV));
}

void putReminderColumnsLast(QTreeView* LV) {
    QHeaderView* header = LV->header();
    header->moveSection(header->visualIndex(listcolumns::AgeTurning), listcolumns::WithReminder - 1);
    header->moveSection(header->visualIndex(listcolumns::DaysLeft), listcolumns::WithReminder - 2);
}

} // namespace

void showRows(QTreeView* LV, ContactListModel* list, DirectorySession& session, RowTable rows, int picture,
              std::optional<ReminderMarks> reminder) {
    applyListSort(*list, session, rows);
    LV->clearSelection();
    const bool hadReminder = list->showsReminder();
    if (hadReminder && !reminder)
        putReminderColumnsLast(LV);
    list->fill(std::move(rows), picture, std::move(reminder));
    if (!hadReminder && list->showsReminder())
        placeReminderColumns(LV);
}

int selectedRow(const QTreeView* LV) {
    const QModelIndex current = LV->currentIndex();
    if (!current.isValid() || !LV->selectionModel()->isRowSelected(current.row(), {}))
        return -1;
    return current.row();
}

void selectRowOfKey(QTreeView* LV, ContactListModel* list, const QString& key) {
    const int row = list->rowOfKey(key);
    if (row < 0) {
        LV->clearSelection();
        return;
    }
    const QModelIndex index = list->index(row, 0);
    LV->setCurrentIndex(index);
    LV->scrollTo(index);
}
