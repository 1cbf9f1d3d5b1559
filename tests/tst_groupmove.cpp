// Several people at once in the window: selected together, dragged onto a group of the tree (the
// drop highlight only where the move does something), moved through 移动到分组 in the list's menu
// (also from the keyboard), deleted after one question; each change one step, one refresh.
#include "core/store/Store.h"
#include "gui/app/KeyFiller.h"
#include "gui/app/MainWindow.h"
#include "gui/app/Views.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"
#include "support/StoreProbe.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

QString groupOf(Fixture& fx, const QString& key) {
    const std::optional<ContactFields> stored = fx.state.Conn->loadContact(key);
    return stored ? stored->groupKey : QStringLiteral("<gone>");
}

void selectRows(Frm_main& w, const QStringList& keys) {
    w.LV()->clearSelection();
    for (const QString& key : keys)
        w.LV()->selectionModel()->select(w.listModel()->index(w.listModel()->rowOfKey(key), 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// A drag of these people moved over a tree node: whether the tree takes it there, and whether it
// marks that node exactly then; with `drop`, the drop itself.
bool dragOnto(Frm_main& w, const QStringList& keys, const QString& nodeKey, bool drop, bool* markedRight) {
    QTreeView* tree = w.TV();
    const QModelIndex node = w.treeModel()->indexForKey(nodeKey);
    tree->scrollTo(node);
    const QPoint at = tree->visualRect(node).center();
    std::unique_ptr<QMimeData> data(w.listModel()->mimeData([&] {
        QModelIndexList rows;
        for (const QString& key : keys)
            rows << w.listModel()->index(w.listModel()->rowOfKey(key), 0);
        return rows;
    }()));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    const bool taken = move.isAccepted();
    // the node is marked exactly when it takes the drop
    *markedRight = qobject_cast<NodeTreeView*>(tree)->dropTarget() == (taken ? node : QModelIndex());
    if (drop && taken) {
        QDropEvent dropped(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &dropped);
        // the move runs once the drop has ended: its queued call delivered here, whatever else the
        // event loop has pending
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    } else {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(tree->viewport(), &leave);
    }
    return taken;
}

// The window shown, once the pinyin keys its first paint starts writing (on a connection of their
// own) are in: a write of the test then never meets their lock.
bool showSettled(Frm_main& w) {
    QSignalSpy filled(w.keyFiller(), &PinyinKeyFiller::filled);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    if (filled.isEmpty() && !filled.wait(20000))
        return false;
    return w.keyFiller()->wait(20000);
}

QMenu* moveMenu(QMenu& menu) {
    return menu.findChild<QMenu*>(QStringLiteral("moveToGroup"));
}

} // namespace

class TestGroupMove : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString classmates, friends, colleagues;
    QString zhang, li, wang;

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        classmates = fx->addGroup(QStringLiteral("同学"));
        friends = fx->addGroup(QStringLiteral("朋友"));
        colleagues = fx->addGroup(QStringLiteral("同事 & 客户"));
        zhang = fx->addContact(classmates, QStringLiteral("张三"));
        li = fx->addContact(classmates, QStringLiteral("李四"));
        wang = fx->addContact(friends, QStringLiteral("王五"));
    }
    void cleanup() { fx.reset(); }

    // The tree takes the drag exactly where the drop would move somebody, and the drop moves them.
    void dropOnAGroup_data() {
        QTest::addColumn<QStringList>("people");
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("taken");
        QTest::newRow("two onto another group") << QStringList{"zhang", "li"} << "friends" << true;
        QTest::newRow("onto their own group") << QStringList{"zhang", "li"} << "classmates" << false;
        QTest::newRow("one of two there already") << QStringList{"zhang", "wang"} << "friends" << true;
        QTest::newRow("onto everybody") << QStringList{"zhang"} << "root" << false;
        QTest::newRow("onto a person") << QStringList{"zhang"} << "wang" << false;
    }
    void dropOnAGroup() {
        QFETCH(QStringList, people);
        QFETCH(QString, node);
        QFETCH(bool, taken);
        const QHash<QString, QString> key{{"zhang", zhang},         {"li", li},           {"wang", wang},
                                          {"classmates", classmates}, {"friends", friends}, {"root", "root"}};
        Frm_main& w = fx->window();
        QVERIFY(showSettled(w));
        w.TV()->expandAll();
        QStringList keys;
        for (const QString& p : people)
            keys << key[p];
        QSignalSpy history(&fx->state, &DirectorySession::historyChanged);
        bool markedRight = false;
        QCOMPARE(dragOnto(w, keys, key[node], true, &markedRight), taken);
        QVERIFY2(fx->dialogs.messages.isEmpty(), qPrintable(fx->dialogs.texts().join('\n')));
        QVERIFY(markedRight);
        for (const QString& k : keys)
            QCOMPARE(groupOf(*fx, k), taken ? key[node] : (k == wang ? friends : classmates));
        QCOMPARE(fx->state.canUndo(), taken);
        if (!taken)
            return;
        // one step: a single undo brings every one of them back
        w.action(QStringLiteral("undo"))->trigger();
        QCOMPARE(groupOf(*fx, zhang), classmates);
        QCOMPARE(groupOf(*fx, li), classmates);
        QCOMPARE(groupOf(*fx, wang), friends);
        QVERIFY(!fx->state.canUndo());
    }

    // The mark follows the pointer: from a group that takes the drag to one that does not, the first
    // loses it.
    void theMarkFollowsThePointer() {
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* tree = qobject_cast<NodeTreeView*>(w.TV());
        std::unique_ptr<QMimeData> data(w.listModel()->mimeData({w.listModel()->index(w.listModel()->rowOfKey(zhang), 0)}));
        const auto over = [&](const QString& key) {
            const QPoint at = tree->visualRect(w.treeModel()->indexForKey(key)).center();
            QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tree->viewport(), &move);
            return move.isAccepted();
        };
        QDragEnterEvent enter(QPoint(2, 2), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &enter);
        QVERIFY(over(friends));
        QCOMPARE(tree->dropTarget(), w.treeModel()->indexForKey(friends));
        QVERIFY(!over(classmates));
        QVERIFY(!tree->dropTarget().isValid());
        QVERIFY(!over(QStringLiteral("root")));
        QVERIFY(!tree->dropTarget().isValid());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(tree->viewport(), &leave);
    }

    // 移动到分组 lists every group, offers those where the selected people would move, and moves
    // them as one step; a group's name is shown as typed (& is no mnemonic).
    void listMenuMovesTheSelected() {
        Frm_main& w = fx->window();
        clickNode(w, QStringLiteral("root"));
        selectRows(w, {zhang, li});
        QMenu menu;
        w.fillListMenu(menu, w.listModel()->index(w.listModel()->rowOfKey(li), 0));
        QMenu* move = moveMenu(menu);
        QVERIFY(move);
        QStringList offered;
        for (QAction* to : move->actions())
            offered << to->text() + (to->isEnabled() ? "" : " (off)");
        QCOMPARE(offered, QStringList({"同学 (off)", "朋友", "同事 && 客户"}));
        QCOMPARE(menu.actions().at(2)->text(), QStringLiteral("删除选中的 2 人..."));
        QVERIFY(!menu.actions().at(0)->isEnabled()); // 修改... is for one person
        move->actions().at(2)->trigger();
        QCOMPARE(groupOf(*fx, zhang), colleagues);
        QCOMPARE(groupOf(*fx, li), colleagues);
        QCOMPARE(groupOf(*fx, wang), friends);
        QCOMPARE(w.treeModel()->groupsOf({zhang, li}), QSet<QString>{colleagues});
        w.action(QStringLiteral("undo"))->trigger();
        QCOMPARE(groupOf(*fx, zhang), classmates);
        QCOMPARE(groupOf(*fx, li), classmates);
    }

    // The menu key and Shift+F10 open the list's menu, with 移动到分组, for the selected rows.
    void menuKeyOpensTheListMenu_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
    }
    void menuKeyOpensTheListMenu() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickNode(w, QStringLiteral("root"));
        selectRows(w, {wang});
        w.LV()->setCurrentIndex(w.listModel()->index(w.listModel()->rowOfKey(wang), 0));
        w.LV()->setFocus();
        QStringList seen;
        QTimer::singleShot(0, [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : popup->actions())
                    seen << a->text();
                popup->close();
            }
        });
        QTest::keyClick(w.LV(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY2(seen.contains(QStringLiteral("移动到分组")), qPrintable(seen.join(',')));
        QVERIFY(seen.contains(QStringLiteral("修改...")));
    }

    // Several selected rows are deleted after one question, as one step.
    void deleteSeveralAsksOnce_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void deleteSeveralAsksOnce() {
        QFETCH(bool, yes);
        Frm_main& w = fx->window();
        QVERIFY(showSettled(w));
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickNode(w, QStringLiteral("root"));
        selectRows(w, {zhang, wang});
        w.LV()->setFocus();
        fx->dialogs.answers.push_back(yes ? MsgAnswer::Yes : MsgAnswer::No);
        QTest::keyClick(w.LV(), Qt::Key_Delete);
        QCOMPARE(fx->dialogs.texts(), QStringList{"您真的要删除选中的 2 个联系人吗?"});
        QCOMPARE(fx->state.Conn->contactCount(), yes ? 1 : 3);
        QCOMPARE(w.listModel()->rowCount(), yes ? 1 : 3);
        if (!yes)
            return;
        w.action(QStringLiteral("undo"))->trigger();
        QCOMPARE(fx->state.Conn->contactCount(), 3);
        QVERIFY(!fx->state.canUndo());
    }

    // 1,000 people moved among 100,000: the tree is rebuilt once and the list refilled once, also
    // after the change notices have gone round.
    void aLargeMoveRefreshesOnce() {
        {
            Store& store = fx->open();
            SQLite::Database& db = storeDb(store);
            db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
                    "insert into phone (mainid, 姓名) select '" + classmates.toStdString() +
                    "', '人' || i from n");
            db.exec("update phone set friendid = 'friend' || id where friendid is null");
            fx->state.Conn.reset();
        }
        Frm_main& w = fx->window();
        clickNode(w, QStringLiteral("root"));
        QCOMPARE(w.listModel()->rowCount(), 100003);
        QStringList people;
        for (int row = 10; row < 1010; ++row)
            people << w.listModel()->keyAt(row);
        storeDb(*fx->state.Conn).exec("delete from zinteva_sync_change");
        QSignalSpy treeResets(w.treeModel(), &QAbstractItemModel::modelReset);
        QSignalSpy listResets(w.listModel(), &QAbstractItemModel::modelReset);
        w.moveContactsTo(people, friends);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(treeResets.size(), 1);
        QCOMPARE(listResets.size(), 1);
        QCOMPARE(w.treeModel()->rowCount(w.treeModel()->indexForKey(friends)), 1001);
        QCOMPARE(fx->count("select count(*) from zinteva_sync_change"), 1000);
    }
};

QTEST_MAIN(TestGroupMove)
#include "tst_groupmove.moc"
