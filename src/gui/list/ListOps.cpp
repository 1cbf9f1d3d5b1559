#include "gui/list/ListOps.h"

#include "gui/app/MainWindow.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "core/text/Keys.h"
#include "core/app/Messages.h"
#include "core/store/Store.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QTreeView>

namespace {
void tell(MainView& view, const QString& text) {
    view.state.env.dialogs->show(view.window, msg::warning(text));
}
} // namespace

void Lv_edit(MainView& view) {
    AppState& state = view.state;
    const int row = selectedRow(view);
    if (row < 0)
        return;
    state.CurrentGroup = selectedNodeKey(view);
    state.CurrentContactId = view.list->keyAt(row);
    std::optional<ContactFields> stored;
    try {
        stored = state.Conn->loadContact(state.CurrentContactId);
    } catch (const StoreError& e) {
        // A form of empty boxes would blank the person at the next save.
        tell(view, QStringLiteral("不能读取此人的资料: ") + e.message());
        return;
    }
    // A form of its own even when a form for a new person is open: neither loses what was typed.
    frm_detail form(view, frm_detail::Mode::Update);
    if (stored)
        form.showContact(*stored);
    form.exec();
}

void Lv_dele(MainView& view) {
    AppState& state = view.state;
    const int row = selectedRow(view);
    if (row < 0)
        return;
    const QString key = view.list->keyAt(row);
    // The node whose people the list shows afterwards; when the tree showed the person itself,
    // that is the person's group, listed again instead of left empty.
    QString shown = state.CurrentGroup;
    bool RefillAfterDelete = false;
    if (!state.ListSource) {
        shown = selectedNodeKey(view);
        if (keys::kindOf(shown) == keys::Kind::Contact) {
            shown = view.tree->keyOf(view.tree->indexForKey(shown).parent());
            RefillAfterDelete = true;
        }
    }
    try {
        state.Conn->deleteContact(key);
    } catch (const StoreError& e) {
        tell(view,
             QStringLiteral("不能删除 '%1': %2").arg(view.list->rows().qtext(row, RowTable::NameColumn), e.message()));
        return;
    }
    state.CurrentGroup = shown;
    view.tree->removeContact(key);
    if (RefillAfterDelete) {
        view.TV->setCurrentIndex(view.tree->indexForKey(shown)); // the tree shows what the list shows
        RefreshContactList(view);
    } else {
        view.list->removeContactRow(row);
    }
}

void LV_AfterLabelEdit(MainView& view, const QString& key, const QString& text) {
    AppState& state = view.state;
    // The edit belongs to the person it was opened on, wherever that person's row is now; a person
    // deleted meanwhile is renamed nowhere.
    if (key.isEmpty())
        return;
    try {
        if (!state.Conn->renameContact(key, text))
            return;
    } catch (const StoreError& e) {
        tell(view, QStringLiteral("不能修改姓名: ") + e.message());
        return;
    }
    state.CurrentGroup = selectedNodeKey(view);
    view.list->setName(view.list->rowOfKey(key), text);
    try {
        LoadGroupTree(view);
        SelectCurrentNode(view);
    } catch (const StoreError& e) {
        tell(view, QStringLiteral("姓名已经保存,但不能刷新分组: ") + e.message());
    }
}

void openNewContactForm(MainView& view, bool modal) {
    view.state.EditFlag = true;
    if (modal) {
        frm_detail form(view, frm_detail::Mode::Add);
        form.exec();
        return;
    }
    auto* form = new frm_detail(view, frm_detail::Mode::Add);
    form->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* main = qobject_cast<Frm_main*>(view.window))
        main->adoptModeless(form);
    form->show();
}
