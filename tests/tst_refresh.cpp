// A save rebuilds the tree and refills the list from the data file: each view's model is reset
// exactly once, and both views then hold what the file holds. (How fast is the benchmark's job.)
#include "gui/app/MainWindow.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactListModel.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
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
};

QTEST_MAIN(TestRefresh)
#include "tst_refresh.moc"
