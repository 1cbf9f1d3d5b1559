// The list's right-click menu and what acts on several selected people at once: 移动到分组 and a
// drop on a group of the tree.
#include "core/rules/GroupMove.h"
#include "gui/app/MainWindow.h"
#include "gui/app/OutputCommands.h"
#include "gui/app/Shortcuts.h"
#include "gui/app/Views.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListFilterBar.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QMenu>
#include <algorithm>

namespace {
QAction* entry(QMenu& menu, const QString& text, const QKeySequence& keys, const std::function<void()>& act) {
    QAction* action = menu.addAction(text);
    QObject::connect(action, &QAction::triggered, &menu, [act] { act(); });
    action->setShortcut(keys);
    action->setShortcutVisibleInContextMenu(true);
    return action;
}
} // namespace

QStringList Frm_main::selectedContactKeys() const {
    QModelIndexList rows = list_->selectionModel() ? list_->selectionModel()->selectedRows(0) : QModelIndexList();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList keys;
    for (const QModelIndex& row : rows)
        keys << listModel_->keyAt(row.row());
    return keys;
}

void Frm_main::fillListMenu(QMenu& menu, const QModelIndex& row) {
    // The menu acts on the selected people; a row outside the selection becomes the selection, as a
    // right click on it would make it.
    if (row.isValid() && list_->selectionModel() && !list_->selectionModel()->isRowSelected(row.row(), {}))
        list_->setCurrentIndex(row.siblingAtColumn(0));
    const QStringList people = row.isValid() ? selectedContactKeys() : QStringList();
    const QList<QAction*> onRow{
        entry(menu, QStringLiteral("修改..."), shortcuts::of(QStringLiteral("editbutt")),
              [this] { Toolbar1_ButtonClick(QStringLiteral("editbutt")); }),
        entry(menu, QStringLiteral("重命名"), QKeySequence(Qt::Key_F2),
              [this, row] { list_->edit(row.siblingAtColumn(0)); }),
        entry(menu,
              people.size() > 1 ? QStringLiteral("删除选中的 %1 人...").arg(people.size()) : QStringLiteral("删除..."),
              QKeySequence(Qt::Key_Delete), [this] {
                  Lvfocus = true;
                  Tvfocus = false;
                  Toolbar1_ButtonClick(QStringLiteral("delebutt"));
              })};
    for (QAction* action : onRow)
        action->setEnabled(!people.isEmpty());
    onRow[0]->setEnabled(people.size() == 1); // one person's form, one name edited in place
    onRow[1]->setEnabled(people.size() == 1);
    // Every group, each offered only when the move would change something for these people.
    QMenu* move = menu.addMenu(QStringLiteral("移动到分组"));
    move->setObjectName(QStringLiteral("moveToGroup"));
    const QSet<QString> groupsNow = treeModel_->groupsOf(people);
    const QModelIndex top = treeModel_->rootIndex();
    bool anyTarget = false;
    for (int g = 0; top.isValid() && g < treeModel_->rowCount(top); ++g) {
        const QModelIndex node = treeModel_->index(g, 0, top);
        const QString group = treeModel_->keyOf(node);
        QString label = node.data(Qt::DisplayRole).toString();
        label.replace(QLatin1Char('&'), QStringLiteral("&&")); // a name, not a mnemonic
        QAction* to = move->addAction(label, this, [this, people, group] { moveContactsTo(people, group); });
        to->setData(group);
        to->setEnabled(moveWouldChange(groupsNow, group));
        anyTarget = anyTarget || to->isEnabled();
    }
    move->setEnabled(anyTarget);
    const QString one = people.size() == 1 ? people.front() : QString();
    menu.addAction(QStringLiteral("二维码名片..."), this, [this, one] { showContactQr(view_, one); })->setEnabled(!one.isEmpty());
    menu.addSeparator();
    entry(menu, QStringLiteral("新建联系人"), shortcuts::of(QStringLiteral("addbutt")),
          [this] { Toolbar1_ButtonClick(QStringLiteral("addbutt")); });
    entry(menu, QStringLiteral("筛选..."), QKeySequence(Qt::CTRL | Qt::Key_L), [this] { filterBar_->open(); });
    menu.addAction(action(QStringLiteral("print")));
    addHistoryEntries(menu);
}

void Frm_main::moveContactsTo(const QStringList& contactKeys, const QString& groupKey) {
    if (!state_.Conn || contactKeys.isEmpty())
        return;
    apply(run([&] { return state_.moveContacts(contactKeys, groupKey, selectedNodeKey(tree_, treeModel_)); }));
}
