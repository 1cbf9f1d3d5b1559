// Undo, redo and the recently deleted people, on the session alone: every command's change comes
// back out of the data file in one step and goes in again, with the selection it had; deleted people
// are kept 30 days and come back with their key and group.
#include "core/exchange/Importer.h"
#include "core/exchange/PhotoFolder.h"
#include "core/exchange/Csv.h"
#include "core/exchange/VCardReader.h"
#include "core/rules/DirectorySession.h"
#include "core/rules/Duplicates.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"
#include "support/SessionFixture.h"
#include "support/StoreProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/stat.h>

class TestHistory : public QObject, private SessionFixture {
    Q_OBJECT

    // The user's data as one text: groups, people and their pinyin keys (the counters of
    // AUTOINCREMENT are left out: a key once handed out stays used).
    QString contents() {
        SQLite::Database& db = storeDb(*session->Conn);
        QString text;
        for (const char* query : {"select * from 分类 order by id", "select * from phone order by id",
                                  "select * from pinyin order by 1", "select friendid, name from zinteva_deleted",
                                  "select * from zinteva_uid order by 1",
                                  "select friendid, field, value, line from zinteva_kept order by id"}) {
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
        setUp(QStringLiteral("13800000001"));
        session->enableHistory();
    }
    void cleanup() { tearDown(); }

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
        QCOMPARE(undone.currentNode, onPerson ? wang : classmates);
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
        // 张三's picture stays in photos/ while he is among the recently deleted, whatever the start's
        // tidying of unreferenced pictures finds.
        QDir(dir.path()).mkpath(QStringLiteral("photos"));
        const QString picture = dir.filePath(QStringLiteral("photos/0123456789abcdef0123.png"));
        QFile(picture).open(QIODevice::WriteOnly);
        ContactFields withPhoto = *session->Conn->loadContact(zhang);
        withPhoto.photo = picture;
        session->Conn->updateContact(zhang, withPhoto);
        const std::optional<ContactFields> stored = session->Conn->loadContact(zhang);
        const std::vector<KeptProperty> kept{{QString(), QStringLiteral("X-PHONETIC-LAST-NAME:zhang"), QString()}};
        session->Conn->keptTable().replace(zhang, kept);
        const QString uid = session->Conn->uids().uidOf(zhang, false);
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

        photofolder::tidy(*session->Conn, dir.filePath(QStringLiteral("tavrel.mdb")));
        QVERIFY(QFile::exists(picture));
        QVERIFY(session->restoreDeleted({entry->id}).ok);
        const std::optional<ContactFields> back = session->Conn->loadContact(zhang);
        QVERIFY(back);
        QCOMPARE(back->name, stored->name);
        QCOMPARE(back->mobile, stored->mobile);
        QCOMPARE(back->photo, picture);
        QCOMPARE(back->groupKey, classmates); // the group came back with its key and name
        QCOMPARE(session->Conn->uids().uidOf(zhang, false), uid);
        QCOMPARE(session->Conn->keptTable().load(zhang), kept);
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

    // A picture chosen in the record form is kept in photos/ under the name of its bytes (shrunk
    // when the window says so); what is not a picture is refused before anything is written.
    void chosenPhotoIsKeptInTheFolder_data() {
        QTest::addColumn<QByteArray>("chosen");   // the file's bytes; "fifo": a FIFO
        QTest::addColumn<QByteArray>("shrunk");   // what the shrink gives; "none": it does not decode
        QTest::addColumn<QByteArray>("kept");     // the bytes in photos/; empty: refused
        const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(64, 'p');
        const QByteArray jpg = QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(32, 'j');
        QTest::newRow("a picture as it is") << png << QByteArray() << png;
        QTest::newRow("a large picture made smaller") << png << jpg << jpg;
        QTest::newRow("a text file") << QByteArray("not a picture") << QByteArray() << QByteArray();
        QTest::newRow("a picture the window cannot decode") << png << QByteArray("none") << QByteArray();
        QTest::newRow("a FIFO") << QByteArray("fifo") << QByteArray() << QByteArray();
    }
    void chosenPhotoIsKeptInTheFolder() {
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, shrunk);
        QFETCH(QByteArray, kept);
        const QString source = dir.filePath(QStringLiteral("下载/照片.png"));
        QDir(dir.filePath(QStringLiteral("photos"))).removeRecursively(); // the folder is the test's
        QFile::remove(source);
        QDir(dir.path()).mkpath(QStringLiteral("下载"));
        if (chosen == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        } else {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(chosen) == chosen.size());
        }
        int shrinks = 0;
        if (!shrunk.isEmpty()) {
            session->shrinkPicture = [&](const photofolder::Picture& picture) -> std::optional<photofolder::Picture> {
                ++shrinks;
                if (picture.bytes != chosen || shrunk == "none")
                    return std::nullopt;
                return photofolder::Picture{shrunk, QStringLiteral("jpg")};
            };
        }
        ContactFields zhangNow = *session->Conn->loadContact(zhang);
        zhangNow.photo = source;
        const CommandResult saved = session->saveContact(zhang, zhangNow);
        QCOMPARE(shrinks, shrunk.isEmpty() ? 0 : 1);
        const QString photo = session->Conn->loadContact(zhang)->photo;
        const QDir photos(dir.filePath(QStringLiteral("photos")));
        if (kept.isEmpty()) {
            QVERIFY(!saved.ok);
            QVERIFY2(saved.notice && saved.notice->text.contains(QStringLiteral("不是可以读取的图片文件")),
                     qPrintable(saved.notice ? saved.notice->text : QString()));
            QCOMPARE(photo, QString());
            QVERIFY(photos.entryList(QDir::Files | QDir::Hidden).isEmpty());
            return;
        }
        QVERIFY(saved.ok);
        QVERIFY2(photofolder::isInFolder(photo, dataFile()) && photofolder::isPhotoName(QFileInfo(photo).fileName()),
                 qPrintable(photo));
        QFile copy(photo);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), kept);
        QCOMPARE(photos.entryList(QDir::Files | QDir::Hidden).size(), 1); // nothing half-written beside it
        QVERIFY(QFile::remove(source));                                   // the original may vanish
        QVERIFY(QFile::exists(photo));
        // Chosen again for another person: the same file, not a second copy.
        QFile again(source);
        QVERIFY(again.open(QIODevice::WriteOnly) && again.write(chosen) == chosen.size());
        again.close();
        ContactFields liNow = *session->Conn->loadContact(li);
        liNow.photo = source;
        QVERIFY(session->saveContact(li, liNow).ok);
        QCOMPARE(session->Conn->loadContact(li)->photo, photo);
    }

    // A picture a person no longer has leaves photos/ once nobody has it: not while another person,
    // a recently deleted person or a step of this run's history (undo, redo) may still show it;
    // what the history held goes at the next start.
    void replacedPhotoLeavesWhenNobodyHasIt_data() {
        QTest::addColumn<QString>("holder"); // who else has the old picture when it is replaced
        QTest::addColumn<bool>("goneAtOnce");
        QTest::addColumn<bool>("goneAtNextStart");
        QTest::newRow("nobody, no history") << "" << true << true;
        QTest::newRow("this run's history") << "history" << false << true;
        QTest::newRow("another person") << "李四" << false << false;
        QTest::newRow("a recently deleted person") << "deleted" << false << false;
    }
    void replacedPhotoLeavesWhenNobodyHasIt() {
        QFETCH(QString, holder);
        QFETCH(bool, goneAtOnce);
        QFETCH(bool, goneAtNextStart);
        if (holder.isEmpty()) { // a session that keeps no history (a read of the file by another part)
            auto plain = std::make_unique<DirectorySession>();
            plain->env = session->env;
            plain->Conn = Store::open(dataFile());
            session = std::move(plain);
        }
        auto choose = [&](const QString& key, char fill) {
            const QString source = dir.filePath(QStringLiteral("chosen.png"));
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, fill));
            file.close();
            ContactFields fields = *session->Conn->loadContact(key);
            fields.photo = source;
            QVERIFY(session->saveContact(key, fields).ok);
        };
        choose(zhang, 'a');
        const QString old = session->Conn->loadContact(zhang)->photo;
        if (holder == QStringLiteral("李四")) {
            choose(li, 'a');
        } else if (holder == QLatin1String("deleted")) {
            ContactFields twin = person(classmates, QStringLiteral("赵六"));
            twin.photo = old;
            const QString zhao = session->Conn->addContact(twin);
            session->deleteListRow(zhao, QStringLiteral("赵六"), classmates);
        }
        choose(zhang, 'b');
        QVERIFY(session->Conn->loadContact(zhang)->photo != old);
        QCOMPARE(!QFile::exists(old), goneAtOnce);
        if (holder == QLatin1String("history")) {
            QVERIFY(session->undo().ok);
            QCOMPARE(session->Conn->loadContact(zhang)->photo, old);
            QVERIFY(session->redo().ok);
        }
        session->Conn = Store::open(dataFile()); // the next start tidies the folder
        photofolder::tidy(*session->Conn, dataFile());
        QCOMPARE(!QFile::exists(old), goneAtNextStart);
        QVERIFY(QFile::exists(session->Conn->loadContact(zhang)->photo));
    }

    // The duplicate rules: a name, a mobile number (digits only, +86 or 0086 aside) or an e-mail
    // address (case aside) joins people, also in chains; a same-sounding name alone does not.
    void duplicateRules_data() {
        QTest::addColumn<QStringList>("people"); // name|mobile|e-mail, keys p0, p1, ... in order
        QTest::addColumn<QString>("groups");     // groups joined by ';', keys by ','
        QTest::newRow("same name") << QStringList{"张三||", "张三||", "李四||"} << "p0,p1";
        QTest::newRow("same pinyin, other character") << QStringList{"张三||", "章三||"} << "";
        QTest::newRow("same pinyin and mobile") << QStringList{"张三|13800000001|", "章三|138 0000 0001|"} << "p0,p1";
        QTest::newRow("+86 and 0086 aside") << QStringList{"甲|+86 138-0000-0001|", "乙|008613800000001|",
                                                           "丙|13800000001|"}
                                            << "p0,p1,p2";
        QTest::newRow("short numbers never") << QStringList{"甲|110|", "乙|110|"} << "";
        QTest::newRow("e-mail case aside") << QStringList{"甲||A@Example.com", "乙||a@example.COM "} << "p0,p1";
        QTest::newRow("a chain") << QStringList{"甲|13800000001|", "乙|13800000001|x@y.cn", "丙||X@y.cn", "丁||"}
                                 << "p0,p1,p2";
        QTest::newRow("two groups") << QStringList{"甲||", "乙||", "甲||", "乙||"} << "p0,p2;p1,p3";
        QTest::newRow("spaces around a name aside")
            << QStringList{" 张三||", QStringLiteral("张三\u3000||"), "张 三||", "张三\t||"} << "p0,p1,p3";
        QTest::newRow("no name never") << QStringList{"||", " ||", "甲||"} << "";
    }
    void duplicateRules() {
        QFETCH(QStringList, people);
        QFETCH(QString, groups);
        std::vector<DuplicateCandidate> candidates;
        for (int i = 0; i < people.size(); ++i) {
            const QStringList parts = people[i].split(QLatin1Char('|'));
            candidates.push_back({QStringLiteral("p%1").arg(i), parts[0], parts[1], parts[2]});
        }
        QStringList found;
        for (const QStringList& group : findDuplicates(candidates))
            found << group.join(QLatin1Char(','));
        QCOMPARE(found.join(QLatin1Char(';')), groups);
    }

    // The data file's people are grouped by the same rules.
    void duplicateRulesInTheDataFile_data() { duplicateRules_data(); }
    void duplicateRulesInTheDataFile() {
        QFETCH(QStringList, people);
        QFETCH(QString, groups);
        const QString path = dir.filePath(QStringLiteral("rules.mdb"));
        QFile::remove(path);
        Store::createEmpty(path);
        DirectorySession rules;
        rules.Conn = Store::open(path);
        const QString group = rules.Conn->addGroup(QStringLiteral("组"));
        QStringList keys;
        for (const QString& line : people) {
            const QStringList parts = line.split(QLatin1Char('|'));
            ContactFields fields = person(group, parts[0], parts[1]);
            fields.email = parts[2];
            keys << rules.Conn->addContact(fields);
        }
        QStringList found;
        for (const QStringList& keysOfGroup : rules.duplicates()) {
            QStringList names;
            for (const QString& key : keysOfGroup)
                names << QStringLiteral("p%1").arg(keys.indexOf(key));
            found << names.join(QLatin1Char(','));
        }
        QCOMPARE(found.join(QLatin1Char(';')), groups);
    }

    // A data file that cannot be read is told as such, not shown as a directory without duplicates.
    void duplicatesThatCannotBeReadAreTold() {
        storeDb(*session->Conn).exec("alter table phone rename column email to mail");
        std::optional<Notice> failure;
        QVERIFY(session->duplicates(&failure).empty());
        QVERIFY(failure);
        QCOMPARE(failure->kind, Notice::Kind::Warning);
        QVERIFY2(failure->text.startsWith(QStringLiteral("不能查找重复的联系人: ")), qPrintable(failure->text));
    }

    // The keys made from the data file's bytes are the keys of the texts the program reads from them,
    // whether the bytes take the quick way (plain ASCII, nothing to trim) or not.
    void keysFromBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("Chinese name") << QByteArray("张三");
        QTest::newRow("ASCII spaces around") << QByteArray(" \t张三\r\n");
        QTest::newRow("ideographic space") << QStringLiteral("\u3000张三\u3000").toUtf8();
        QTest::newRow("no-break space") << QStringLiteral("张三\u00a0").toUtf8();
        QTest::newRow("byte order mark") << QStringLiteral("\ufeff张三").toUtf8();
        QTest::newRow("malformed") << QByteArray("\xff\xfe\xe5\xbc");
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80z");
        QTest::newRow("beyond Unicode") << QByteArray("\xf4\x90\x80\x80");
        QTest::newRow("supplementary") << QStringLiteral("𠀀三").toUtf8();
        QTest::newRow("+86 with spaces") << QByteArray("  +86 138-0000-0001 ");
        QTest::newRow("+ then 0086") << QByteArray("+0086 138 0000 0001");
        QTest::newRow("0086") << QByteArray("0086-13800000001");
        QTest::newRow("86 without +") << QByteArray("8613800000001");
        QTest::newRow("four digits") << QByteArray("+86 1234");
        QTest::newRow("fullwidth digits") << QStringLiteral("１３８０００００００１").toUtf8();
        QTest::newRow("Arabic-Indic digits") << QStringLiteral("٠١٢٣٤٥٦").toUtf8();
        QTest::newRow("e-mail upper case") << QByteArray(" Zhang.San@Example.COM\t");
        QTest::newRow("e-mail not ASCII") << QStringLiteral("ÄNNE@Exämple.de").toUtf8();
        QTest::newRow("NUL inside") << QByteArray("13800\0" "000001", 12);
    }
    void keysFromBytes() {
        QFETCH(QByteArray, bytes);
        const std::string_view view(bytes.constData(), size_t(bytes.size()));
        const QString text = QString::fromUtf8(bytes);
        QCOMPARE(QByteArray::fromStdString(nameKeyOf(view)), nameKey(text).toUtf8());
        QCOMPARE(QByteArray::fromStdString(mobileKeyOf(view)), mobileDigits(text).toUtf8());
        QCOMPARE(QByteArray::fromStdString(emailKeyOf(view)), emailKey(text).toUtf8());
    }

    // A merge keeps the lowest key with the picked fields; the others go to the recently deleted;
    // one undo gives back all of them as they were.
    void mergeKeepsTheFirstAndUndoes() {
        const QString copy = session->Conn->addContact(person(friends, QStringLiteral("张三"), QStringLiteral("+8613800000001")));
        ContactFields withMail = person(friends, QStringLiteral("张三"));
        withMail.email = QStringLiteral("zs@example.cn");
        const QString third = session->Conn->addContact(withMail);
        const std::vector<QStringList> groups = session->duplicates();
        QCOMPARE(groups.size(), size_t(1));
        QCOMPARE(groups.front(), (QStringList{zhang, copy, third}));
        std::vector<ContactFields> people;
        for (const QString& key : groups.front())
            people.push_back(*session->Conn->loadContact(key));
        const ContactFields merged = mergedDefaults(people);
        QCOMPARE(merged.mobile, QStringLiteral("+8613800000001")); // the longer form
        QCOMPARE(merged.email, QStringLiteral("zs@example.cn"));
        QCOMPARE(merged.groupKey, classmates);

        const QString before = contents();
        QVERIFY(session->mergeContacts(zhang, merged, {copy, third}).ok);
        QCOMPARE(session->Conn->loadContact(zhang)->email, QStringLiteral("zs@example.cn"));
        QVERIFY(!session->Conn->loadContact(copy));
        QCOMPARE(session->recentlyDeleted().size(), size_t(2));
        QVERIFY(session->duplicates().empty());
        QVERIFY(session->undo().ok);
        QCOMPARE(contents(), before);
    }

    // A file that cannot be written has no history, and the commands still report their failure.
    // A file imported twice adds nobody the second time, whether its cards carry UIDs or not; a card
    // of the same name and number completes the person already there instead of adding a copy.
    void importTwiceAddsNobody_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<int>("added");       // the first time
        QTest::addColumn<int>("samePeople");  // the first time: found by name and number
        QTest::addColumn<QString>("remarks"); // 张三's after the first time
        const QByteArray zhang = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nTEL;TYPE=CELL:+86 138-0000-0001\r\n"
                                 "NOTE:老同学\r\nX-FOO:bar\r\nEND:VCARD\r\n";
        QTest::newRow("vCard, no UID, same person") << zhang << false << 0 << 1 << "老同学";
        QTest::newRow("vCard with UIDs") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a-1\r\nFN:赵六\r\nEND:VCARD\r\n"
                                                       "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a-2\r\nFN:赵六\r\nEND:VCARD\r\n")
                                         << false << 2 << 0 << "";
        QTest::newRow("same name, other number") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\n"
                                                               "TEL:13900000009\r\nEND:VCARD\r\n")
                                                 << false << 1 << 0 << "";
        QTest::newRow("two like cards in one file") << zhang + zhang << false << 1 << 1 << "老同学";
        QTest::newRow("CSV by e-mail") << QByteArray("姓名,电子邮件\n李四,LI@example.com\n") << true << 0 << 1 << "";
    }
    void importTwiceAddsNobody() {
        QFETCH(QByteArray, file);
        QFETCH(bool, csv);
        QFETCH(int, added);
        QFETCH(int, samePeople);
        QFETCH(QString, remarks);
        ContactFields li = *session->Conn->loadContact(this->li);
        li.email = QStringLiteral("li@example.com");
        session->Conn->updateContact(this->li, li);
        const ImportBatch batch = csv ? CsvFile::read(file) : VCardReader::read(file);
        for (int round = 0; round < 2; ++round) {
            ImportSummary summary;
            QVERIFY(session->importBatch(batch, {}, {}, &summary).ok);
            QCOMPARE(summary.added, round == 0 ? added : 0);
            if (round == 0)
                QCOMPARE(summary.samePeople, samePeople);
        }
        const std::optional<ContactFields> zhang = session->Conn->loadContact(this->zhang);
        QCOMPARE(zhang->mobile, QStringLiteral("13800000001")); // what the person had stays
        QCOMPARE(zhang->remarks, remarks);                      // what they lacked came from the card
        QCOMPARE(session->Conn->loadContact(this->li)->email, QStringLiteral("li@example.com"));
    }

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
