#include "gui/list/ListSort.h"

#include "core/rules/DirectorySession.h"
#include "core/store/RowOrder.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"

#include <QDebug>
#include <QHeaderView>
#include <QTreeView>

namespace {

// The list's column c shows RowTable column c + 1 (the key is RowTable column 0).
std::vector<int> orderOf(DirectorySession& session, const RowTable& rows, int listColumn, Qt::SortOrder order) {
    const int column = listColumn + 1;
    if (column != RowTable::NameColumn)
        return rowOrder(rows, column, order);
    // Names without stored keys get theirs made on the spot.
    const std::shared_ptr<const NameSortKeys> names = session.nameSortKeys();
    const NameSortKeys none;
    return rowOrder(rows, column, order, names ? names.get() : &none);
}

} // namespace

void applyListSort(const ContactListModel& list, DirectorySession& session, RowTable& rows) {
    const int column = list.sortColumn();
    if (column < 0 || rows.rowCount() < 2)
        return;
    rows.reorder(orderOf(session, rows, column, list.sortOrder()));
}

void sortContactList(QTreeView* LV, ContactListModel* list, DirectorySession& session, int listColumn) {
    if (listColumn < 0 || listColumn >= listcolumns::Empty)
        return;
    const Qt::SortOrder order = list->sortColumn() == listColumn && list->sortOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    const QString selected = list->keyAt(LV->currentIndex().row());
    RowTable rows = list->rows();
    list->setSort(listColumn, order);
    applyListSort(*list, session, rows);
    list->setRows(std::move(rows), list->picture());
    LV->header()->setSortIndicatorShown(true);
    LV->header()->setSortIndicator(listColumn, order);
    const int row = list->rowOfKey(selected);
    if (!selected.isEmpty() && row >= 0)
        LV->setCurrentIndex(list->index(row, 0));
}
