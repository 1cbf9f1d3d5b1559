// What the user does to a person in the list: open it (double click, Enter), delete it, rename
// it in place; and what happens to the tree and the list when the data file refuses.
#include "gui/app/MainWindow.h"
#include "gui/forms/RecordForm.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "core/text/TypedDate.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

// Every node of the tree as "key=text", depth first.
QStringList treeNodes(const GroupTreeModel& model, const QModelIndex& parent = {}) {
    QStringList nodes;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex node = model.index(row, 0, parent);
        nodes << model.keyOf(node) + QLatin1Char('=') + model.data(node, Qt::DisplayRole).toString();
        nodes << treeNodes(model, node);
    }
    return nodes;
}

QRect rowRect(Frm_main& w, const QString& key) {
    return w.LV()->visualRect(w.listModel()->index(w.listModel()->rowOfKey(key), 0));
}

} // namespace

class TestListOps : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString classmates, friends;
    QString zhang, li, wang; // two classmates and a friend

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        classmates = fx->addGroup(QStringLiteral("同学"));
        friends = fx->addGroup(QStringLiteral("朋友"));
        zhang = fx->addContact(classmates, QStringLiteral("张三"), QDate(1980, 5, 3), QStringLiteral("139"));
        li = fx->addContact(classmates, QStringLiteral("李四"), fx->clock.today().addYears(-20));
        wang = fx->addContact(friends, QStringLiteral("王五"), fx->clock.today().addDays(2).addYears(-30));
    }
    void cleanup() { fx.reset(); }

    // clang-format off
    void nothingSelectedDoesNothing_data() {
        QTest::addColumn<QString>("operation");
        QTest::newRow("edit") << "edit";
        QTest::newRow("delete") << "delete";
        QTest::newRow("rename") << "rename";
    }
    // clang-format on
    void nothingSelectedDoesNothing() {
        QFETCH(QString, operation);
        Frm_main& w = fx->window();
        w.LV()->setCurrentIndex(w.listModel()->index(0, 0));
        w.LV()->clearSelection();
        const QStringList rows = listKeys(w), nodes = treeNodes(*w.treeModel());
        fx->state.CurrentGroup = QStringLiteral("main1");
        fx->state.CurrentContactId = QStringLiteral("friend2");
        ModalForm act(fx->dialogs, [](frm_detail&) {});
        if (operation == QStringLiteral("edit"))
            Lv_edit(w.view());
        else if (operation == QStringLiteral("delete"))
            Lv_dele(w.view());
        else
            LV_AfterLabelEdit(w.view(), w.listModel()->keyAt(-1), QStringLiteral("新名字"));
        QCoreApplication::processEvents();
        QVERIFY(!act.seen());
        QCOMPARE(fx->count("select count(*) from phone"), 3);
        QCOMPARE(fx->count("select count(*) from phone where 姓名 = '张三'"), 1);
        QCOMPARE(listKeys(w), rows);
        QCOMPARE(treeNodes(*w.treeModel()), nodes);
        QCOMPARE(fx->state.CurrentGroup, QStringLiteral("main1"));
        QCOMPARE(fx->state.CurrentContactId, QStringLiteral("friend2"));
        QVERIFY(fx->dialogs.messages.isEmpty());
    }

    // Double click and Enter open the selected person; saving unchanged rewrites the same row.
    // clang-format off
    void openFromTheList_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("double click") << "double click";
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("Return") << "Return";
    }
    // clang-format on
    void openFromTheList() {
        QFETCH(QString, how);
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        const QString photo = fx->dir.filePath(QStringLiteral("wang.jpg"));
        QVERIFY(picture.save(photo, "JPG"));
        ContactFields full = fx->state.Conn->loadContact(wang).value();
        full.address = QStringLiteral("上海");
        full.nickname = QStringLiteral("小王");
        full.photo = photo;
        fx->state.Conn->updateContact(wang, full);

        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        clickNode(w, friends);
        selectRow(w, wang);
        ContactFields shown;
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QCOMPARE(form.mode(), frm_detail::Mode::Update);
            QVERIFY(form.isModal());
            QCOMPARE(groupChoice(form)->currentText(), QStringLiteral("朋友"));
            QCOMPARE(box(form, 1)->text(), QStringLiteral("王五"));
            QCOMPARE(box(form, 2)->text(), birthdayText(*full.birthday));
            QCOMPARE(box(form, 7)->text(), QStringLiteral("上海"));
            QCOMPARE(box(form, 13)->text(), QStringLiteral("小王"));
            QCOMPARE(box(form, 15)->text(), photo);
            QVERIFY(!showsPlaceholder(form));
            QCOMPARE(photoArea(form)->pixmap().size(), QSize(377, 283));
            form.findChild<QAction*>("savebutt")->trigger();
        });
        if (how == QStringLiteral("double click")) {
            // As the window system delivers it: a click, then the second press as a double click.
            const QPoint at = rowRect(w, wang).center();
            QTest::mouseClick(w.LV()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(w.LV()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(w.LV()->viewport(), Qt::LeftButton, {}, at);
        } else {
            w.LV()->setFocus();
            QTest::keyClick(w.LV(), how == QStringLiteral("Enter") ? Qt::Key_Enter : Qt::Key_Return);
        }
        QVERIFY(act.seen());
        QCOMPARE(fx->count("select count(*) from phone"), 3);
        QCOMPARE(fx->state.Conn->loadContact(wang).value(), full);
        QCOMPARE(fx->state.CurrentContactId, wang);
        QCOMPARE(fx->state.CurrentGroup, friends);
        QCOMPARE(listKeys(w), QStringList{wang});
        QCOMPARE(listKeys(w).indexOf(selectedRowKey(w.view())), 0);
    }

    // A double click on the selected row opens the form, not also the name's in-place rename.
    void doubleClickStartsNoRename() {
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        selectRow(w, zhang);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QTest::qWait(QApplication::doubleClickInterval() + 100);
            form.findChild<QAction*>("closebutt")->trigger();
        });
        const QPoint at = rowRect(w, zhang).center();
        QTest::mouseClick(w.LV()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w.LV()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(w.LV()->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(act.seen());
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!w.LV()->viewport()->findChild<QLineEdit*>());
        // Nor does a click on a row that was not selected.
        QTest::mouseClick(w.LV()->viewport(), Qt::LeftButton, {}, rowRect(w, li).center());
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!w.LV()->viewport()->findChild<QLineEdit*>());
        QCOMPARE(selectedRowKey(w.view()), li);
    }

    void editKeepsGoingPastWhatFails() {
        // The photo is gone and the group no longer exists: the form still opens.
        storeDb(*fx->state.Conn).exec(
            "update phone set 照片 = '/nowhere/gone.jpg', mainid = 'main99' where friendid = 'friend1'");
        Frm_main& w = fx->window();
        selectRow(w, zhang);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QCOMPARE(groupChoice(form)->currentIndex(), 0);
            QCOMPARE(box(form, 1)->text(), QStringLiteral("张三"));
            QCOMPARE(box(form, 15)->text(), QStringLiteral("/nowhere/gone.jpg"));
            QVERIFY(showsPlaceholder(form));
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QVERIFY(fx->dialogs.messages.isEmpty());
        QCOMPARE(fx->state.EditFlag, false);
    }

    // Deleting follows what the list shows: a person's node lists its group again; a group, all
    // or a search result loses just the row.
    // clang-format off
    void deletePerson_data() {
        QTest::addColumn<QString>("treeNode");
        QTest::addColumn<bool>("reminder");
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<QString>("groupAfter");
        QTest::addColumn<QString>("nodeAfter");
        QTest::newRow("the person's node") << "friend2" << false << "friend2" << QStringList{"friend1"} << "main1" << "main1";
        QTest::newRow("its group") << "main1" << false << "friend1" << QStringList{"friend2"} << "main1" << "main1";
        QTest::newRow("everybody") << "root" << false << "friend2" << QStringList{"friend1", "friend3"} << "root" << "root";
        QTest::newRow("reminder result") << "main2" << true << "friend2" << QStringList{"friend3"} << "before" << "";
    }
    // clang-format on
    void deletePerson() {
        QFETCH(QString, treeNode);
        QFETCH(bool, reminder);
        QFETCH(QString, deleted);
        QFETCH(QStringList, rowsAfter);
        QFETCH(QString, groupAfter);
        QFETCH(QString, nodeAfter);
        Frm_main& w = fx->window();
        QAbstractItemModelTester treeTester(w.treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester listTester(w.listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        clickNode(w, treeNode);
        fx->state.CurrentGroup = QStringLiteral("before");
        if (reminder) {
            RunBirthdayReminder(w.view());
            QCOMPARE(listKeys(w), QStringList({li, wang}));
        }
        const QStringList nodesBefore = treeNodes(*w.treeModel());
        selectRow(w, deleted);
        Lv_dele(w.view());

        QCOMPARE(fx->count("select count(*) from phone"), 2);
        QCOMPARE(fx->state.Conn->loadContact(deleted).has_value(), false);
        QCOMPARE(listKeys(w), rowsAfter);
        QCOMPARE(fx->state.CurrentGroup, groupAfter);
        QCOMPARE(currentNodeKey(w), nodeAfter);
        // Only the one node went; the rest of the tree, open groups included, stays.
        QStringList nodesAfter = nodesBefore;
        nodesAfter.removeIf([&](const QString& node) { return node.startsWith(deleted + QLatin1Char('=')); });
        QCOMPARE(treeNodes(*w.treeModel()), nodesAfter);
        QVERIFY(!w.treeModel()->indexForKey(deleted).isValid());
        QVERIFY(w.TV()->isExpanded(w.treeModel()->rootIndex()));
        QVERIFY(fx->dialogs.messages.size() == (reminder ? 1 : 0)); // the reminder's own count
    }

    void deleteTheLastOfTwoThenAnother() {
        // Rows below a removed node move up; looking nodes up by key still finds them.
        const QString third = fx->addContact(classmates, QStringLiteral("赵六"));
        Frm_main& w = fx->window();
        QAbstractItemModelTester tester(w.treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        w.TV()->expand(w.treeModel()->indexForKey(classmates));
        for (const QString& key : {zhang, third}) {
            selectRow(w, key);
            Lv_dele(w.view());
        }
        QCOMPARE(treeNodes(*w.treeModel()),
                 QStringList({"root=所有人", "main1=同学", "friend2=李四", "main2=朋友", "friend3=王五"}));
        QCOMPARE(w.treeModel()->indexForKey(li).row(), 0);
        QCOMPARE(w.treeModel()->contactCount(), 2);
        QCOMPARE(listKeys(w), QStringList({li, wang}));
    }

    // Renaming in place: the name is stored as typed, the tree shows it and keeps its node.
    // clang-format off
    void renameInPlace_data() {
        QTest::addColumn<QString>("treeNode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("abandoned");
        QTest::newRow("new name, tree on the group") << "main1" << "张三丰" << false;
        QTest::newRow("new name, tree on the person") << "friend1" << "张三丰" << false;
        QTest::newRow("blanks kept") << "main1" << " 张 " << false;
        QTest::newRow("empty") << "main1" << "" << false;
        QTest::newRow("abandoned with Esc") << "main1" << "不算" << true;
    }
    // clang-format on
    void renameInPlace() {
        QFETCH(QString, treeNode);
        QFETCH(QString, typed);
        QFETCH(bool, abandoned);
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        clickNode(w, treeNode);
        selectRow(w, zhang);
        const QModelIndex row = w.listModel()->index(w.listModel()->rowOfKey(zhang), 0);
        // A click on the selected name starts the rename once no second click has followed.
        QTest::mouseClick(w.LV()->viewport(), Qt::LeftButton, {}, rowRect(w, zhang).center());
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = w.LV()->viewport()->findChild<QLineEdit*>()));
        QCOMPARE(editor->text(), QStringLiteral("张三"));
        editor->setText(typed);
        const QPointer<QLineEdit> open = editor;
        QTest::keyClick(editor, abandoned ? Qt::Key_Escape : Qt::Key_Return);
        QTRY_VERIFY(!open); // the editor closed
        QCoreApplication::processEvents(); // the name is stored once the editor has closed

        const QString name = abandoned ? QStringLiteral("张三") : typed;
        QCOMPARE(fx->state.Conn->loadContact(zhang)->name, name);
        QCOMPARE(listNames(w).at(row.row()), name);
        QVERIFY(treeNodes(*w.treeModel()).contains(zhang + QLatin1Char('=') + name));
        QCOMPARE(currentNodeKey(w), treeNode);
        QCOMPARE(fx->state.Conn->loadContact(zhang)->mobile, QStringLiteral("139"));
        QCOMPARE(fx->count("select count(*) from phone"), 3);
        QVERIFY(fx->dialogs.messages.isEmpty());
    }

    // A data file that refuses writes: the user is told, and neither the tree nor the list shows
    // what the file does not hold.
    // clang-format off
    void writesThatFail_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("treeNode");
        QTest::addColumn<QString>("message");
        QTest::newRow("delete, tree on the person") << "delete" << "friend1" << "不能删除 '张三': ";
        QTest::newRow("delete, tree on the group") << "delete" << "main1" << "不能删除 '张三': ";
        QTest::newRow("rename") << "rename" << "main1" << "不能修改姓名: ";
    }
    // clang-format on
    void writesThatFail() {
        QFETCH(QString, operation);
        QFETCH(QString, treeNode);
        QFETCH(QString, message);
        Frm_main& w = fx->window();
        clickNode(w, treeNode);
        selectRow(w, zhang);
        fx->state.Conn = Store::open(fx->paths.data, OpenOptions{nullptr, true});
        fx->state.CurrentGroup = QStringLiteral("before");
        const QStringList rows = listKeys(w), names = listNames(w), nodes = treeNodes(*w.treeModel());
        if (operation == QStringLiteral("delete"))
            Lv_dele(w.view());
        else
            LV_AfterLabelEdit(w.view(), zhang, QStringLiteral("改不了"));
        QCOMPARE(fx->dialogs.messages.size(), 1);
        QVERIFY2(fx->dialogs.last().text.startsWith(message), qPrintable(fx->dialogs.last().text));
        QCOMPARE(fx->dialogs.last().icon, MsgIcon::Warning);
        QCOMPARE(listKeys(w), rows);
        QCOMPARE(listNames(w), names);
        QCOMPARE(treeNodes(*w.treeModel()), nodes);
        QCOMPARE(currentNodeKey(w), treeNode);
        QCOMPARE(selectedRowKey(w.view()), zhang);
        QCOMPARE(fx->state.CurrentGroup, QStringLiteral("before"));
        QCOMPARE(fx->count("select count(*) from phone where 姓名 = '张三'"), 1);
    }

    // A record form for a new person left open keeps EditFlag true; deleting from a person's node
    // must still list that person's group, not nobody.
    void deleteWhileAFormForANewPersonIsOpen() {
        Frm_main& w = fx->window();
        openNewContactForm(w.view(), false);
        QCOMPARE(fx->state.EditFlag, true);
        clickNode(w, li);
        selectRow(w, li);
        Lv_dele(w.view());
        QCOMPARE(listKeys(w), QStringList{zhang});
        QCOMPARE(fx->state.CurrentGroup, classmates);
        QCOMPARE(fx->state.EditFlag, true);
    }
};

QTEST_MAIN(TestListOps)
#include "tst_listops.moc"
