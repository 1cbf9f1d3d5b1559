// The group tree and the contact list: what each rebuild and each fill shows, selects and focuses.
#include "gui/app/MainWindow.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/list/ListLayout.h"
#include "core/app/Settings.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/Database.h>

namespace {
QStringList childTexts(const QAbstractItemModel& model, const QModelIndex& parent) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, 0, parent).data().toString();
    return texts;
}
QStringList listNames(Frm_main& w) {
    return childTexts(*w.listModel(), {});
}
} // namespace

class TestTreeList : public QObject {
    Q_OBJECT

private slots:
    // The list comes back as the user left it: widths, the columns hidden through the header's menu,
    // the sort; settings that make no sense leave the fifteen columns as designed.
    void listLayoutSurvivesARestart() {
        Fixture fx;
        const QString g = fx.addGroup(QStringLiteral("同学"));
        fx.addContact(g, QStringLiteral("张三"), {}, QStringLiteral("137"));
        fx.addContact(g, QStringLiteral("李四"), {}, QStringLiteral("138"));
        fx.addContact(g, QStringLiteral("王五"), {}, QStringLiteral("139"));
        {
            Frm_main& w = fx.window();
            QHeaderView* header = w.LV()->header();
            for (int column = 0; column < listcolumns::Count; ++column)
                QVERIFY(!header->isSectionHidden(column));
            sortContactList(w.view(), 2);
            sortContactList(w.view(), 2); // 移动电话, down
            header->resizeSection(3, 200);
            QMenu menu;
            listlayout::fillColumnMenu(menu, w.LV());
            QCOMPARE(menu.actions().size(), listcolumns::Count - 1);
            QVERIFY(!menu.actions()[0]->isEnabled()); // 姓名 stays
            menu.actions()[9]->trigger();             // ICQ号码 off
            QVERIFY(header->isSectionHidden(9));
        }
        fx.closeWindow();
        {
            Frm_main& w = fx.window();
            QHeaderView* header = w.LV()->header();
            QCOMPARE(header->sectionSize(3), 200);
            QVERIFY(header->isSectionHidden(9));
            QVERIFY(!header->isSectionHidden(8));
            QCOMPARE(header->sortIndicatorSection(), 2);
            QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
            QCOMPARE(listNames(w), (QStringList{"王五", "李四", "张三"}));
            QMenu menu;
            listlayout::fillColumnMenu(menu, w.LV());
            QVERIFY(!menu.actions()[9]->isChecked());
            menu.actions()[9]->trigger();
            QVERIFY(!header->isSectionHidden(9) && header->sectionSize(9) > 10);
        }
        fx.closeWindow();
        fx.settings->setText(listlayout::WidthsKey, QStringLiteral("x,-5,99999999"));
        fx.settings->setText(listlayout::HiddenKey, QStringLiteral("0,14,99,abc"));
        fx.settings->setText(listlayout::SortKey, QStringLiteral("14,0"));
        Frm_main& w = fx.window();
        for (int column = 0; column < listcolumns::Count; ++column) {
            QVERIFY(!w.LV()->header()->isSectionHidden(column));
            QCOMPARE(w.LV()->header()->sectionSize(column), listcolumns::initialWidth(column, *w.LV()));
        }
        QCOMPARE(w.listModel()->sortColumn(), -1);
    }

    void emptyDatabaseGivesLoneTopNode() {
        Fixture fx;
        Frm_main& w = fx.window();
        GroupTreeModel& tree = *w.treeModel();
        QCOMPARE(tree.rowCount(), 1);
        QCOMPARE(tree.rootIndex().data().toString(), QString("所有人"));
        QCOMPARE(tree.keyOf(tree.rootIndex()), QString("root"));
        QCOMPARE(tree.rowCount(tree.rootIndex()), 0);
        QVERIFY(!w.TV()->isExpanded(tree.rootIndex()));
        QCOMPARE(w.listModel()->rowCount(), 0);
    }

    void groupsWithoutContactsLeaveTopCollapsed() {
        Fixture fx;
        fx.addGroup("同学");
        fx.addGroup("朋友");
        Frm_main& w = fx.window();
        const QModelIndex root = w.treeModel()->rootIndex();
        QCOMPARE(childTexts(*w.treeModel(), root), QStringList({"同学", "朋友"}));
        QVERIFY(!w.TV()->isExpanded(root));
        QCOMPARE(w.treeModel()->data(w.treeModel()->index(0, 0, root), GroupTreeModel::PictureRole).toInt(), 2);
        QCOMPARE(w.treeModel()->data(root, GroupTreeModel::PictureRole).toInt(), 1);
    }

    void contactsHangUnderTheirGroupsInTableOrder() {
        Fixture fx;
        const QString a = fx.addGroup("同学"), b = fx.addGroup("朋友");
        fx.addContact(b, "王五");
        fx.addContact(a, "张三");
        fx.addContact(a, "李四");
        fx.addContact("main99", "孤儿"); // its group does not exist
        Frm_main& w = fx.window();
        GroupTreeModel& tree = *w.treeModel();
        QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QModelIndex root = tree.rootIndex();
        QVERIFY(w.TV()->isExpanded(root));
        const QModelIndex first = tree.index(0, 0, root);
        QCOMPARE(childTexts(tree, first), QStringList({"张三", "李四"}));
        QCOMPARE(childTexts(tree, tree.index(1, 0, root)), QStringList({"王五"}));
        QVERIFY(!w.TV()->isExpanded(first));
        const QModelIndex zhang = tree.index(0, 0, first);
        QCOMPARE(tree.keyOf(zhang), QString("friend2"));
        QCOMPARE(tree.data(zhang, GroupTreeModel::PictureRole).toInt(), 3);
        QCOMPARE(tree.parent(zhang), first);
        // the orphan is left out of the tree but still in the list of everybody
        QVERIFY(!tree.indexForKey("friend4").isValid());
        QCOMPARE(listNames(w), QStringList({"王五", "张三", "李四", "孤儿"}));
    }

    void rebuildCollapsesGroups() {
        Fixture fx;
        const QString g = fx.addGroup("同学");
        fx.addContact(g, "张三");
        Frm_main& w = fx.window();
        fx.state.CurrentGroup = g;
        SelectCurrentNode(w.view());
        QVERIFY(w.TV()->isExpanded(w.treeModel()->indexForKey(g)));
        LoadGroupTree(w.view());
        QVERIFY(!w.TV()->isExpanded(w.treeModel()->indexForKey(g)));
        QVERIFY(w.TV()->isExpanded(w.treeModel()->rootIndex()));
        QVERIFY(!w.TV()->currentIndex().isValid());
    }

    void selectCurrentNode_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("expandedGroup");
        QTest::newRow("root") << "root" << QString() << QString();
        QTest::newRow("group") << "main2"
                               << "main2"
                               << "main2";
        QTest::newRow("contact") << "friend3"
                                 << "friend3"
                                 << "main2";
        QTest::newRow("no such node") << "friend77" << QString() << QString();
    }
    void selectCurrentNode() {
        QFETCH(QString, key);
        QFETCH(QString, selected);
        QFETCH(QString, expandedGroup);
        Fixture fx;
        const QString a = fx.addGroup("同学"), b = fx.addGroup("朋友");
        fx.addContact(a, "张三");
        fx.addContact(b, "李四");
        fx.addContact(b, "王五");
        Frm_main& w = fx.window();
        fx.state.CurrentGroup = key;
        SelectCurrentNode(w.view());
        QCOMPARE(w.treeModel()->keyOf(w.TV()->currentIndex()), selected);
        for (const QString& group : {a, b})
            QCOMPARE(w.TV()->isExpanded(w.treeModel()->indexForKey(group)), group == expandedGroup);
    }

    void listColumns() {
        Fixture fx;
        Frm_main& w = fx.window();
        const ContactListModel& list = *w.listModel();
        QStringList headers;
        for (int c = 0; c < list.columnCount(); ++c)
            headers << list.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QCOMPARE(headers, QStringList({"姓名", "生日", "移动电话", "工作电话", "家庭电话", "传真号码", "地址",
                                       "邮政编码", "QQ号码", "ICQ号码", "MSN", "邮件地址", "昵称", "备注", ""}));
        QCOMPARE(listcolumns::key(2), QString("mobphone "));
        QCOMPARE(w.LV()->header()->sectionSize(0), 96);
        // the birthday column: its designed 73 pixels, or what the widest date needs in the list's font
        QVERIFY(w.LV()->header()->sectionSize(1) >= 73);
        QVERIFY(w.LV()->header()->sectionSize(1) > w.LV()->fontMetrics().horizontalAdvance("8888/88/88"));
        QCOMPARE(w.LV()->header()->sectionSize(10), 133);
    }

    void rowCells() {
        Fixture fx;
        const QString g = fx.addGroup("同学");
        ContactFields full = contact(g, "张三");
        full.birthday = QDate(1980, 5, 3);
        full.mobile = "139", full.workPhone = "010", full.homePhone = "020", full.fax = "030";
        full.address = "北京", full.postcode = "100080", full.qq = "1", full.icq = "2", full.msn = "m@x";
        full.email = "e@x", full.nickname = "三儿", full.remarks = "备注", full.photo = "/p.jpg";
        fx.open().addContact(full);
        fx.addContact(g, "只有名字");
        storeDb(fx.open()).exec("update phone set 移动电话 = null, 生日 = null where 姓名 = '只有名字'");
        Frm_main& w = fx.window();
        const ContactListModel& list = *w.listModel();
        QAbstractItemModelTester tester(w.listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList cells;
        for (int c = 0; c < 15; ++c)
            cells << list.index(0, c).data().toString();
        QCOMPARE(cells,
                 QStringList({"张三", "1980/5/3", "139", "010",
                              "020", "030", "北京", "100080", "1", "2", "m@x", "e@x", "三儿", "备注", ""}));
        for (int c = 1; c < 15; ++c)
            QCOMPARE(list.index(1, c).data().toString(), QString());
        QCOMPARE(list.keyAt(0), QString("friend1"));
        QCOMPARE(list.data(list.index(0, 0), ContactListModel::PictureRole).toInt(), 3);
    }

    void fills_data() {
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("picture");
        QTest::addColumn<QString>("selectedKey");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<QString>("caption"); // the line over the list
        QTest::newRow("all") << "all" << QStringList({"张三", "李四", "王五"}) << 3 << QString() << false << "所有人 · 3 人";
        QTest::newRow("query") << "query" << QStringList({"李四"}) << 1 << QString() << false << "查询结果 · 1 人";
        QTest::newRow("query, no rows") << "query-none" << QStringList() << 1 << QString() << false << "查询结果 · 0 人";
        QTest::newRow("refresh group") << "refresh-group" << QStringList({"李四", "王五"}) << 3 << "friend3" << true << "朋友 · 2 人";
        QTest::newRow("refresh contact") << "refresh-contact" << QStringList({"王五"}) << 3 << QString() << false << "王五 · 1 人";
        QTest::newRow("refresh new contact")
            << "refresh-new" << QStringList({"李四", "王五"}) << 3 << "friend3" << true << "朋友 · 2 人";
        QTest::newRow("click root") << "click-root" << QStringList({"张三", "李四", "王五"}) << 3 << QString() << false << "所有人 · 3 人";
        QTest::newRow("click group") << "click-group" << QStringList({"李四", "王五"}) << 3 << QString() << false << "朋友 · 2 人";
        QTest::newRow("click contact") << "click-contact" << QStringList({"李四"}) << 3 << QString() << false << "李四 · 1 人";
    }
    void fills() {
        QFETCH(QString, fill);
        QFETCH(QStringList, names);
        QFETCH(int, picture);
        QFETCH(QString, selectedKey);
        QFETCH(bool, focused);
        QFETCH(QString, caption);
        Fixture fx;
        const QString a = fx.addGroup("同学"), b = fx.addGroup("朋友");
        fx.addContact(a, "张三");
        fx.addContact(b, "李四", {}, "13900");
        fx.addContact(b, "王五");
        Frm_main& w = fx.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.TV()->setFocus();
        MainView& view = w.view();
        fx.state.CurrentContactId = "friend3";
        fx.state.CurrentGroup = "main1";
        fx.state.ListSource = ListShows::result(Query{"移动电话 like ?", {"%139%"}});
        const auto node = [&](const QString& key) { return w.treeModel()->indexForKey(key); };
        if (fill == "all") {
            ListAllContacts(view);
        } else if (fill == "query" || fill == "query-none") {
            fx.state.ListSource = ListShows::result(Query{"移动电话 like ?", {fill == "query" ? "%139%" : "%777%"}});
            w.TV()->setCurrentIndex(node("root"));
            ListQueryResult(view);
        } else if (fill == "refresh-group") {
            fx.state.CurrentGroup = b;
            RefreshContactList(view);
        } else if (fill == "refresh-contact") {
            fx.state.CurrentGroup = "friend3";
            RefreshContactList(view);
        } else if (fill == "refresh-new") {
            fx.state.EditFlag = true;
            fx.state.CurrentGroup = "friend3";
            RefreshContactList(view);
            QCOMPARE(fx.state.CurrentGroup, b);
        } else {
            const QString key = fill == "click-root" ? "root" : fill == "click-group" ? b : "friend2";
            TV_NodeClick(view, node(key));
            QVERIFY(!fx.state.ListSource.isQuery());
            QCOMPARE(fx.state.CurrentGroup, QString("main1")); // a click does not change it
        }
        QCOMPARE(listNames(w), names);
        if (!names.isEmpty())
            QCOMPARE(w.listModel()->picture(), picture);
        QCOMPARE(selectedRowKey(view), selectedKey);
        if (focused)
            QTRY_VERIFY(w.LV()->hasFocus());
        else
            QVERIFY(!w.LV()->hasFocus());
        QCOMPARE(w.listCaption()->text(), caption);
        // rows of no node: the tree shows none selected rather than another node's name
        if (fill.startsWith(QStringLiteral("query"))) {
            QVERIFY(!w.TV()->selectionModel()->hasSelection());
            QVERIFY(!w.TV()->currentIndex().isValid());
        }
    }

    // The start-up reminder's rows are nobody's node: the line says whose they are and the tree
    // selects nothing until the user picks a node, whose name the line then takes.
    void startupReminderCaption() {
        Fixture fx;
        const QString g = fx.addGroup("同学");
        fx.addContact(g, "张三", QDate(1990, 3, 12));
        fx.addContact(g, "李四", QDate(1990, 8, 1));
        Frm_main& w = fx.window(true);
        QCOMPARE(listNames(w), QStringList({"张三"}));
        QCOMPARE(w.listCaption()->text(), QString("最近 10 天过生日 · 1 人"));
        QVERIFY(!w.TV()->selectionModel()->hasSelection());
        QVERIFY(!w.TV()->currentIndex().isValid());
        QTest::keyClick(w.TV(), Qt::Key_Down); // the keyboard picks the top node
        QCOMPARE(w.listCaption()->text(), QString("所有人 · 2 人"));
        QCOMPARE(w.TV()->selectionModel()->selectedIndexes(), QModelIndexList({w.treeModel()->rootIndex()}));
    }

    void headerClickSortsAndFillsKeepTheOrder() {
        Fixture fx;
        const QString g = fx.addGroup("同学");
        fx.addContact(g, "白雪", QDate(1990, 1, 2));
        fx.addContact(g, "Alice", QDate(1970, 6, 1));
        fx.addContact(g, "阿明");
        fx.addContact(g, "张三", QDate(1985, 3, 3));
        Frm_main& w = fx.window();
        // before the first click: the data file's order
        QCOMPARE(listNames(w), QStringList({"白雪", "Alice", "阿明", "张三"}));
        QHeaderView* header = w.LV()->header();
        emit header->sectionClicked(0);
        QCOMPARE(listNames(w), QStringList({"阿明", "Alice", "白雪", "张三"}));
        emit header->sectionClicked(0);
        QCOMPARE(listNames(w), QStringList({"张三", "白雪", "Alice", "阿明"}));
        emit header->sectionClicked(1); // birthdays by date, the empty one last
        QCOMPARE(listNames(w), QStringList({"Alice", "张三", "白雪", "阿明"}));
        // a refill keeps the column and direction
        fx.addContact(g, "陈一", QDate(1960, 1, 1));
        ListAllContacts(w.view());
        QCOMPARE(listNames(w), QStringList({"陈一", "Alice", "张三", "白雪", "阿明"}));
        QCOMPARE(header->sortIndicatorSection(), 1);
        QAbstractItemModelTester tester(w.listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
};

QTEST_MAIN(TestTreeList)
#include "tst_treelist.moc"
