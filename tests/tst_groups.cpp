// Group maintenance: adding groups, deleting tree nodes, renaming in the tree, and every refusal.
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "core/text/Keys.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"
#include "gui/app/Commands.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
QModelIndex node(Frm_main& w, const QString& key) {
    return w.treeModel()->indexForKey(key);
}
QString label(Frm_main& w, const QString& key) {
    return node(w, key).data().toString();
}
void select(Frm_main& w, const QString& key) {
    w.TV()->setCurrentIndex(node(w, key));
}

// 类型 of a group key, or 姓名 / mainid of a person key, as the data file holds it.
QString stored(Fixture& f, const QString& key, const char* column = "姓名") {
    const std::string sql = keys::isGroup(key) ? "select 类型 from 分类 where 分类 = ?"
                                               : std::string("select ") + column + " from phone where friendid = ?";
    SQLite::Statement statement(storeDb(f.open()), sql);
    statement.bind(1, key.toStdString());
    return statement.executeStep() ? QString::fromStdString(statement.getColumn(0).getString()) : QString();
}

// What the tree's delegate does when the user ends an in-place edit.
void editLabel(Frm_main& w, const QString& key, const QString& text) {
    w.treeModel()->setData(node(w, key), text, Qt::EditRole);
}
void addGroup(Frm_main& w, const QString& name) {
    w.state().NewGroupName = name;
    Addnewgroup(w.view());
}
} // namespace

class TestGroups : public QObject {
    Q_OBJECT

private slots:
    void addGroupTakesItsKeyFromItsId() {
        Fixture f;
        const QString kept = f.addGroup("同学");
        const QString member = f.addContact(kept, "张三");
        f.open().deleteGroup(f.addGroup("旧的")); // id 2 is used up for good
        Frm_main& w = f.window();
        select(w, member);
        const QStringList listBefore = listKeys(w);
        w.state().CurrentGroup = member;
        addGroup(w, "朋友");
        QCOMPARE(stored(f, "main3"), QString("朋友"));
        QCOMPARE(w.treeModel()->keyOf(node(w, "main3").parent()), keys::Root);
        QCOMPARE(label(w, "main3"), QString("朋友"));
        QCOMPARE(selectedNodeKey(w.view()), member); // the node selected before, not the new group
        QVERIFY(w.TV()->isExpanded(node(w, kept)));
        QCOMPARE(listKeys(w), listBefore);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void twoGroupsMayShareAName() {
        Fixture f;
        Frm_main& w = f.window();
        w.state().CurrentGroup = keys::Root;
        addGroup(w, "朋友");
        addGroup(w, "朋友");
        editLabel(w, "main2", "老朋友");
        QCOMPARE(stored(f, "main1") + stored(f, "main2"), QString("朋友老朋友"));
        QCOMPARE(label(w, "main1") + label(w, "main2"), QString("朋友老朋友"));
    }

    void groupNamesKeepThirtyCharacters_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("31 latin") << QString(31, 'a') << QString(30, 'a');
        QTest::newRow("20 chinese") << QString(20, QChar(0x540C)) << QString(20, QChar(0x540C));
        QTest::newRow("31 chinese") << QString(31, QChar(0x540C)) << QString(30, QChar(0x540C));
        const QString emoji = QStringLiteral("😀");
        QTest::newRow("35 emoji") << emoji.repeated(35) << emoji.repeated(30);
        QTest::newRow("emoji across the cut") << QString(29, 'b') + emoji + "x" << QString(29, 'b') + emoji;
    }
    void groupNamesKeepThirtyCharacters() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Fixture f;
        Frm_main& w = f.window();
        w.state().CurrentGroup = keys::Root;
        addGroup(w, typed);
        QCOMPARE(stored(f, "main1"), kept);
        addGroup(w, "占位");
        editLabel(w, "main2", typed); // a new label is held to the same limit
        QCOMPARE(stored(f, "main2"), kept);
        QCOMPARE(label(w, "main2"), kept);
    }

    void deleteQuestions_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Message>("expected");
        QTest::newRow("root") << "root" << msg::plain("您不能删除根目录,删除了你什么都没有了!");
        QTest::newRow("group") << "main4"
                               << msg::confirm(
                                      "您真的要删除用户组 '同学' 吗?\r删除分组同时也会删除该分组所包含的所有人员!"
                                      "如果不想删除里面的人员,请先更改他们的分组!!");
        QTest::newRow("contact") << "friend9" << msg::confirm("您真的要删除 '同学' 吗?");
    }
    void deleteQuestions() {
        QFETCH(QString, key);
        QFETCH(Message, expected);
        QCOMPARE(treeDeleteQuestion(key, "同学"), expected);
        QCOMPARE(expected.caption, QString(keys::isRoot(key) ? "" : "确认"));
        QCOMPARE(expected.defaultButton, keys::isRoot(key) ? MsgAnswer::Ok : MsgAnswer::No);
    }

    void deleteGroupTakesItsPeople() {
        Fixture f;
        const QString doomed = f.addGroup("同事");
        const QStringList members{f.addContact(doomed, "甲"), f.addContact(doomed, "乙"), f.addContact(doomed, "丙")};
        const QString survivor = f.addContact(f.addGroup("朋友"), "丁");
        Frm_main& w = f.window();
        select(w, doomed);
        w.LV()->setCurrentIndex(w.listModel()->index(0, 0));
        Tv_dele(w.view());
        QCOMPARE(f.count("select count(*) from 分类"), 1);
        QCOMPARE(f.count("select count(*) from phone"), 1);
        for (const QString& key : QStringList{doomed} + members)
            QVERIFY(!node(w, key).isValid());
        QCOMPARE(listKeys(w), QStringList{survivor});
        QVERIFY(!w.TV()->selectionModel()->hasSelection());
        QVERIFY(!w.LV()->selectionModel()->hasSelection());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void deleteContactFromTheTree() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString gone = f.addContact(group, "张三");
        const QString stays = f.addContact(group, "李四");
        f.addContact(f.addGroup("朋友"), "王五");
        Frm_main& w = f.window();
        select(w, gone);
        Tv_dele(w.view());
        QCOMPARE(f.count("select count(*) from phone"), 2);
        QVERIFY(!node(w, gone).isValid());
        QCOMPARE(w.state().CurrentGroup, group);
        QCOMPARE(selectedNodeKey(w.view()), group);
        QVERIFY(w.TV()->isExpanded(node(w, group)));
        QCOMPARE(listKeys(w), QStringList{stays});
    }

    void theTopNodeCanNeitherBeDeletedNorRenamed() {
        Fixture f;
        f.addContact(f.addGroup("同学"), "张三");
        Frm_main& w = f.window();
        select(w, keys::Root);
        Tv_dele(w.view());
        QCOMPARE(f.count("select count(*) from 分类") + f.count("select count(*) from phone"), 2);
        const QModelIndex root = w.treeModel()->rootIndex();
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        w.TV()->edit(root);
        QCOMPARE(w.TV()->findChild<QLineEdit*>(), nullptr);
        QSignalSpy edited(w.treeModel(), &GroupTreeModel::labelEdited);
        QVERIFY(!w.treeModel()->setData(root, "别的", Qt::EditRole));
        QCOMPARE(edited.count(), 0);
    }

    void renamingAGroupKeepsItsPeople() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString a = f.addContact(group, "张三");
        const QString b = f.addContact(group, "李四");
        Frm_main& w = f.window();
        const QStringList listBefore = listKeys(w);
        editLabel(w, group, "大学同学's");
        QCOMPARE(stored(f, group), QString("大学同学's"));
        QCOMPARE(label(w, group), QString("大学同学's"));
        QCOMPARE(stored(f, a, "mainid") + stored(f, b, "mainid"), group + group);
        QCOMPARE(listKeys(w), listBefore);
    }

    void renamingAPersonShowsJustThatPerson() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString renamed = f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        editLabel(w, renamed, "O'Neil 张");
        QCOMPARE(stored(f, renamed), QString("O'Neil 张"));
        QCOMPARE(stored(f, renamed, "mainid"), group);
        QCOMPARE(label(w, renamed), QString("O'Neil 张"));
        QCOMPARE(listKeys(w), QStringList{renamed});
        QCOMPARE(w.listModel()->index(0, 0).data().toString(), QString("O'Neil 张"));
    }

    // An empty label and a label the data file refuses both leave the stored name on the node.
    void refusedLabelsKeepTheStoredName_data() {
        QTest::addColumn<bool>("onGroup");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("text");
        QTest::newRow("group, empty") << true << false << "";
        QTest::newRow("person, empty") << false << false << "";
        QTest::newRow("group, read-only") << true << true << "新名字";
        QTest::newRow("person, read-only") << false << true << "新名字";
    }
    void refusedLabelsKeepTheStoredName() {
        QFETCH(bool, onGroup);
        QFETCH(bool, readOnly);
        QFETCH(QString, text);
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString person = f.addContact(group, "张三");
        Frm_main& w = f.window();
        const QStringList listBefore = listKeys(w);
        if (readOnly)
            f.state.Conn = Store::open(f.paths.data, OpenOptions{nullptr, true});
        const QString key = onGroup ? group : person;
        const QString before = label(w, key);
        editLabel(w, key, text);
        QCOMPARE(label(w, key), before);
        QCOMPARE(stored(f, key), before);
        QCOMPARE(listKeys(w), listBefore);
        QCOMPARE(f.dialogs.messages.size(), readOnly ? 1 : 0);
        if (readOnly) {
            QCOMPARE(f.dialogs.last().icon, MsgIcon::Warning);
            QVERIFY(f.dialogs.last().text.startsWith("新名称没有保存,仍用原来的名称。"));
        }
    }

    void refusedAddAndDeleteAreTold() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString person = f.addContact(group, "张三");
        Frm_main& w = f.window();
        f.state.Conn = Store::open(f.paths.data, OpenOptions{nullptr, true});
        w.state().CurrentGroup = keys::Root;
        addGroup(w, "朋友");
        select(w, person);
        Tv_dele(w.view());
        select(w, group);
        Tv_dele(w.view());
        QCOMPARE(f.dialogs.messages.size(), 3);
        for (const Message& m : f.dialogs.messages)
            QCOMPARE(m.icon, MsgIcon::Warning);
        QCOMPARE(f.count("select count(*) from 分类") + f.count("select count(*) from phone"), 2);
        QVERIFY(node(w, person).isValid());
    }

    // The whole road: the user types a new label into the tree's editor and presses Enter.
    void inPlaceEditInTheTree() {
        Fixture f;
        const QString group = f.addGroup("同学");
        Frm_main& w = f.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        select(w, group);
        w.TV()->edit(node(w, group));
        auto* editor = w.TV()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText("高中同学");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(stored(f, group), QString("高中同学"));
        QCOMPARE(label(w, group), QString("高中同学"));
    }
};

QTEST_MAIN(TestGroups)
#include "tst_groups.moc"
