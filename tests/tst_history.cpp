// Undo, redo and the recently deleted people, on the session alone: every command's change comes
// back out of the data file in one step and goes in again, with the selection it had; deleted people
// are kept 30 days and come back with their key and group.
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/rules/DirectorySession.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"
#include "support/StoreProbe.h"

#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

ContactFields person(const QString& group, const QString& name, const QString& mobile = {}) {
    ContactFields f;
    f.groupKey = group;
    f.name = name;
    f.mobile = mobile;
    return f;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    FixedClock clock{QDate(2025, 3, 10)};
    std::unique_ptr<DirectorySession> session;
    QString classmates, friends, zhang, li, wang;

    // The user's data as one text: groups, people and their pinyin keys (the counters of
    // AUTOINCREMENT are left out: a key once handed out stays used).
    QString contents() {
        SQLite::Database& db = storeDb(*session->Conn);
        QString text;
        for (const char* query : {"select * from 分类 order by id", "select * from phone order by id",
                                  "select * from pinyin order by 1", "select friendid, name from zinteva_deleted"}) {
            SQLite::Statement rows(db, query);
            while (rows.executeStep()) {
                for (int c = 0; c < rows.getColumnCount(); ++c)
                    text += QString::fromUtf8(rows.getColumn(c).getText()) + QLatin1Char('|');
                text += QLatin1Char('\n');
            }
            text += QStringLiteral("--\n");
        }
        return text;
    }

    int deletedCount() {
        SQLite::Statement count(storeDb(*session->Conn), "select count(*) from zinteva_deleted");
        count.executeStep();
        return count.getColumn(0).getInt();
    }

private slots:
    void init() {
        clock.set(QDate(2025, 3, 10));
        const QString path = dir.filePath(QStringLiteral("tavrel.mdb"));
        QFile::remove(path);
        Store::createEmpty(path);
        session = std::make_unique<DirectorySession>();
        session->env.clock = &clock;
        session->env.programDir = dir.path();
        session->Conn = Store::open(path);
        Store& store = *session->Conn;
        classmates = store.addGroup(QStringLiteral("同学"));
        friends = store.addGroup(QStringLiteral("朋友"));
        zhang = store.addContact(person(classmates, QStringLiteral("张三"), QStringLiteral("13800000001")));
        li = store.addContact(person(classmates, QStringLiteral("李四")));
        wang = store.addContact(person(friends, QStringLiteral("王五")));
        session->enableHistory();
    }
    void cleanup() { session.reset(); }

    void undoAndRedoEveryCommand_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("onPerson"); // the command made the person's node current before writing
        QTest::newRow("add a person") << "add" << false;
        QTest::newRow("edit a person") << "edit" << false;
        QTest::newRow("rename in the list") << "renameRow" << false;
        QTest::newRow("rename a person's node") << "renameNode" << false;
        QTest::newRow("rename a group") << "renameGroup" << false;
        QTest::newRow("delete a row") << "deleteRow" << false;
        QTest::newRow("delete a person's node") << "deletePerson" << true;
        QTest::newRow("delete a group with its people") << "deleteGroup" << false;
        QTest::newRow("add a group") << "addGroup" << false;
        QTest::newRow("import") << "import" << false;
    }
    void undoAndRedoEveryCommand() {
        QFETCH(QString, command);
        QFETCH(bool, onPerson);
        const std::map<QString, std::function<CommandResult()>> commands = {
            {"add", [&] { return session->saveContact(std::nullopt, person(friends, QStringLiteral("赵六"))); }},
            {"edit", [&] { return session->saveContact(zhang, person(friends, QStringLiteral("张三丰"), "139")); }},
            {"renameRow", [&] { return session->renameListRow(li, QStringLiteral("李世民"), classmates); }},
            {"renameNode", [&] { return session->renameNode(wang, QStringLiteral("王老五")); }},
            {"renameGroup", [&] { return session->renameNode(classmates, QStringLiteral("老同学")); }},
            {"deleteRow", [&] { return session->deleteListRow(li, QStringLiteral("李四"), classmates); }},
            {"deletePerson", [&] { return session->deleteNode(wang); }},
            {"deleteGroup", [&] { return session->deleteNode(classmates); }},
            {"addGroup", [&] { return session->addGroup(QStringLiteral("家人"), classmates); }},
            {"import",
             [&] {
                 ImportSummary summary;
                 const ImportBatch batch =
                     VCardReader::read("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:孙七\r\nCATEGORIES:同事\r\nEND:VCARD\r\n"
                                       "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:周八\r\nEND:VCARD\r\n");
                 return session->importBatch(batch, {}, {}, &summary);
             }},
        };
        session->CurrentGroup = classmates;
        session->CurrentContactId = zhang;
        const QString before = contents();
        QVERIFY(!session->canUndo());

        QVERIFY(commands.at(command)().ok);
        const QString after = contents();
        QVERIFY2(after != before, "the command changed nothing");
        QVERIFY(session->canUndo());

        const CommandResult undone = session->undo();
        QVERIFY(undone.ok);
        QCOMPARE(contents(), before);
        QVERIFY(undone.rebuildTree);
        QCOMPARE(undone.selectNode, onPerson ? wang : classmates);
        QCOMPARE(undone.selectRow, zhang);
        QVERIFY(!session->canUndo());
        QVERIFY(session->canRedo());

        QVERIFY(session->redo().ok);
        QCOMPARE(contents(), after);
        QVERIFY(session->undo().ok);
        QCOMPARE(contents(), before);
    }

    // Several steps back, in order; a new change ends what could be redone; the reminder's own
    // writes between commands are no step of their own.
    void manyStepsAndANewChange() {
        const QString start = contents();
        session->renameListRow(zhang, QStringLiteral("一"), classmates);
        session->birthdayReminder(false);
        const QString one = contents();
        session->renameListRow(zhang, QStringLiteral("二"), classmates);
        session->deleteNode(classmates);
        QVERIFY(session->undo().ok);
        QVERIFY(session->undo().ok);
        QCOMPARE(contents(), one);
        session->addGroup(QStringLiteral("新"), QStringLiteral("root"));
        QVERIFY(!session->canRedo());
        QVERIFY(session->undo().ok);
        QVERIFY(session->undo().ok);
        QCOMPARE(contents(), start);
        QVERIFY(!session->canUndo());
    }

    // A group deleted with its people: one undo gives back every person, key and photo path.
    void deletedGroupComesBackWhole() {
        ContactFields withPhoto = person(classmates, QStringLiteral("钱九"));
        withPhoto.photo = QStringLiteral("photos/abc.jpg");
        const QString qian = session->Conn->addContact(withPhoto);
        const QString before = contents();
        session->deleteNode(classmates);
        QCOMPARE(deletedCount(), 3);
        session->undo();
        QCOMPARE(contents(), before);
        QCOMPARE(session->Conn->loadContact(qian)->photo, QStringLiteral("photos/abc.jpg"));
        QCOMPARE(deletedCount(), 0);
    }

    void recentlyDeletedRestoreAndPurge_data() {
        QTest::addColumn<bool>("wholeGroup");
        QTest::newRow("a person") << false;
        QTest::newRow("a group with its people") << true;
    }
    void recentlyDeletedRestoreAndPurge() {
        QFETCH(bool, wholeGroup);
        const std::optional<ContactFields> stored = session->Conn->loadContact(zhang);
        if (wholeGroup)
            session->deleteNode(classmates);
        else
            session->deleteListRow(zhang, QStringLiteral("张三"), classmates);
        std::vector<DeletedContact> deleted = session->recentlyDeleted();
        QCOMPARE(deleted.size(), size_t(wholeGroup ? 2 : 1));
        const auto entry = std::find_if(deleted.begin(), deleted.end(), [&](auto& d) { return d.key == zhang; });
        QVERIFY(entry != deleted.end());
        QCOMPARE(entry->name, QStringLiteral("张三"));
        QCOMPARE(entry->groupName, QStringLiteral("同学"));
        QVERIFY2(entry->deleted.startsWith(QStringLiteral("2025-03-10 ")), qPrintable(entry->deleted));

        QVERIFY(session->restoreDeleted({entry->id}).ok);
        const std::optional<ContactFields> back = session->Conn->loadContact(zhang);
        QVERIFY(back);
        QCOMPARE(back->name, stored->name);
        QCOMPARE(back->mobile, stored->mobile);
        QCOMPARE(back->groupKey, classmates); // the group came back with its key and name
        QCOMPARE(session->Conn->groups().front().name, QStringLiteral("同学"));
        QCOMPARE(session->recentlyDeleted().size(), size_t(wholeGroup ? 1 : 0));
        // The restore is a step of its own.
        QVERIFY(session->undo().ok);
        QVERIFY(!session->Conn->loadContact(zhang));

        // 30 days later the entries are still there; 31 days later they are forgotten at start.
        for (const auto& [days, left] : {std::pair{30, true}, std::pair{31, false}}) {
            clock.set(QDate(2025, 3, 10).addDays(days));
            session->enableHistory();
            QCOMPARE(!session->recentlyDeleted().empty(), left);
        }
    }

    // A file that cannot be written has no history, and the commands still report their failure.
    void readOnlyFileHasNoHistory() {
        const QString path = dir.filePath(QStringLiteral("tavrel.mdb"));
        session->Conn.reset();
        OpenOptions options;
        options.readOnly = true;
        session->Conn = Store::open(path, options);
        session->enableHistory();
        QVERIFY(!session->saveContact(zhang, person(classmates, QStringLiteral("x"))).ok);
        QVERIFY(!session->canUndo());
        QVERIFY(session->recentlyDeleted().empty());
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
