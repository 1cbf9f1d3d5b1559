#include "app/MainWindow.h"
#include "list/ContactList.h"
#include "list/ContactListModel.h"
#include "shared/Keys.h"
#include "store/Store.h"
#include "support/Fixture.h"
#include "tree/GroupOps.h"
#include "tree/GroupTree.h"
#include "tree/GroupTreeModel.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

QStringList listKeys(Frm_main& w) {
    QStringList keys;
    for (int row = 0; row < w.listModel()->rowCount(); ++row)
        keys << w.listModel()->keyAt(row);
    return keys;
}

QString label(Frm_main& w, const QString& key) {
    return w.treeModel()->indexForKey(key).data(Qt::DisplayRole).toString();
}

void select(Frm_main& w, const QString& key) {
    w.TV()->setCurrentIndex(w.treeModel()->indexForKey(key));
}

QString storedText(Fixture& f, const char* sql, const QString& key) {
    SQLite::Statement statement(f.open().database(), sql);
    statement.bind(1, key.toStdString());
    return statement.executeStep() ? QString::fromStdString(statement.getColumn(0).getString()) : QString();
}
QString groupName(Fixture& f, const QString& key) {
    return storedText(f, "select 类型 from 分类 where 分类 = ?", key);
}
QString contactName(Fixture& f, const QString& key) {
    return storedText(f, "select 姓名 from phone where friendid = ?", key);
}
QString contactGroup(Fixture& f, const QString& key) {
    return storedText(f, "select mainid from phone where friendid = ?", key);
}

// The edit the tree's delegate makes when the user ends an in-place edit.
void editLabel(Frm_main& w, const QString& key, const QString& text) {
    w.treeModel()->setData(w.treeModel()->indexForKey(key), text, Qt::EditRole);
}

// From here on the data file refuses every write.
void reopenReadOnly(Fixture& f) {
    f.state.Conn = Store::open(f.paths.data, OpenOptions{nullptr, true});
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
        w.state().NewGroupName = "朋友";
        Addnewgroup(w.view());

        QCOMPARE(groupName(f, "main3"), QString("朋友"));
        const QModelIndex node = w.treeModel()->indexForKey("main3");
        QVERIFY(node.isValid());
        QCOMPARE(w.treeModel()->keyOf(node.parent()), keys::Root);
        QCOMPARE(node.data(Qt::DisplayRole).toString(), QString("朋友"));
        QCOMPARE(selectedNodeKey(w.view()), member); // the node selected before, not the new group
        QVERIFY(w.TV()->isExpanded(w.treeModel()->indexForKey(kept)));
        QCOMPARE(listKeys(w), listBefore);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void twoGroupsMayShareAName() {
        Fixture f;
        Frm_main& w = f.window();
        w.state().CurrentGroup = keys::Root;
        w.state().NewGroupName = "朋友";
        Addnewgroup(w.view());
        Addnewgroup(w.view());
        QCOMPARE(f.count("select count(*) from 分类 where 类型 = '朋友'"), 2);
        editLabel(w, "main2", "老朋友");
        QCOMPARE(groupName(f, "main1"), QString("朋友"));
        QCOMPARE(groupName(f, "main2"), QString("老朋友"));
        QCOMPARE(label(w, "main1"), QString("朋友"));
        QCOMPARE(label(w, "main2"), QString("老朋友"));
    }

    void groupNamesKeepThirtyCharacters_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const QString latin31 = QString(31, QLatin1Char('a'));
        QTest::newRow("31 latin") << latin31 << latin31.left(30);
        const QString chinese20 = QString(20, QChar(0x540C));
        QTest::newRow("20 chinese") << chinese20 << chinese20;
        const QString chinese30 = QString(30, QChar(0x540C));
        QTest::newRow("31 chinese") << chinese30 + "学" << chinese30;
        QString emoji35, emoji30;
        for (int i = 0; i < 35; ++i)
            emoji35 += QStringLiteral("😀");
        emoji30 = emoji35.left(60);
        QTest::newRow("35 emoji: whole characters") << emoji35 << emoji30;
        QTest::newRow("emoji across the cut")
            << QString(29, QLatin1Char('b')) + "😀x" << QString(29, QLatin1Char('b')) + "😀";
    }
    void groupNamesKeepThirtyCharacters() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        Fixture f;
        Frm_main& w = f.window();
        w.state().CurrentGroup = keys::Root;
        w.state().NewGroupName = typed;
        Addnewgroup(w.view());
        QCOMPARE(groupName(f, "main1"), stored);
        // A new label is held to the same limit.
        w.state().NewGroupName = "占位";
        Addnewgroup(w.view());
        editLabel(w, "main2", typed);
        QCOMPARE(groupName(f, "main2"), stored);
        QCOMPARE(label(w, "main2"), stored);
    }

    void deleteQuestions_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("asks");
        QTest::newRow("root") << "root"
                              << "您不能删除根目录,删除了你什么都没有了!"
                              << "" << false;
        QTest::newRow("group") << "main4"
                               << "您真的要删除用户组 '同学' 吗?\r删除分组同时也会删除该分组所包含的所有人员!"
                                  "如果不想删除里面的人员,请先更改他们的分组!!"
                               << "确认" << true;
        QTest::newRow("contact") << "friend9"
                                 << "您真的要删除 '同学' 吗?"
                                 << "确认" << true;
    }
    void deleteQuestions() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(bool, asks);
        const Message m = treeDeleteQuestion(key, "同学");
        QCOMPARE(m.text, text);
        QCOMPARE(m.caption, caption);
        QCOMPARE(m.icon, MsgIcon::None);
        QCOMPARE(m.buttons, asks ? MsgButtons::YesNo : MsgButtons::Ok);
        QCOMPARE(m.defaultButton, asks ? MsgAnswer::No : MsgAnswer::Ok);
    }

    void deleteGroupTakesItsPeople() {
        Fixture f;
        const QString doomed = f.addGroup("同事");
        const QStringList members{f.addContact(doomed, "甲"), f.addContact(doomed, "乙"), f.addContact(doomed, "丙")};
        const QString other = f.addGroup("朋友");
        const QString survivor = f.addContact(other, "丁");
        Frm_main& w = f.window();
        select(w, doomed);
        w.LV()->setCurrentIndex(w.listModel()->index(0, 0));
        Tv_dele(w.view());

        QCOMPARE(f.count("select count(*) from 分类"), 1);
        QCOMPARE(f.count("select count(*) from phone"), 1);
        QVERIFY(!w.treeModel()->indexForKey(doomed).isValid());
        for (const QString& key : members)
            QVERIFY(!w.treeModel()->indexForKey(key).isValid());
        QCOMPARE(listKeys(w), QStringList{survivor});
        QVERIFY(!w.TV()->selectionModel()->hasSelection());
        QVERIFY(!w.LV()->selectionModel()->hasSelection());
        QCOMPARE(w.state().CurrentGroup, doomed);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void deleteContactFromTheTree() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString gone = f.addContact(group, "张三");
        const QString stays = f.addContact(group, "李四");
        const QString elsewhere = f.addContact(f.addGroup("朋友"), "王五");
        Frm_main& w = f.window();
        select(w, gone);
        Tv_dele(w.view());

        QCOMPARE(contactName(f, gone), QString());
        QCOMPARE(f.count("select count(*) from phone"), 2);
        QVERIFY(!w.treeModel()->indexForKey(gone).isValid());
        QCOMPARE(w.state().CurrentGroup, group);
        QCOMPARE(selectedNodeKey(w.view()), group);
        QVERIFY(w.TV()->isExpanded(w.treeModel()->indexForKey(group)));
        QCOMPARE(listKeys(w), QStringList{stays});
        QVERIFY(w.treeModel()->indexForKey(elsewhere).isValid());
    }

    void theTopNodeCanNeitherBeDeletedNorRenamed() {
        Fixture f;
        const QString group = f.addGroup("同学");
        f.addContact(group, "张三");
        Frm_main& w = f.window();
        select(w, keys::Root);
        Tv_dele(w.view());
        QCOMPARE(f.count("select count(*) from 分类"), 1);
        QCOMPARE(f.count("select count(*) from phone"), 1);

        const QModelIndex root = w.treeModel()->rootIndex();
        QVERIFY(!(w.treeModel()->flags(root) & Qt::ItemIsEditable));
        QVERIFY(w.treeModel()->flags(w.treeModel()->indexForKey(group)) & Qt::ItemIsEditable);
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        w.TV()->edit(root);
        QCOMPARE(w.TV()->findChild<QLineEdit*>(), nullptr);
        QSignalSpy edited(w.treeModel(), &GroupTreeModel::labelEdited);
        QVERIFY(!w.treeModel()->setData(root, "别的", Qt::EditRole));
        QCOMPARE(edited.count(), 0);
        QCOMPARE(root.data(Qt::DisplayRole).toString(), QString("所有人"));
    }

    void renamingAGroupKeepsItsPeople() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString a = f.addContact(group, "张三");
        const QString b = f.addContact(group, "李四");
        Frm_main& w = f.window();
        const QStringList listBefore = listKeys(w);
        editLabel(w, group, "大学同学's");
        QCOMPARE(groupName(f, group), QString("大学同学's"));
        QCOMPARE(label(w, group), QString("大学同学's"));
        QCOMPARE(contactGroup(f, a), group);
        QCOMPARE(contactGroup(f, b), group);
        QCOMPARE(listKeys(w), listBefore);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void renamingAPersonShowsJustThatPerson() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString renamed = f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        QCOMPARE(w.listModel()->rowCount(), 2);
        editLabel(w, renamed, "O'Neil 张");
        QCOMPARE(contactName(f, renamed), QString("O'Neil 张"));
        QCOMPARE(contactGroup(f, renamed), group);
        QCOMPARE(label(w, renamed), QString("O'Neil 张"));
        QCOMPARE(listKeys(w), QStringList{renamed});
        QCOMPARE(w.listModel()->data(w.listModel()->index(0, 0), Qt::DisplayRole).toString(), QString("O'Neil 张"));
    }

    void anEmptyLabelKeepsTheName_data() {
        QTest::addColumn<bool>("onGroup");
        QTest::newRow("group") << true;
        QTest::newRow("person") << false;
    }
    void anEmptyLabelKeepsTheName() {
        QFETCH(bool, onGroup);
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString person = f.addContact(group, "张三");
        Frm_main& w = f.window();
        const QString key = onGroup ? group : person;
        const QString before = label(w, key);
        editLabel(w, key, "");
        QCOMPARE(label(w, key), before);
        QCOMPARE(onGroup ? groupName(f, key) : contactName(f, key), before);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void aRefusedRenameShowsTheStoredName_data() {
        QTest::addColumn<bool>("onGroup");
        QTest::newRow("group") << true;
        QTest::newRow("person") << false;
    }
    void aRefusedRenameShowsTheStoredName() {
        QFETCH(bool, onGroup);
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString person = f.addContact(group, "张三");
        Frm_main& w = f.window();
        const QStringList listBefore = listKeys(w);
        reopenReadOnly(f);
        const QString key = onGroup ? group : person;
        const QString before = label(w, key);
        editLabel(w, key, "新名字");
        QCOMPARE(label(w, key), before);
        QCOMPARE(onGroup ? groupName(f, key) : contactName(f, key), before);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.last().icon, MsgIcon::Warning);
        QVERIFY(f.dialogs.last().text.startsWith(QStringLiteral("新名称没有保存")));
        QCOMPARE(listKeys(w), listBefore);
    }

    void refusedAddAndDeleteAreTold() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString person = f.addContact(group, "张三");
        Frm_main& w = f.window();
        reopenReadOnly(f);
        w.state().CurrentGroup = keys::Root;
        w.state().NewGroupName = "朋友";
        Addnewgroup(w.view());
        select(w, person);
        Tv_dele(w.view());
        select(w, group);
        Tv_dele(w.view());
        QCOMPARE(f.dialogs.messages.size(), 3);
        for (const Message& m : f.dialogs.messages)
            QCOMPARE(m.icon, MsgIcon::Warning);
        QCOMPARE(f.count("select count(*) from 分类"), 1);
        QCOMPARE(f.count("select count(*) from phone"), 1);
        QVERIFY(w.treeModel()->indexForKey(person).isValid());
    }

    // The whole road: the user types a new label in the tree's editor and presses Enter.
    void inPlaceEditInTheTree() {
        Fixture f;
        const QString group = f.addGroup("同学");
        Frm_main& w = f.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QModelIndex node = w.treeModel()->indexForKey(group);
        w.TV()->setCurrentIndex(node);
        w.TV()->edit(node);
        auto* editor = w.TV()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText("高中同学");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(groupName(f, group), QString("高中同学"));
        QCOMPARE(label(w, group), QString("高中同学"));
    }
};

QTEST_MAIN(TestGroups)
#include "tst_groups.moc"
