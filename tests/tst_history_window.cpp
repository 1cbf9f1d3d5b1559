// The window's side of undo and recently deleted: Ctrl+Z after deleting a group gives back the
// group's node with every person and the list as it was; the recently deleted list hands back the
// entries the user selected.
#include "gui/app/MainWindow.h"
#include "gui/forms/RecentlyDeletedDialog.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

class TestHistoryWindow : public QObject {
    Q_OBJECT

private slots:
    void undoOfAGroupDeleteInTheWindow() {
        Fixture f;
        const QString group = f.addGroup(QStringLiteral("老师"));
        const QString wang = f.addContact(group, QStringLiteral("王老师"));
        f.addContact(group, QStringLiteral("李老师"));
        Frm_main& w = f.window();
        QAction* undo = w.action(QStringLiteral("undo"));
        QVERIFY(undo && !undo->isEnabled());

        w.apply(w.run([&] { return f.state.deleteNode(group); }));
        QVERIFY(!w.treeModel()->indexForKey(group).isValid());
        QVERIFY(undo->isEnabled());

        undo->trigger();
        QVERIFY(w.treeModel()->indexForKey(group).isValid());
        QVERIFY(w.treeModel()->indexForKey(wang).isValid());
        QCOMPARE(w.listModel()->rowCount(), 2);
        QCOMPARE(f.count("select count(*) from phone"), 2);
        QVERIFY(w.action(QStringLiteral("redo"))->isEnabled());
    }

    void recentlyDeletedDialogHandsBackTheSelection() {
        const std::vector<DeletedContact> people = {{7, "friend7", "张三", "同学", "2025-03-09 10:00"},
                                                    {9, "friend9", "李四", "朋友", "2025-03-10 11:00"}};
        RecentlyDeletedDialog dialog(people);
        QCOMPARE(dialog.table()->rowCount(), 2);
        QCOMPARE(dialog.table()->item(1, 1)->text(), QStringLiteral("朋友"));
        QVERIFY(!dialog.restoreButton()->isEnabled());
        dialog.table()->selectRow(1);
        QVERIFY(dialog.restoreButton()->isEnabled());
        QCOMPARE(dialog.selectedIds(), std::vector<qint64>{9});
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
