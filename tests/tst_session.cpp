// The directory's rules on the session alone, without a window: what each command writes, which
// node and row it says to select, which rows the list gets, which message, and which change it
// announces.
#include "core/rules/DirectorySession.h"
#include "core/rules/GroupMove.h"
#include "core/rules/ListCaption.h"
#include "core/store/Store.h"
#include "support/SessionFixture.h"
#include "support/StoreProbe.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList keysOf(const std::optional<RowTable>& rows) {
    QStringList keys;
    if (rows) {
        for (int row = 0; row < rows->rowCount(); ++row)
            keys << rows->key(row);
    }
    return keys;
}

} // namespace

// Two groups: 同学 (张三, 李四) and 朋友 (王五, birthday in two days).
class TestSession : public QObject, private SessionFixture {
    Q_OBJECT

    QString name(const QString& key) {
        const std::optional<ContactFields> stored = session->Conn->loadContact(key);
        return stored ? stored->name : QStringLiteral("<gone>");
    }

private slots:
    void init() { setUp({}, QDate(1990, 3, 12)); }
    void cleanup() { tearDown(); }

    // A save: the tree is rebuilt with CurrentGroup's node selected, then the list follows what it
    // showed (a query runs again; "root" lists everybody; a group lists it, the saved row selected).
    void saveRefreshes_data() {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("node"); // the tree's node when the form opened: root, group, person
        QTest::addColumn<bool>("query");
        QTest::addColumn<QString>("selectNode");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("picture");
        QTest::addColumn<bool>("selectsSaved");
        QTest::newRow("add, tree on root") << true << "root" << false << "new" << "classmates+new" << 3 << true;
        QTest::newRow("add, tree on group") << true << "friends" << false << "new" << "classmates+new" << 3 << true;
        QTest::newRow("add, list shows a search") << true << "friends" << true << "new" << "query" << 1 << false;
        QTest::newRow("update, tree on root") << false << "root" << false << "root" << "everybody" << 3 << false;
        QTest::newRow("update, tree on its group") << false << "classmates" << false << "classmates" << "classmates" << 3
                                                   << true;
        QTest::newRow("update, tree on the person") << false << "zhang" << false << "zhang" << "zhang" << 3 << false;
        QTest::newRow("update, list shows a search") << false << "classmates" << true << "classmates" << "query" << 1
                                                     << false;
    }
    void saveRefreshes() {
        QFETCH(bool, add);
        QFETCH(QString, node);
        QFETCH(bool, query);
        QFETCH(QString, selectNode);
        QFETCH(QString, rows);
        QFETCH(int, picture);
        QFETCH(bool, selectsSaved);
        const QHash<QString, QString> key{{"root", "root"}, {"classmates", classmates}, {"friends", friends},
                                          {"zhang", zhang}};
        if (query)
            session->ListSource = ListShows::result(Query{QStringLiteral("姓名 like ?"), {QStringLiteral("%三%")}});
        std::optional<QString> saved;
        if (add) {
            session->CurrentGroup = key[node];
        } else {
            QVERIFY(session->openContact(zhang, key[node]).fields);
            saved = zhang;
        }
        QSignalSpy added(session.get(), &DirectorySession::contactsAdded);
        QSignalSpy changed(session.get(), &DirectorySession::contactsChanged);
        const CommandResult result = session->saveContact(saved, person(classmates, QStringLiteral("张三丰")));
        QVERIFY(result.ok);
        const QString savedKey = add ? QStringLiteral("friend4") : zhang;
        QCOMPARE(session->CurrentContactId, savedKey);
        QCOMPARE(added.size() + changed.size(), 1);
        QCOMPARE((add ? added : changed).first().first().toStringList(), QStringList{savedKey});
        QVERIFY(result.rebuildTree);
        QCOMPARE(result.selectNode, selectNode == "new" ? savedKey : key[selectNode]);
        QStringList expected;
        if (rows == "classmates+new")
            expected = {zhang, li, savedKey};
        else if (rows == "query")
            expected = add ? QStringList{zhang, savedKey} : QStringList{zhang};
        else if (rows == "everybody")
            expected = {zhang, li, wang};
        else if (rows == "classmates")
            expected = {zhang, li};
        else
            expected = {zhang};
        QCOMPARE(keysOf(result.rows), expected);
        QCOMPARE(result.picture, picture);
        QCOMPARE(result.selectRow, selectsSaved ? savedKey : QString());
        QCOMPARE(result.focusList, selectsSaved);
        if (add && !query)
            QCOMPARE(session->CurrentGroup, classmates); // the new person's group, which the list shows
    }

    // The list's delete: the row goes; when the tree showed the person, the group is listed again.
    void deleteFromTheList_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("query");
        QTest::addColumn<bool>("refill");
        QTest::addColumn<QString>("currentGroup");
        QTest::newRow("tree on the group") << "classmates" << false << false << "classmates";
        QTest::newRow("tree on the person") << "zhang" << false << true << "classmates";
        QTest::newRow("list shows a search") << "friends" << true << false << "before";
    }
    void deleteFromTheList() {
        QFETCH(QString, node);
        QFETCH(bool, query);
        QFETCH(bool, refill);
        QFETCH(QString, currentGroup);
        const QHash<QString, QString> key{{"classmates", classmates}, {"friends", friends}, {"zhang", zhang},
                                          {"before", "before"}};
        session->CurrentGroup = QStringLiteral("before");
        session->CurrentContactId = li;
        if (query)
            session->ListSource = ListShows::result(Query{QStringLiteral("1 = 1"), {}});
        QSignalSpy removed(session.get(), &DirectorySession::contactsRemoved);
        const CommandResult result = session->deleteListRow(zhang, QStringLiteral("张三"), key[node]);
        QCOMPARE(name(zhang), QStringLiteral("<gone>"));
        QCOMPARE(removed.size(), 1);
        QCOMPARE(result.removeNode, zhang);
        QVERIFY(!result.rebuildTree);
        QCOMPARE(session->CurrentGroup, key[currentGroup]);
        if (refill) {
            QCOMPARE(result.currentNode, classmates);
            QCOMPARE(keysOf(result.rows), QStringList{li});
            QCOMPARE(result.selectRow, li);
            QVERIFY(result.removeRow.isEmpty());
        } else {
            QVERIFY(!result.rows);
            QCOMPARE(result.removeRow, zhang);
        }
    }

    // The tree's delete: the top node never; a group with its people; a person, then its group.
    void deleteFromTheTree_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("left"); // the people left
        QTest::addColumn<QString>("selectNode");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("root") << "root" << QStringList{"张三", "李四", "王五"} << "" << QStringList{};
        QTest::newRow("group") << "classmates" << QStringList{"<gone>", "<gone>", "王五"} << ""
                               << QStringList{"friend3"};
        QTest::newRow("person") << "zhang" << QStringList{"<gone>", "李四", "王五"} << "classmates"
                                << QStringList{"friend2"};
    }
    void deleteFromTheTree() {
        QFETCH(QString, node);
        QFETCH(QStringList, left);
        QFETCH(QString, selectNode);
        QFETCH(QStringList, rows);
        const QHash<QString, QString> key{{"root", "root"}, {"classmates", classmates}, {"zhang", zhang}, {"", ""}};
        const CommandResult result = session->deleteNode(key[node]);
        QCOMPARE((QStringList{name(zhang), name(li), name(wang)}), left);
        QCOMPARE(result.rebuildTree, node != "root");
        QCOMPARE(result.selectNode, key[selectNode]);
        QCOMPARE(keysOf(result.rows), rows);
        QCOMPARE(session->CurrentGroup, node == "zhang" ? classmates : key[node]);
    }

    // A rename bound to a key that is gone renames nobody and announces nothing.
    void renamesOfSomebodyGone_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("list row") << "list";
        QTest::newRow("person node") << "person";
        QTest::newRow("group node") << "group";
    }
    void renamesOfSomebodyGone() {
        QFETCH(QString, command);
        session->Conn->deleteContact(zhang);
        session->Conn->deleteGroup(friends);
        QSignalSpy changed(session.get(), &DirectorySession::contactsChanged);
        QSignalSpy renamed(session.get(), &DirectorySession::groupsRenamed);
        const QString before = storeDb(*session->Conn).execAndGet("select group_concat(姓名) from phone").getString().c_str();
        CommandResult result;
        if (command == "list")
            result = session->renameListRow(zhang, QStringLiteral("新名"), classmates);
        else if (command == "person")
            result = session->renameNode(zhang, QStringLiteral("新名"));
        else
            result = session->renameNode(friends, QStringLiteral("新名"));
        QVERIFY(result.ok);
        QVERIFY(!result.rebuildTree && !result.rows && result.renameRow.isEmpty() && result.labelKey.isEmpty());
        QVERIFY(!result.notice);
        QCOMPARE(changed.size() + renamed.size(), 0);
        QCOMPARE(QString(storeDb(*session->Conn).execAndGet("select group_concat(姓名) from phone").getString().c_str()),
                 before);
        QCOMPARE(storeDb(*session->Conn).execAndGet("select count(*) from 分类 where 类型 = '新名'").getInt(), 0);
    }

    void renameInTheList() {
        QSignalSpy changed(session.get(), &DirectorySession::contactsChanged);
        const CommandResult result = session->renameListRow(li, QStringLiteral("李四四"), classmates);
        QCOMPARE(name(li), QStringLiteral("李四四"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(result.renameRow, li);
        QCOMPARE(result.rowName, QStringLiteral("李四四"));
        QVERIFY(result.rebuildTree);
        QCOMPARE(result.selectNode, classmates);
        QVERIFY(!result.rows); // the list keeps its rows
    }

    void addGroup_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("31 characters") << QString(31, 'a') << QString(30, 'a');
        QTest::newRow("20 chinese") << QString(20, QChar(0x540C)) << QString(20, QChar(0x540C));
    }
    void addGroup() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QSignalSpy added(session.get(), &DirectorySession::groupsAdded);
        const CommandResult result = session->addGroup(typed, zhang);
        QCOMPARE(added.size(), stored.isEmpty() ? 0 : 1);
        QCOMPARE(result.rebuildTree, !stored.isEmpty());
        if (stored.isEmpty())
            return;
        QCOMPARE(session->Conn->groups().back().name, stored);
        QCOMPARE(result.selectNode, zhang); // the node that was selected stays selected
        QVERIFY(!result.rows);
    }

    void search_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("ok");
        QTest::newRow("no box filled") << "" << QStringList{} << "你没有输入查询条件!" << false;
        QTest::newRow("nobody") << "姓名 like '%赵%'" << QStringList{} << "按您的条件没有查到数据！" << true;
        QTest::newRow("two") << "mainid = 'main1'" << QStringList{"friend1", "friend2"} << "" << true;
    }
    void search() {
        QFETCH(QString, where);
        QFETCH(QStringList, rows);
        QFETCH(QString, notice);
        QFETCH(bool, ok);
        const CommandResult result = session->search(Query{where, {}});
        QCOMPARE(result.ok, ok);
        QCOMPARE(keysOf(result.rows), rows);
        QCOMPARE(result.notice ? result.notice->text : QString(), notice);
        QCOMPARE(session->ListSource.isQuery(), !where.isEmpty());
    }

    // The reminder's list and message: from the toolbar, or at start (where finding nobody in a
    // window of several days says nothing and the list of everybody stays).
    void reminder_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("startup");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<int>("kind");
        const int plain = int(Notice::Kind::Plain), info = int(Notice::Kind::Info);
        QTest::newRow("none, 0, toolbar") << 0 << false << false << "今天没有过生的好友！" << plain;
        QTest::newRow("none, 0, start") << 0 << true << false << "今天没有过生的好友！" << plain;
        QTest::newRow("none, 10, toolbar") << 10 << false << false << "最近 10 天内没有过生的好友！" << plain;
        QTest::newRow("none, 10, start") << 10 << true << false << "" << -1;
        QTest::newRow("found, 0, toolbar") << 0 << false << true << "今天有 2 位过生日的好友" << info;
        QTest::newRow("found, 0, start") << 0 << true << true << "今天有 2 位过生日的好友" << info;
        QTest::newRow("found, 10, toolbar") << 10 << false << true << "最近 10 天有 2 位过生日的好友" << info;
        QTest::newRow("found, 10, start") << 10 << true << true << "最近 10 天有 2 位过生日的好友" << info;
    }
    void reminder() {
        QFETCH(int, days);
        QFETCH(bool, startup);
        QFETCH(bool, found);
        QFETCH(QString, notice);
        QFETCH(int, kind);
        session->Conn->deleteGroup(friends); // nobody in the window unless added below
        QStringList born;
        if (found) {
            // 乙, added first, has the later birthday when the window is wider than today: the list
            // is by the days until the birthday, one day's people in table order.
            const QString later = session->Conn->addContact(
                person(classmates, QStringLiteral("乙"), {}, QDate(1985, 3, days > 0 ? 12 : 10)));
            const QString sooner =
                session->Conn->addContact(person(classmates, QStringLiteral("甲"), {}, QDate(1980, 3, 10)));
            born = days > 0 ? QStringList{sooner, later} : QStringList{later, sooner};
        }
        session->RemindDays = days;
        CommandResult result;
        if (startup) {
            session->RemindAtStart = 1;
            result = session->start();
            QVERIFY(!session->StartupRemind);
        } else {
            result = session->birthdayReminder(false);
            QVERIFY(result.selectRootNode);
        }
        QVERIFY(session->ListSource.isQuery());
        QCOMPARE(result.notice ? result.notice->text : QString(), notice);
        QCOMPARE(result.notice ? int(result.notice->kind) : -1, kind);
        // The list is replaced only when somebody was found; at start it shows everybody else.
        if (found) {
            QCOMPARE(keysOf(result.rows), born);
            // each row's days left and the age turned, for the two columns beside the birthday
            QStringList countdown;
            for (const QString& key : born) {
                const BirthdayCountdown& c = result.reminder->at(key.toStdString());
                countdown << QStringLiteral("%1/%2").arg(c.daysLeft).arg(c.age.value_or(-1));
            }
            QCOMPARE(countdown, days > 0 ? QStringList({"0/45", "2/40"}) : QStringList({"0/40", "0/45"}));
        } else if (startup)
            QCOMPARE(keysOf(result.rows), (QStringList{zhang, li}));
        else
            QVERIFY(!result.rows);
    }

    // The line over the list names what the rows are, from what the session says it listed, and
    // counts them (the filter line's share beside the fill's).
    void listCaption_data() {
        QTest::addColumn<QString>("shows"); // node, search, reminder N
        QTest::addColumn<int>("fill");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("caption");
        QTest::newRow("everybody") << "node" << 1234 << 1234 << "所有人 · 1,234 人";
        QTest::newRow("millions") << "node" << 1234567 << 1234567 << "所有人 · 1,234,567 人";
        QTest::newRow("nobody") << "node" << 0 << 0 << "所有人 · 0 人";
        QTest::newRow("filtered") << "node" << 56 << 3 << "所有人 · 3 / 56 人";
        QTest::newRow("search") << "search" << 3 << 3 << "查询结果 · 3 人";
        QTest::newRow("reminder") << "reminder 10" << 2 << 2 << "最近 10 天过生日 · 2 人";
        QTest::newRow("reminder today") << "reminder 0" << 1 << 1 << "今天过生日 · 1 人";
        QTest::newRow("reminder filtered") << "reminder 30" << 1000 << 999 << "最近 30 天过生日 · 999 / 1,000 人";
    }
    void listCaption() {
        QFETCH(QString, shows);
        QFETCH(int, fill);
        QFETCH(int, shown);
        QFETCH(QString, caption);
        if (shows == QStringLiteral("reminder 0")) { // nobody today here: the statement alone
            session->Listed = ListShows::result(reminderQuery(QDate(1990, 3, 12), 0));
        } else if (shows.startsWith(QStringLiteral("reminder"))) {
            session->RemindDays = shows.section(QLatin1Char(' '), 1).toInt();
            session->birthdayReminder(false);
        } else if (shows == QStringLiteral("search")) {
            session->search(Query{QStringLiteral("mainid = 'main1'"), {}});
        } else {
            session->nodeClicked(QStringLiteral("root"));
        }
        QCOMPARE(::listCaption(session->Listed, QStringLiteral("所有人"), fill, shown), caption);
    }

    // The drop highlight and 移动到分组 offer a node only where the move changes something.
    void moveWouldChange_data() {
        QTest::addColumn<QStringList>("groups"); // where the people are now
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("changes");
        QTest::newRow("into another group") << QStringList{"main1"} << "main2" << true;
        QTest::newRow("into their own group") << QStringList{"main1"} << "main1" << false;
        QTest::newRow("some there already") << QStringList{"main1", "main2"} << "main2" << true;
        QTest::newRow("onto everybody") << QStringList{"main1"} << "root" << false;
        QTest::newRow("onto a person") << QStringList{"main1"} << "friend3" << false;
        QTest::newRow("nobody the tree knows") << QStringList{} << "main2" << false;
    }
    void moveWouldChange() {
        QFETCH(QStringList, groups);
        QFETCH(QString, target);
        QFETCH(bool, changes);
        QCOMPARE(::moveWouldChange(QSet<QString>(groups.begin(), groups.end()), target), changes);
    }

    // Several people into a group: one step of the history, one change each for the sync, one
    // notice; those already there are left untouched, and a group that is gone takes nobody.
    void moveSeveral_data() {
        QTest::addColumn<QStringList>("people"); // 张三 李四 (同学), 王五 (朋友)
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("moved");
        QTest::newRow("two into the other group") << QStringList{"zhang", "li"} << "friends" << QStringList{"zhang", "li"};
        QTest::newRow("one there already") << QStringList{"zhang", "wang"} << "friends" << QStringList{"zhang"};
        QTest::newRow("all there already") << QStringList{"zhang", "li"} << "classmates" << QStringList{};
        QTest::newRow("a group that is gone") << QStringList{"zhang", "wang"} << "gone" << QStringList{};
        QTest::newRow("one deleted meanwhile") << QStringList{"zhang", "nobody"} << "friends" << QStringList{"zhang"};
    }
    void moveSeveral() {
        QFETCH(QStringList, people);
        QFETCH(QString, target);
        QFETCH(QStringList, moved);
        const QHash<QString, QString> key{{"zhang", zhang}, {"li", li},         {"wang", wang},
                                          {"classmates", classmates}, {"friends", friends}, {"gone", "main99"},
                                          {"nobody", "friend99"}};
        const auto keysOfNames = [&](const QStringList& names) {
            QStringList keys;
            for (const QString& n : names)
                keys << key[n];
            return keys;
        };
        session->enableHistory();
        storeDb(*session->Conn).exec("delete from zinteva_sync_change");
        const auto groupsNow = [&] {
            QStringList groups;
            for (const QString& person : {zhang, li, wang})
                groups << session->Conn->loadContact(person)->groupKey;
            return groups;
        };
        const QStringList before = groupsNow();
        QSignalSpy changed(session.get(), &DirectorySession::contactsChanged);

        const CommandResult result = session->moveContacts(keysOfNames(people), key[target], QStringLiteral("root"));
        QVERIFY(result.ok);
        QVERIFY(!result.notice);
        QStringList expected = before;
        for (const QString& n : moved)
            expected[QStringList({"zhang", "li", "wang"}).indexOf(n)] = key[target];
        QCOMPARE(groupsNow(), expected);
        QStringList marked;
        SQLite::Statement marks(storeDb(*session->Conn), "select friendid from zinteva_sync_change order by friendid");
        while (marks.executeStep())
            marked << QString::fromStdString(marks.getColumn(0).getString());
        QStringList movedKeys = keysOfNames(moved);
        QCOMPARE(changed.size(), moved.isEmpty() ? 0 : 1);
        if (!moved.isEmpty())
            QCOMPARE(changed.front().front().toStringList(), movedKeys);
        movedKeys.sort();
        QCOMPARE(marked, movedKeys);
        // the window refreshes once: the tree rebuilt, the list refilled (everybody)
        QCOMPARE(result.rebuildTree, !moved.isEmpty());
        QCOMPARE(keysOf(result.rows).size(), moved.isEmpty() ? 0 : 3);
        QCOMPARE(session->canUndo(), !moved.isEmpty());
        if (moved.isEmpty())
            return;
        session->undo();
        QCOMPARE(groupsNow(), before);
        QVERIFY(!session->canUndo()); // one step
        session->redo();
        QCOMPARE(groupsNow(), expected);
    }

    // Several rows deleted at once: one step, undone as one.
    void deleteSeveral() {
        session->enableHistory();
        QSignalSpy removed(session.get(), &DirectorySession::contactsRemoved);
        const CommandResult result = session->deleteListRows({zhang, wang}, QStringLiteral("root"));
        QVERIFY(result.ok);
        QCOMPARE(session->Conn->contactCount(), 1);
        QCOMPARE(keysOf(result.rows), QStringList{li});
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.front().front().toStringList(), QStringList({zhang, wang}));
        session->undo();
        QVERIFY(!session->canUndo());
        QCOMPARE(session->Conn->contactCount(), 3);
        QCOMPARE(name(wang), QStringLiteral("王五"));
    }

    // A failed write says which kind of failure it was and changes nothing else.
    void aRefusedSaveSaysWhy() {
        session->Conn = Store::open(dir.filePath(QStringLiteral("tavrel.mdb")), OpenOptions{nullptr, true});
        session->CurrentGroup = classmates;
        const CommandResult result = session->saveContact(std::nullopt, person(classmates, QStringLiteral("新人")));
        QVERIFY(!result.ok);
        QVERIFY(!result.rebuildTree && !result.rows);
        QVERIFY(result.notice);
        QVERIFY2(result.notice->text.startsWith(QStringLiteral("资料没有保存: 数据文件是只读的")),
                 qPrintable(result.notice->text));
        QCOMPARE(session->CurrentGroup, classmates);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
