#include "gui/list/ListSort.h"

#include "core/store/PinyinKeys.h"
#include "core/store/RowOrder.h"
#include "core/store/Store.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"

#include <QDebug>
#include <QHeaderView>
#include <QTreeView>

namespace {

// The list's column c shows RowTable column c + 1 (the key is RowTable column 0).
std::vector<int> orderOf(MainView& view, const RowTable& rows, int listColumn, Qt::SortOrder order) {
    const int column = listColumn + 1;
    if (column != RowTable::NameColumn)
        return rowOrder(rows, column, order);
    std::shared_ptr<const NameSortKeys> names;
    try {
        names = pinyinkeys::cachedSortKeys(view.state.Conn->database());
    } catch (const std::exception& e) {
        qDebug() << "sort keys:" << e.what(); // names without stored keys get theirs made on the spot
    }
    const NameSortKeys none;
    return rowOrder(rows, column, order, names ? names.get() : &none);
}

} // namespace

void applyListSort(MainView& view, RowTable& rows) {
    const int column = view.list->sortColumn();
    if (column < 0 || rows.rowCount() < 2)
        return;
    rows.reorder(orderOf(view, rows, column, view.list->sortOrder()));
}

void sortContactList(MainView& view, int listColumn) {
    if (listColumn < 0 || listColumn >= listcolumns::Empty)
        return;
    const Qt::SortOrder order = view.list->sortColumn() == listColumn && view.list->sortOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    const QString selected = view.list->keyAt(view.LV->currentIndex().row());
    RowTable rows = view.list->rows();
    view.list->setSort(listColumn, order);
    applyListSort(view, rows);
    view.list->setRows(std::move(rows), view.list->picture());
    view.LV->header()->setSortIndicatorShown(true);
    view.LV->header()->setSortIndicator(listColumn, order);
    const int row = view.list->rowOfKey(selected);
    if (!selected.isEmpty() && row >= 0)
        view.LV->setCurrentIndex(view.list->index(row, 0));
}
