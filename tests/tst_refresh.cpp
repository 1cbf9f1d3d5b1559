// A save rebuilds the tree and refills the list from the data file: each view's model is reset
// exactly once, and both views then hold what the file holds. (How fast is the benchmark's job.)
#include "core/store/ContactFields.h"
#include "gui/app/MainWindow.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactListModel.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"
#include "gui/tree/GroupTreeModel.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

class TestRefresh : public QObject {
    Q_OBJECT

private slots:
    void saveResetsEachModelOnce_data() {
        QTest::addColumn<QString>("current"); // the node the list shows
        QTest::addColumn<bool>("add");
        QTest::newRow("new person, everybody shown") << "root" << true;
        QTest::newRow("new person, group shown") << "main1" << true;
        QTest::newRow("edit, everybody shown") << "root" << false;
        QTest::newRow("edit, group shown") << "main2" << false;
    }
    void saveResetsEachModelOnce() {
        QFETCH(QString, current);
        QFETCH(bool, add);
        Fixture fx;
        const QString a = fx.addGroup("同学"), b = fx.addGroup("朋友");
        for (int i = 0; i < 50; ++i)
            fx.addContact(i % 3 ? a : b, QString("人%1").arg(i));
        const QString edited = fx.addContact(b, "被修改的人");
        Frm_main& w = fx.window();
        fx.state.CurrentGroup = current;
        fx.state.CurrentContactId = edited;
        fx.state.EditFlag = add;

        QSignalSpy treeResets(w.treeModel(), &QAbstractItemModel::modelReset);
        QSignalSpy listResets(w.listModel(), &QAbstractItemModel::modelReset);
        frm_detail form(w.view(), add ? frm_detail::Mode::Add : frm_detail::Mode::Update);
        if (!add)
            form.showContact(*fx.state.Conn->loadContact(edited));
        form.findChild<QLineEdit*>("Text1")->setText(add ? "新来的人" : "改过名的人");
        form.Toolbar1_ButtonClick("savebutt");
        QCoreApplication::processEvents(); // the save's own change notice refreshes nothing again

        QCOMPARE(treeResets.count(), 1);
        QCOMPARE(listResets.count(), 1);
        const int people = fx.count("select count(*) from phone");
        QCOMPARE(people, add ? 52 : 51);
        QCOMPARE(w.treeModel()->contactCount(), people);
        int inTree = 0;
        const QModelIndex root = w.treeModel()->rootIndex();
        for (int g = 0; g < w.treeModel()->rowCount(root); ++g)
            inTree += w.treeModel()->rowCount(w.treeModel()->index(g, 0, root));
        QCOMPARE(inTree, people);
        // After an add the list shows the new person's group, whatever it showed before.
        const QString shownGroup = add ? a : current;
        const int expectedRows =
            shownGroup == "root"
                ? people
                : fx.count(qPrintable(QString("select count(*) from phone where mainid = '%1'").arg(shownGroup)));
        QCOMPARE(w.listModel()->rowCount(), expectedRows);
    }

    // A change the window did not make (another part of the program through the session): the
    // window follows once the change is done, with one reset of each view, its node kept.
    void aChangeElsewhereRefreshesTheWindowOnce_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("rows"); // the list afterwards, by name
        QTest::newRow("a person added") << "add" << QStringList{"张三", "李四", "别处来的人"};
        QTest::newRow("a person renamed") << "rename" << QStringList{"张三丰", "李四"};
        QTest::newRow("a person deleted") << "delete" << QStringList{"李四"};
    }
    void aChangeElsewhereRefreshesTheWindowOnce() {
        QFETCH(QString, change);
        QFETCH(QStringList, rows);
        Fixture fx;
        const QString a = fx.addGroup("同学");
        const QString zhang = fx.addContact(a, "张三");
        fx.addContact(a, "李四");
        Frm_main& w = fx.window();
        clickNode(w, a);
        QSignalSpy treeResets(w.treeModel(), &QAbstractItemModel::modelReset);
        QSignalSpy listResets(w.listModel(), &QAbstractItemModel::modelReset);
        if (change == "add")
            fx.state.saveContact(std::nullopt, contact(a, "别处来的人"));
        else if (change == "rename")
            fx.state.renameNode(zhang, "张三丰");
        else
            fx.state.deleteNode(zhang);
        QCOMPARE(treeResets.count(), 0); // not in the middle of somebody else's change
        QCoreApplication::processEvents();
        QCOMPARE(treeResets.count(), 1);
        QCOMPARE(listResets.count(), 1);
        QCOMPARE(currentNodeKey(w), a);
        QCOMPARE(listNames(w), rows);
        QCOMPARE(w.treeModel()->contactCount(), rows.size());
    }
};

QTEST_MAIN(TestRefresh)
#include "tst_refresh.moc"
