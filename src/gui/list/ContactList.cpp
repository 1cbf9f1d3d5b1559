#include "gui/list/ContactList.h"

#include "gui/list/ContactListModel.h"
#include "gui/list/ListSort.h"
#include "core/text/Keys.h"
#include "core/store/Store.h"
#include "gui/tree/GroupTreeModel.h"

#include <QDebug>
#include <QTreeView>

namespace {

// Runs one read into a fresh table; on failure the table is whatever was read (usually nothing).
template <typename Read> RowTable readRows(const char* what, Read&& read) {
    RowTable rows;
    try {
        read(rows);
    } catch (const StoreError& e) {
        qDebug() << what << e.message();
    }
    return rows;
}

} // namespace

void showRows(MainView& view, RowTable rows, int picture) {
    applyListSort(view, rows);
    view.LV->clearSelection();
    view.list->setRows(std::move(rows), picture);
}

void ListAllContacts(MainView& view) {
    showRows(view, readRows("ListAllContacts:", [&](RowTable& r) { view.state.Conn->listAll(r); }), 3);
}

void ListQueryResult(MainView& view) {
    showRows(view,
             readRows("ListQueryResult:", [&](RowTable& r) { view.state.Conn->listQuery(view.state.QuerySql, r); }), 1);
}

void RefreshContactList(MainView& view) {
    AppState& state = view.state;
    // The rows are replaced in one step below (also by nothing when the read fails): the list is
    // never emptied first, so a refill after a save resets it once.
    if (state.EditFlag && keys::kindOf(state.CurrentGroup) == keys::Kind::Contact) {
        // After a new person is saved CurrentGroup holds that person's key: list its group. A
        // group key stays as it is, also while a record form for a new person stays open beside
        // the main window and so keeps EditFlag true (a group's parent would be "root").
        const QModelIndex node = view.tree->indexForKey(state.CurrentGroup);
        if (node.isValid() && node.parent().isValid())
            state.CurrentGroup = view.tree->keyOf(node.parent());
    }
    if (keys::isGroup(state.CurrentGroup)) {
        showRows(view,
                 readRows("RefreshContactList:", [&](RowTable& r) { state.Conn->listByGroup(state.CurrentGroup, r); }),
                 3);
        selectRowOfKey(view, state.CurrentContactId);
        view.LV->setFocus();
    } else {
        showRows(view,
                 readRows("RefreshContactList:", [&](RowTable& r) { state.Conn->listByKey(state.CurrentGroup, r); }),
                 3);
    }
}

void TV_NodeClick(MainView& view, const QModelIndex& node) {
    if (!node.isValid())
        return;
    view.state.ListSource = false;
    const QString key = view.tree->keyOf(node);
    if (key == keys::Root) {
        ListAllContacts(view);
        return;
    }
    const bool isContact = view.tree->keyOf(node.parent()) != keys::Root;
    Store& store = *view.state.Conn;
    showRows(view,
             readRows("TV_NodeClick:",
                      [&](RowTable& r) {
                          if (isContact)
                              store.listByKey(key, r);
                          else
                              store.listByGroup(key, r);
                      }),
             3);
}

int selectedRow(const MainView& view) {
    const QModelIndex current = view.LV->currentIndex();
    if (!current.isValid() || !view.LV->selectionModel()->isRowSelected(current.row(), {}))
        return -1;
    return current.row();
}

QString selectedRowKey(const MainView& view) {
    return view.list->keyAt(selectedRow(view));
}

void selectRowOfKey(MainView& view, const QString& key) {
    const int row = view.list->rowOfKey(key);
    if (row < 0) {
        view.LV->clearSelection();
        return;
    }
    const QModelIndex index = view.list->index(row, 0);
    view.LV->setCurrentIndex(index);
    view.LV->scrollTo(index);
}
