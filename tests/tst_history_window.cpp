// The window's side of undo and recently deleted: Ctrl+Z after deleting a group gives back the
// group's node with every person and the list as it was; the recently deleted list hands back the
// entries the user selected.
#include "gui/app/MainWindow.h"
#include "gui/forms/DuplicatesDialog.h"
#include "gui/forms/RecentlyDeletedDialog.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
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

    // The merge view: each field offers the group's values, the longer one picked; 合并 hands the
    // picked fields over and the group leaves the list.
    void duplicatesDialogPicksAndMerges() {
        ContactFields a, b;
        a.name = b.name = QStringLiteral("张三");
        a.mobile = QStringLiteral("138");
        b.mobile = QStringLiteral("+86 138");
        b.email = QStringLiteral("zs@example.cn");
        QStringList mergedKeys;
        ContactFields mergedFields;
        DuplicatesDialog dialog(
            {{QStringLiteral("friend1"), QStringLiteral("friend2")}},
            [&](const QString& key) { return std::optional<ContactFields>(key == QLatin1String("friend1") ? a : b); },
            [&](const QStringList& keys, const ContactFields& merged) {
                mergedKeys = keys;
                mergedFields = merged;
                return true;
            });
        QCOMPARE(dialog.groupList()->count(), 1);
        QCOMPARE(dialog.choice(2)->count(), 2);
        QCOMPARE(dialog.choice(2)->currentText(), QStringLiteral("+86 138"));
        dialog.choice(2)->setCurrentIndex(0);
        dialog.mergeButton()->click();
        QCOMPARE(mergedKeys, (QStringList{"friend1", "friend2"}));
        QCOMPARE(mergedFields.mobile, QStringLiteral("138"));
        QCOMPARE(mergedFields.email, QStringLiteral("zs@example.cn"));
        QCOMPARE(dialog.groupList()->count(), 0);
        QVERIFY(!dialog.mergeButton()->isEnabled());
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
