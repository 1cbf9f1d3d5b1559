#include "gui/list/ContactList.h"

#include "gui/list/ContactListModel.h"
#include "gui/list/ListSort.h"

#include <QItemSelectionModel>
#include <QTreeView>

void showRows(QTreeView* LV, ContactListModel* list, Store& store, RowTable rows, int picture) {
    applyListSort(*list, store, rows);
    LV->clearSelection();
    list->setRows(std::move(rows), picture);
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
