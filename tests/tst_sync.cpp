// The address-book sync against real servers: Radicale and Xandikos on 127.0.0.1, with changes on the
// server side made by plain HTTP requests, as another client would make them.
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/store/DataFileLock.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "core/sync/SyncCard.h"
#include "core/sync/SyncEngine.h"
#include "support/DavServer.h"
#include "support/FaultVfs.h"
#include "support/MountNamespace.h"
#include "support/StoreProbe.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

namespace {

const QByteArray Png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("zinteva test picture", 20);

// One copy of the program: a data file of its own.
struct Copy {
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<Store> store;
    QHash<QByteArray, int> lastRequests;
    bool collection = true;
    int batchSize = 100;
    std::function<void(const QString&)> onProgress;

    // The data file in a temporary folder, or in the folder given.
    explicit Copy(const QString& folder = {})
        : path(QDir(folder.isEmpty() ? dir.path() : folder).filePath(QStringLiteral("tavrel.db"))) {
        Store::createEmpty(path);
        store = Store::open(path);
    }
    SyncReport sync(DavServer& server, const QString& password = {}, const QString& url = {}) {
        DavClient client(server.user(), password.isEmpty() ? server.password() : password);
        SyncAccount account;
        account.url = url.isEmpty() ? server.addressBook().toString() : url;
        account.user = server.user();
        SyncEngine engine(*store, path, client, account);
        engine.useSyncCollection = collection;
        engine.batchSize = batchSize;
        engine.onProgress = onProgress;
        const SyncReport report = engine.run();
        lastRequests = client.requestsByVerb();
        return report;
    }
    QString group(const QString& name) {
        for (const GroupRow& g : store->groups()) {
            if (g.name == name)
                return g.key;
        }
        return store->addGroup(name);
    }
    QString groupName(const QString& key) {
        for (const GroupRow& g : store->groups()) {
            if (g.key == key)
                return g.name;
        }
        return {};
    }
    QString add(const QString& name, const QString& groupName, const QString& mobile = {}) {
        ContactFields f;
        f.groupKey = group(groupName);
        f.name = name;
        f.mobile = mobile;
        return store->addContact(f);
    }
    QStringList keysNamed(const QString& name) {
        QStringList keys;
        store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view n) {
            if (QString::fromUtf8(n.data(), n.size()) == name)
                keys.append(QString::fromUtf8(key.data(), key.size()));
        });
        return keys;
    }
    ContactFields fields(const QString& name) {
        const QStringList keys = keysNamed(name);
        if (keys.size() != 1)
            return {};
        return *store->loadContact(keys.first());
    }
    void edit(const QString& name, const std::function<void(ContactFields&)>& change) {
        const QString key = keysNamed(name).value(0);
        ContactFields f = *store->loadContact(key);
        change(f);
        store->updateContact(key, f);
    }
    QStringList names() {
        QStringList out;
        store->forEachTreeContact([&](std::string_view, std::string_view, std::string_view n) {
            out.append(QString::fromUtf8(n.data(), n.size()));
        });
        out.sort();
        return out;
    }
    int count(const char* sql) {
        SQLite::Statement s(storeDb(*store), sql);
        return s.executeStep() ? s.getColumn(0).getInt() : -1;
    }
};

QByteArray phoneCard(const QString& uid, const QString& name, const QByteArray& extra = {}) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid.toUtf8() + "\r\nFN:" + name.toUtf8() + "\r\nN:" + name.toUtf8() +
           ";;;;\r\n" + extra + "END:VCARD\r\n";
}

// Fills the disk under path with one file, then gives back all but `free` bytes of it.
bool fillLeaving(const QString& path, qint64 free) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (file.write(block) == block.size()) {
    }
    return file.resize(std::max<qint64>(0, file.size() - free));
}

// The conflicts' local values back as the window takes them: through a session on the copy's
// connection.
CommandResult takeBack(Copy& copy, const std::vector<SyncConflict>& conflicts) {
    DirectorySession session;
    session.Conn = std::shared_ptr<Store>(copy.store.get(), [](Store*) {}); // the copy keeps it
    return syncconflicts::takeBack(session, conflicts);
}

#define REQUIRE_SERVER(server)                                                                                         \
    if (!(server).missing().isEmpty())                                                                                 \
    QSKIP(qPrintable((server).missing()))

} // namespace

class TestSync : public QObject {
    Q_OBJECT

public:
    TestSync(bool isolated, QString why) : isolated_(isolated), why_(std::move(why)) {}

private slots:
    // The change log: written by the data file's own triggers whatever program makes the change, in
    // the same transaction, and only for changes a card shows.
    void changeLog() {
        Copy copy;
        auto marks = [&] { return copy.count("select count(*) from zinteva_sync_change"); };
        auto deletedMarks = [&] { return copy.count("select count(*) from zinteva_sync_change where deleted = 1"); };
        auto clear = [&] { storeDb(*copy.store).exec("delete from zinteva_sync_change"); };

        const QString key = copy.add(QStringLiteral("张三"), QStringLiteral("家人"), QStringLiteral("1"));
        QCOMPARE(marks(), 1);
        clear();
        {
            Transaction cut = copy.store->transaction();
            copy.add(QStringLiteral("不算"), QStringLiteral("家人"));
        } // rolled back: neither the contact nor its mark stays
        QCOMPARE(marks(), 0);
        copy.store->writeNextBirthdays([](const StoredBirthday&) { return std::optional<QDate>(QDate(2030, 1, 1)); });
        copy.store->updateContact(key, *copy.store->loadContact(key)); // same values
        QCOMPARE(marks(), 0);
        copy.edit(QStringLiteral("张三"), [](ContactFields& f) { f.remarks = QStringLiteral("新"); });
        QCOMPARE(marks(), 1);
        clear();
        copy.add(QStringLiteral("李四"), QStringLiteral("家人"));
        clear();
        copy.store->renameGroup(copy.group(QStringLiteral("家人")), QStringLiteral("亲人"));
        QCOMPARE(marks(), 2); // both members' CATEGORIES change
        clear();
        copy.store->deleteContact(key);
        QCOMPARE(deletedMarks(), 1);
        clear();
        Importer importer(*copy.store, copy.path);
        importer.run(VCardReader::read(phoneCard(QStringLiteral("x"), QStringLiteral("王五"))), {});
        QCOMPARE(marks(), 1);
        // Another connection (the command line beside the window) is logged too.
        auto other = Store::open(copy.path);
        clear();
        ContactFields f;
        f.groupKey = copy.group(QStringLiteral("亲人"));
        f.name = QStringLiteral("赵六");
        other->addContact(f);
        QCOMPARE(marks(), 1);
    }

    void discovery_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("path");
        QTest::newRow("radicale, the address book") << int(DavServer::Kind::Radicale) << QString();
        QTest::newRow("radicale, the server") << int(DavServer::Kind::Radicale) << QStringLiteral("/");
        QTest::newRow("radicale, the principal") << int(DavServer::Kind::Radicale) << QStringLiteral("/alice/");
        QTest::newRow("xandikos, the address book") << int(DavServer::Kind::Xandikos) << QString();
        QTest::newRow("xandikos, the server") << int(DavServer::Kind::Xandikos) << QStringLiteral("/");
        QTest::newRow("xandikos, the principal") << int(DavServer::Kind::Xandikos) << QStringLiteral("/alice/");
    }
    void discovery() {
        QFETCH(int, kind);
        QFETCH(QString, path);
        DavServer server(static_cast<DavServer::Kind>(kind));
        REQUIRE_SERVER(server);
        DavClient client(server.user(), server.password());
        const QUrl start = path.isEmpty() ? server.addressBook() : server.base().resolved(QUrl(path));
        const std::vector<AddressBookInfo> books = discoverAddressBooks(client, start);
        QCOMPARE(books.size(), size_t(1));
        QCOMPARE(books.front().url.path(), server.addressBook().path());
        QVERIFY(books.front().syncCollection);
        // The password goes to that server alone: an address an answer names on another host (here the
        // same server under another name) is refused before anything is sent.
        const int sent = client.requestCount();
        QUrl elsewhere = server.addressBook();
        elsewhere.setHost(QStringLiteral("localhost"));
        try {
            client.send("GET", elsewhere);
            QFAIL("a request went to another host");
        } catch (const DavError& e) {
            QCOMPARE(e.kind(), DavError::Kind::OtherHost);
            QCOMPARE(e.url().host(), QStringLiteral("localhost"));
        }
        QCOMPARE(client.requestCount(), sent);
    }

    // Two copies on two data files converge through one server.
    void converge_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("collection");
        QTest::newRow("radicale, sync-collection") << int(DavServer::Kind::Radicale) << true;
        QTest::newRow("radicale, etag listing") << int(DavServer::Kind::Radicale) << false;
        QTest::newRow("xandikos, sync-collection") << int(DavServer::Kind::Xandikos) << true;
        QTest::newRow("xandikos, etag listing") << int(DavServer::Kind::Xandikos) << false;
    }
    void converge() {
        QFETCH(int, kind);
        QFETCH(bool, collection);
        DavServer server(static_cast<DavServer::Kind>(kind));
        REQUIRE_SERVER(server);
        Copy a, b;
        a.collection = b.collection = collection;

        const QString picture = a.dir.filePath(QStringLiteral("face.png"));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Png);
        file.close();
        a.add(QStringLiteral("张三"), QStringLiteral("家人"), QStringLiteral("13800000001"));
        a.edit(QStringLiteral("张三"), [&](ContactFields& f) {
            f.photo = picture;
            f.birthday = QDate(1990, 5, 17);
        });
        a.add(QStringLiteral("李四"), QStringLiteral("同事"), QStringLiteral("13800000002"));
        SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.uploaded, 2);
        QCOMPARE(r.usedSyncCollection, collection);
        QCOMPARE(server.cards().size(), 2);

        // B knew 张三 already (same name and phone): matched, not duplicated.
        b.add(QStringLiteral("张三"), QStringLiteral("朋友"), QStringLiteral("13800000001"));
        b.add(QStringLiteral("王五"), QStringLiteral("朋友"));
        r = b.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(b.names(), (QStringList{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")}));
        QCOMPARE(b.fields(QStringLiteral("张三")).birthday, std::optional<QDate>(QDate(1990, 5, 17)));
        QCOMPARE(b.groupName(b.fields(QStringLiteral("李四")).groupKey), QStringLiteral("同事"));
        const QString copied = b.fields(QStringLiteral("张三")).photo;
        QVERIFY(copied.startsWith(b.dir.path()));
        QFile copiedFile(copied);
        QVERIFY(copiedFile.open(QIODevice::ReadOnly));
        QCOMPARE(copiedFile.readAll(), Png);
        QCOMPARE(server.cards().size(), 3);

        r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(a.names(), b.names());
        // Matching on a first sync: the server's group won, B's own went into the conflict list.
        QCOMPARE(b.groupName(b.fields(QStringLiteral("张三")).groupKey), QStringLiteral("家人"));

        // Nothing changed: nothing travels.
        r = a.sync(server);
        QVERIFY(r.ok);
        QCOMPARE(a.lastRequests.value("PUT"), 0);
        QCOMPARE(a.lastRequests.value("DELETE"), 0);
        QCOMPARE(r.downloaded, 0);

        // Edits, a delete, a group move and a group rename on both sides.
        a.edit(QStringLiteral("张三"), [](ContactFields& f) { f.email = QStringLiteral("zhang@example.com"); });
        a.store->renameGroup(a.group(QStringLiteral("家人")), QStringLiteral("亲人"));
        b.store->deleteContact(b.keysNamed(QStringLiteral("李四")).value(0));
        b.edit(QStringLiteral("王五"), [&](ContactFields& f) { f.groupKey = b.group(QStringLiteral("同事")); });
        QVERIFY(a.sync(server).ok);
        r = b.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.deletedThere, 1);
        QVERIFY(a.sync(server).ok);

        for (Copy* copy : {&a, &b}) {
            QCOMPARE(copy->names(), (QStringList{QStringLiteral("张三"), QStringLiteral("王五")}));
            QCOMPARE(copy->fields(QStringLiteral("张三")).email, QStringLiteral("zhang@example.com"));
            QCOMPARE(copy->groupName(copy->fields(QStringLiteral("张三")).groupKey), QStringLiteral("亲人"));
            QCOMPARE(copy->groupName(copy->fields(QStringLiteral("王五")).groupKey), QStringLiteral("同事"));
            QCOMPARE(copy->count("select count(*) from zinteva_sync_change"), 0);
        }
        QCOMPARE(server.cards().size(), 2);
        QVERIFY(!server.findCard("CATEGORIES:亲人").isEmpty());
    }

    // The same field changed on both sides: the server's value wins and the local one waits in the
    // conflict list; different fields both survive; a 412 leads to a merge, not an overwrite.
    void conflicts() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        Copy a, b;
        a.add(QStringLiteral("张三"), QStringLiteral("家人"), QStringLiteral("100"));
        QVERIFY(a.sync(server).ok);
        QVERIFY(b.sync(server).ok);

        a.edit(QStringLiteral("张三"), [](ContactFields& f) {
            f.mobile = QStringLiteral("111");
            f.remarks = QStringLiteral("甲写的");
        });
        b.edit(QStringLiteral("张三"), [](ContactFields& f) {
            f.mobile = QStringLiteral("222");
            f.nickname = QStringLiteral("小张");
        });
        QVERIFY(a.sync(server).ok);
        SyncReport r = b.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.conflicts, 1);
        QCOMPARE(b.fields(QStringLiteral("张三")).mobile, QStringLiteral("111"));
        QCOMPARE(b.fields(QStringLiteral("张三")).remarks, QStringLiteral("甲写的"));
        QCOMPARE(b.fields(QStringLiteral("张三")).nickname, QStringLiteral("小张"));
        std::vector<SyncConflict> list = syncconflicts::list(*b.store);
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(list.front().field, QStringLiteral("mobile"));
        QCOMPARE(list.front().local, QStringLiteral("222"));
        QCOMPARE(list.front().server, QStringLiteral("111"));
        QVERIFY(a.sync(server).ok);
        QCOMPARE(a.fields(QStringLiteral("张三")).nickname, QStringLiteral("小张"));

        // Taking the local value back makes it travel.
        QVERIFY(takeBack(b, {list.front()}).ok);
        QVERIFY(syncconflicts::list(*b.store).empty());
        QVERIFY(b.sync(server).ok);
        QVERIFY(a.sync(server).ok);
        QCOMPARE(a.fields(QStringLiteral("张三")).mobile, QStringLiteral("222"));

        // Another client writes the card between B's listing and B's upload: B's PUT gets 412.
        b.edit(QStringLiteral("张三"), [](ContactFields& f) { f.address = QStringLiteral("北京"); });
        const QString href = server.cards().value(0);
        bool written = false;
        b.onProgress = [&](const QString& text) {
            if (!written && text.startsWith(QStringLiteral("正在上传"))) {
                written = true;
                QByteArray card = server.card(href);
                card.replace("FN:张三", "FN:张三丰");
                QVERIFY(isSuccessful(server.put(href, card).status));
            }
        };
        r = b.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QVERIFY(written);
        QCOMPARE(b.lastRequests.value("GET"), 1);
        QCOMPARE(b.lastRequests.value("PUT"), 2);
        const QByteArray card = server.card(href);
        QVERIFY(card.contains("FN:张三丰"));
        QVERIFY(card.contains("北京"));
    }

    // Deleted on one side, changed on the other: the change wins.
    void deleteAgainstEdit() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        Copy a, b;
        a.add(QStringLiteral("张三"), QStringLiteral("家人"));
        a.add(QStringLiteral("李四"), QStringLiteral("家人"));
        QVERIFY(a.sync(server).ok);
        QVERIFY(b.sync(server).ok);

        a.store->deleteContact(a.keysNamed(QStringLiteral("张三")).value(0));
        b.edit(QStringLiteral("张三"), [](ContactFields& f) { f.qq = QStringLiteral("12345"); });
        QVERIFY(b.sync(server).ok);
        SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(a.fields(QStringLiteral("张三")).qq, QStringLiteral("12345"));

        // Another client deletes the card while A changes it: A's version goes up again.
        const QString href = server.findCard("FN:李四");
        QVERIFY(!href.isEmpty());
        QCOMPARE(server.request("DELETE", server.addressBook().resolved(QUrl(href))).status / 100, 2);
        a.edit(QStringLiteral("李四"), [](ContactFields& f) { f.fax = QStringLiteral("66"); });
        r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QVERIFY(!server.findCard("FN:李四").isEmpty());
        QVERIFY(b.sync(server).ok);
        QCOMPARE(b.fields(QStringLiteral("李四")).fax, QStringLiteral("66"));

        // Deleted by another client, unchanged here: deleted here too.
        QCOMPARE(server.request("DELETE", server.addressBook().resolved(QUrl(server.findCard("FN:李四")))).status / 100,
                 2);
        r = b.sync(server);
        QVERIFY(r.ok);
        QCOMPARE(r.deletedHere, 1);
        QCOMPARE(b.names(), QStringList{QStringLiteral("张三")});
    }

    // What a phone stored that has no column survives a local edit.
    void keepsForeignProperties() {
        DavServer server(DavServer::Kind::Xandikos);
        REQUIRE_SERVER(server);
        Copy a;
        const QByteArray extra = "ORG:示例公司\r\nTEL;TYPE=CELL:111\r\nTEL;TYPE=CELL:222\r\nEMAIL:a@x.cn\r\n"
                                 "EMAIL:b@x.cn\r\nX-PHONE-RINGTONE:bell\r\nCATEGORIES:家人,VIP\r\n";
        QCOMPARE(server.put(QStringLiteral("phone-1.vcf"), phoneCard(QStringLiteral("phone-1"), QStringLiteral("赵六"), extra))
                         .status / 100,
                 2);
        QVERIFY(a.sync(server).ok);
        QCOMPARE(a.groupName(a.fields(QStringLiteral("赵六")).groupKey), QStringLiteral("家人"));
        a.edit(QStringLiteral("赵六"), [](ContactFields& f) { f.remarks = QStringLiteral("改过"); });
        const SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.uploaded, 1);
        const QByteArray card = server.card(QStringLiteral("phone-1.vcf"));
        for (const QByteArray& kept : {QByteArray("ORG:示例公司"), QByteArray(":222"), QByteArray("b@x.cn"),
                                       QByteArray("X-PHONE-RINGTONE:bell"), QByteArray("CATEGORIES:家人,VIP"),
                                       QByteArray("NOTE:改过"), QByteArray("UID:phone-1"), QByteArray("VERSION:3.0")})
            QVERIFY2(card.contains(kept), kept.constData());
        QCOMPARE(card.count("TEL"), 2);
        // The server's UID is the contact's own here, so an export writes the same card.
        QCOMPARE(a.store->uids().uidOf(a.keysNamed(QStringLiteral("赵六")).value(0), false), QStringLiteral("phone-1"));

        // An imported card's properties without a column go up with its first card, under its UID.
        const QByteArray imported = "ORG:另一家\r\nX-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;七\r\n";
        QCOMPARE(Importer(*a.store, a.path)
                     .run(VCardReader::read(phoneCard(QStringLiteral("imported-7"), QStringLiteral("钱七"), imported)), {})
                     .added,
                 1);
        const QString own = a.keysNamed(QStringLiteral("钱七")).value(0);
        a.edit(QStringLiteral("钱七"), [](ContactFields& f) { f.mobile = QStringLiteral("333"); });
        QVERIFY(a.sync(server).ok);
        const QByteArray up = server.card(server.findCard("FN:钱七"));
        for (const QByteArray& kept : {QByteArray("ORG:另一家"), QByteArray("X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;七"),
                                       QByteArray("UID:imported-7"), QByteArray(":333")})
            QVERIFY2(up.contains(kept), up.constData());
        QCOMPARE(a.store->keptTable().load(own).empty(), false);
    }

    // An undone change, and a deleted person brought back, are changes to send like any other.
    void undoIsAChange() {
        Copy copy;
        const QString key = copy.add(QStringLiteral("张三"), QStringLiteral("家人"), QStringLiteral("1"));
        copy.store->enableHistory();
        auto clear = [&] { storeDb(*copy.store).exec("delete from zinteva_sync_change"); }; // as after a sync
        auto marks = [&](int deleted) {
            SQLite::Statement s(storeDb(*copy.store),
                                "select count(*) from zinteva_sync_change where friendid = ? and deleted = ?");
            s.bind(1, key.toStdString());
            s.bind(2, deleted);
            return s.executeStep() ? s.getColumn(0).getInt() : -1;
        };
        UndoLog& log = copy.store->undoLog();
        log.start();
        copy.edit(QStringLiteral("张三"), [](ContactFields& f) { f.mobile = QStringLiteral("2"); });
        const UndoLog::Range edit = log.stop();
        clear();
        log.replay(edit);
        QCOMPARE(copy.store->loadContact(key)->mobile, QStringLiteral("1"));
        QCOMPARE(marks(0), 1);

        log.start();
        copy.store->deleteContact(key);
        const UndoLog::Range removal = log.stop();
        QCOMPARE(marks(1), 1);
        clear();
        log.replay(removal);
        QVERIFY(copy.store->loadContact(key));
        QCOMPARE(marks(0), 1);
    }

    // A file that brings a trigger of one of the change log's names gets the program's own in its place.
    void changeLogTriggersAreTheProgramsOwn() {
        Copy copy;
        copy.add(QStringLiteral("张三"), QStringLiteral("家人"));
        copy.store.reset();
        {
            SQLite::Database db(copy.path.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("drop trigger zinteva_phone_added");
            db.exec("create trigger zinteva_phone_added after insert on phone begin delete from phone; end");
        }
        copy.store = Store::open(copy.path);
        copy.add(QStringLiteral("李四"), QStringLiteral("家人"));
        QCOMPARE(copy.names().size(), 2);
        QCOMPARE(copy.count("select count(*) from zinteva_sync_change"), 2);
    }

    // A lunar birthday travels with its Gregorian day, and a change to the lunar mark alone (made by
    // the program or written into its table by another) is a change to send.
    void lunarBirthdayTravels_data() {
        QTest::addColumn<QString>("before"); // the lunar birthday first synced ("" for none)
        QTest::addColumn<QDate>("day");      // 生日 as entered (a lunar date with a year has its own)
        QTest::addColumn<QString>("after");  // the lunar birthday after the edit
        QTest::addColumn<int>("how");        // no edit, an edit of the contact, a write into the table
        QTest::addColumn<QDate>("expected"); // 生日 on the other side
        const QDate none;
        const QDate laba(1951, 1, 15);  // 腊月初八 of the lunar year that began in 1950
        const QDate leap(2020, 6, 6);   // the 15th of the leap fourth month of 2020
        const QDate plain(1990, 5, 17); // a day entered beside a lunar date of no year
        QTest::newRow("腊月初八 arrives") << "1950-12-08" << none << "1950-12-08" << 0 << laba;
        QTest::newRow("a leap month arrives") << "2020-L04-15" << none << "2020-L04-15" << 0 << leap;
        QTest::newRow("switched to lunar, same day") << "" << laba << "1950-12-08" << 1 << laba;
        QTest::newRow("leap flag toggled, no year") << "--04-15" << plain << "--L04-15" << 1 << plain;
        QTest::newRow("row written on its own") << "" << laba << "1950-12-08" << 2 << laba;
        QTest::newRow("row changed on its own") << "--04-15" << plain << "--L04-15" << 2 << plain;
        QTest::newRow("mark removed") << "1950-12-08" << none << "" << 1 << laba;
        QTest::newRow("row deleted on its own") << "2020-L04-15" << none << "" << 2 << leap;
    }
    void lunarBirthdayTravels() {
        QFETCH(QString, before);
        QFETCH(QDate, day);
        QFETCH(QString, after);
        QFETCH(int, how);
        QFETCH(QDate, expected);
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        Copy a, b;
        auto lunar = [](const QString& text) {
            return text.isEmpty() ? std::nullopt : parseLunarBirthdayValue(text);
        };
        const QString name = QStringLiteral("张三");
        const QString key = a.add(name, QStringLiteral("家人"));
        a.edit(name, [&](ContactFields& f) {
            f.birthday = day.isValid() ? std::optional<QDate>(day) : std::nullopt;
            f.lunarBirthday = lunar(before);
        });
        QVERIFY(a.sync(server).ok);
        QVERIFY(b.sync(server).ok);
        QCOMPARE(b.fields(name).lunarBirthday, lunar(before));
        QCOMPARE(b.fields(name).birthday, a.fields(name).birthday);
        if (how == 0)
            QCOMPARE(b.fields(name).birthday, std::optional<QDate>(expected));

        if (how == 1) {
            a.edit(name, [&](ContactFields& f) { f.lunarBirthday = lunar(after); });
        } else if (how == 2) {
            SQLite::Database& db = storeDb(*a.store);
            const std::optional<LunarBirthday> to = lunar(after);
            SQLite::Statement write(db, !to ? "delete from zinteva_lunar_birthdays where friendid = ?1"
                                        : before.isEmpty()
                                            ? "insert into zinteva_lunar_birthdays values (?1, ?2, ?3, ?4, ?5)"
                                            : "update zinteva_lunar_birthdays set year = ?2, month = ?3, day = ?4, "
                                              "leap = ?5 where friendid = ?1");
            write.bind(1, key.toStdString());
            if (to) {
                write.bind(2, to->year);
                write.bind(3, to->month);
                write.bind(4, to->day);
                write.bind(5, to->leap ? 1 : 0);
            }
            QCOMPARE(write.exec(), 1);
        }
        if (how != 0) {
            QCOMPARE(a.count("select count(*) from zinteva_sync_change where deleted = 0"), 1);
            SyncReport r = a.sync(server);
            QVERIFY2(r.ok, qPrintable(r.text()));
            QCOMPARE(r.uploaded, 1);
            QVERIFY(b.sync(server).ok);
        }
        for (Copy* copy : {&a, &b}) {
            QCOMPARE(copy->fields(name).lunarBirthday, lunar(after));
            QCOMPARE(copy->fields(name).birthday, std::optional<QDate>(expected));
        }
        // Written back as it came, the lunar birthday is no change: nothing more travels.
        for (Copy* copy : {&b, &a}) {
            QVERIFY(copy->sync(server).ok);
            QCOMPARE(copy->lastRequests.value("PUT"), 0);
        }
        QCOMPARE(server.findCard("X-ZINTEVA-LUNAR-BIRTHDAY").isEmpty(), after.isEmpty());
    }

    // The merge takes the birthday as one field, Gregorian day and lunar mark together, and a lunar
    // birthday that lost a conflict can be taken back whole.
    void lunarBirthdayMerge_data() {
        QTest::addColumn<QString>("base"); // "-": a first sync
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("merged");
        QTest::addColumn<int>("conflicts");
        const QString laba = QStringLiteral("1951-01-15（农历 1950年腊月初八）");
        const QString day = QStringLiteral("1951-01-15");
        QTest::newRow("marked here") << day << laba << day << laba << 0;
        QTest::newRow("marked there") << day << day << laba << laba << 0;
        QTest::newRow("unmarked here") << laba << day << laba << day << 0;
        QTest::newRow("marked here, redated there") << day << laba << "1951-02-01" << "1951-02-01" << 1;
        QTest::newRow("leap here, other leap there")
            << "1990-05-17（农历 四月十五）" << "1990-05-17（农历 闰四月十五）" << "1990-05-17（农历 四月十六）"
            << "1990-05-17（农历 四月十六）" << 1;
        QTest::newRow("first sync, lunar there") << "-" << "" << "2020-06-06（农历 2020年闰四月十五）"
                                                 << "2020-06-06（农历 2020年闰四月十五）" << 0;
    }
    void lunarBirthdayMerge() {
        QFETCH(QString, base);
        QFETCH(QString, local);
        QFETCH(QString, server);
        QFETCH(QString, merged);
        QFETCH(int, conflicts);
        auto contact = [](const QString& birthday) {
            SyncContact c;
            c.fields.name = QStringLiteral("张三");
            synccard::parseBirthday(birthday, c.fields);
            return c;
        };
        const SyncContact b = contact(base), l = contact(local), s = contact(server);
        std::vector<FieldConflict> found;
        const SyncContact m = synccard::merge(base == u"-" ? nullptr : &b, l, s, found);
        QCOMPARE(synccard::value(m, CardField::Birthday), synccard::value(contact(merged), CardField::Birthday));
        QCOMPARE(m.fields.lunarBirthday, contact(merged).fields.lunarBirthday);
        QCOMPARE(int(found.size()), conflicts);
        if (conflicts) {
            QCOMPARE(found.front().field, CardField::Birthday);
            ContactFields back;
            synccard::parseBirthday(found.front().local, back);
            QCOMPARE(back.birthday, l.fields.birthday);
            QCOMPARE(back.lunarBirthday, l.fields.lunarBirthday);
        }
    }

    // A sync-token the server does not know (its storage was replaced) leads to a listing from the
    // start: nothing is lost and nothing is duplicated.
    void forgottenToken_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("radicale") << int(DavServer::Kind::Radicale);
        QTest::newRow("xandikos") << int(DavServer::Kind::Xandikos);
    }
    void forgottenToken() {
        QFETCH(int, kind);
        DavServer server(static_cast<DavServer::Kind>(kind));
        REQUIRE_SERVER(server);
        Copy a;
        a.add(QStringLiteral("张三"), QStringLiteral("家人"));
        QVERIFY(a.sync(server).ok);
        storeDb(*a.store).exec("update zinteva_sync_state set value = 'http://example.com/ns/sync/999' "
                               "where key = 'token'");
        QCOMPARE(server.put(QStringLiteral("phone-2.vcf"), phoneCard(QStringLiteral("phone-2"), QStringLiteral("李四")))
                         .status / 100,
                 2);
        const SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QVERIFY(r.usedSyncCollection);
        QCOMPARE(a.names(), (QStringList{QStringLiteral("张三"), QStringLiteral("李四")}));
        QCOMPARE(server.cards().size(), 2);
        QVERIFY(a.count("select count(*) from zinteva_sync_state where key = 'token' and value like '%/999'") == 0);
    }

    void wrongPassword() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        Copy a;
        a.add(QStringLiteral("张三"), QStringLiteral("家人"));
        const SyncReport r = a.sync(server, QStringLiteral("wrong"));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("密码")), qPrintable(r.error));
        QCOMPARE(a.count("select count(*) from zinteva_sync_change"), 1);
        QVERIFY(a.sync(server).ok);
        QCOMPARE(server.cards().size(), 1);
    }

    // The server dies in the middle of an upload: nothing is lost and the next run completes without
    // duplicating anyone.
    void serverKilled() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        Copy a, b;
        {
            Transaction t = a.store->transaction();
            for (int i = 0; i < 300; ++i)
                a.add(QStringLiteral("联系人%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("家人"));
            t.commit();
        }
        a.onProgress = [&](const QString& text) {
            if (text.startsWith(QStringLiteral("正在上传变化 150/")))
                server.kill();
        };
        SyncReport r = a.sync(server);
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(a.count("select count(*) from zinteva_sync_change") > 0);
        a.onProgress = {};
        QVERIFY(server.start());
        r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(a.count("select count(*) from zinteva_sync_change"), 0);
        QCOMPARE(server.cards().size(), 300);
        r = b.sync(server);
        QVERIFY(r.ok);
        QCOMPARE(b.store->contactCount(), 300);
    }

    // A write of the sync meets a full disk, whichever of its writes to the file fails: the transaction
    // ends rolled back whole, so that the next write on the same connection (the window's) is written
    // for good instead of joining a transaction left open and being lost when the file is closed.
    void fullDiskEndsTheWrite_data() {
        QTest::addColumn<bool>("batch");
        QTest::newRow("a conflict's local value taken back") << false;
        QTest::newRow("a batch of server cards") << true;
    }
    void fullDiskEndsTheWrite() {
        QFETCH(bool, batch);
        FaultVfs vfs;
        int failures = 0;
        for (int k = 1; k <= 200; ++k) {
            const QString where = QStringLiteral("write #%1").arg(k);
            Copy copy;
            const QString zhang = copy.add(QStringLiteral("张三"), QStringLiteral("家人"));
            copy.store->syncTable().addConflict({0, zhang, QStringLiteral("张三"), QStringLiteral("remarks"),
                                                 QStringLiteral("本地的备注"), QStringLiteral("服务器的备注"), {}});
            const SyncConflict conflict = syncconflicts::list(*copy.store).front();
            copy.store = Store::open(copy.path, OpenOptions{vfs.name(), false});
            vfs.arm(FaultVfs::Kind::Write, k, true, SQLITE_FULL);
            bool failed = false;
            try {
                if (batch) {
                    Transaction t = copy.store->transaction(Transaction::Lock::Immediate);
                    const QString li = copy.add(QStringLiteral("李四"), QStringLiteral("同事"));
                    copy.store->syncTable().writeCard({li, QStringLiteral("/li.vcf"), QStringLiteral("\"1\""),
                                                       QStringLiteral("li"), QByteArray(3000, 'c'), true});
                    copy.store->syncTable().dropChange(li);
                    t.commit();
                } else {
                    const CommandResult result = takeBack(copy, {conflict});
                    if (!result.ok)
                        throw StoreError::diskFull(result.notice.value_or(Notice{}).text.toStdString());
                }
            } catch (const StoreError& e) {
                QVERIFY2(e.kind() == StoreError::Kind::DiskFull, qPrintable(where + u' ' + e.message()));
                failed = true;
            }
            const int injected = vfs.injected();
            vfs.disarm();
            if (!failed) {
                QVERIFY2(injected == 0, qPrintable(where + QStringLiteral(": a failed write was not reported")));
                break;
            }
            ++failures;
            copy.add(QStringLiteral("之后"), QStringLiteral("家人"));
            copy.store = Store::open(copy.path);
            QVERIFY2(copy.names() == (QStringList{QStringLiteral("之后"), QStringLiteral("张三")}),
                     qPrintable(where + u' ' + copy.names().join(u',')));
            QVERIFY2(copy.fields(QStringLiteral("张三")).remarks.isEmpty(), qPrintable(where));
            QCOMPARE(syncconflicts::list(*copy.store).size(), size_t(1));
        }
        QVERIFY(failures > 0);
    }

    // The disk fills while server cards come in, under the data file or under its photos: the batch
    // being written rolls back whole (nobody here without their picture, no card recorded as synced
    // that did not arrive), the report names the full disk, and once there is room again the next
    // sync brings the rest.
    void fullDiskDuringSync_data() {
        QTest::addColumn<bool>("photosOnly");
        QTest::newRow("the data file's disk") << false;
        QTest::newRow("the photos' disk") << true;
    }
    void fullDiskDuringSync() {
        QFETCH(bool, photosOnly);
        if (!isolated_)
            QSKIP(qPrintable(QStringLiteral("no mount namespace here: ") + why_));
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        constexpr int Count = 30;
        QHash<QString, QByteArray> pictures; // by name
        QList<QPair<QString, QByteArray>> cards;
        for (int i = 0; i < Count; ++i) {
            const QString name = QStringLiteral("联系人%1").arg(i);
            pictures[name] = Png + QByteArray(16 * 1024, char('a' + i % 26)) + QByteArray::number(i);
            cards.append({QStringLiteral("card-%1.vcf").arg(i),
                          phoneCard(QStringLiteral("card-%1").arg(i), name,
                                    "PHOTO;ENCODING=b;TYPE=PNG:" + pictures[name].toBase64() + "\r\n")});
        }
        QVERIFY(server.seed(cards));
        QTemporaryDir top;
        const QString data = top.filePath(QStringLiteral("data"));
        const QString disk = photosOnly ? data + QStringLiteral("/photos") : data;
        QVERIFY(QDir().mkpath(disk));
        QString why;
        QVERIFY2(mountns::mountTmpfs(disk, 4096, &why), qPrintable(why));
        const auto unmount = qScopeGuard([&] { mountns::unmount(disk); });
        Copy a(data);
        a.batchSize = 10;
        const QString filler = disk + QStringLiteral("/filler");
        QVERIFY(fillLeaving(filler, 400 * 1024));

        auto everyPictureHere = [&] {
            for (const QString& name : a.names()) {
                if (!pictures.contains(name))
                    continue;
                QFile picture(a.fields(name).photo);
                if (!picture.open(QIODevice::ReadOnly) || picture.readAll() != pictures.value(name))
                    return false;
            }
            return true;
        };
        SyncReport r = a.sync(server);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("磁盘已满")), qPrintable(r.text()));
        const int here = a.store->contactCount();
        QVERIFY2(here % a.batchSize == 0 && here < Count, qPrintable(QString::number(here)));
        QCOMPARE(a.count("select count(*) from zinteva_sync_card"), here);
        QVERIFY(everyPictureHere());
        // The pictures of the batch rolled back went with it.
        QStringList kept = QDir(data + QStringLiteral("/photos")).entryList(QDir::Files);
        kept.removeAll(QStringLiteral("filler"));
        QCOMPARE(kept.size(), here);

        QVERIFY(QFile::remove(filler));
        a.add(QStringLiteral("之后"), QStringLiteral("家人"));
        r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        a.store = Store::open(a.path);
        QCOMPARE(a.store->contactCount(), Count + 1);
        QVERIFY(everyPictureHere());
        QCOMPARE(server.cards().size(), Count + 1);
    }

    // A first sync joins a server card to a contact here by the import's rule: the same name with the
    // same mobile number (however written) or own e-mail address, and no birthday against it. People
    // of one name who share an office number stay two, and neither gets the other's values.
    void firstSyncMatchesByTheImportsRule_data() {
        QTest::addColumn<QString>("mobile"); // the contact here
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("card"); // the server's 张伟, beyond the name
        QTest::addColumn<int>("people");      // 张伟s after the sync
        QTest::newRow("mobile written another way") << "13800000001" << "" << QByteArray("TEL;TYPE=CELL:+86 138-0000-0001\r\n") << 1;
        QTest::newRow("own e-mail, case aside") << "" << "zw@example.cn" << QByteArray("EMAIL:ZW@Example.cn\r\n") << 1;
        QTest::newRow("shared office phone") << "13800000001" << ""
                                             << QByteArray("TEL;TYPE=WORK:010-88886666\r\nTEL;TYPE=HOME:010-55554444\r\n")
                                             << 2;
        QTest::newRow("same mobile, another birthday")
            << "13800000001" << "" << QByteArray("TEL;TYPE=CELL:13800000001\r\nBDAY:1975-02-02\r\n") << 2;
    }
    void firstSyncMatchesByTheImportsRule() {
        QFETCH(QString, mobile);
        QFETCH(QString, email);
        QFETCH(QByteArray, card);
        QFETCH(int, people);
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        QVERIFY(server.seed({{QStringLiteral("zw.vcf"), phoneCard(QStringLiteral("zw"), QStringLiteral("张伟"), card)}}));
        Copy a;
        const QString here = a.add(QStringLiteral("张伟"), QStringLiteral("朋友"), mobile);
        a.edit(QStringLiteral("张伟"), [&](ContactFields& f) {
            f.workPhone = QStringLiteral("010-88886666");
            f.email = email;
            f.birthday = QDate(1980, 3, 1);
        });
        const ContactFields before = *a.store->loadContact(here);
        const SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(a.keysNamed(QStringLiteral("张伟")).size(), people);
        if (people == 2) {
            QCOMPARE(*a.store->loadContact(here), before); // nothing of the other 张伟 came in
            QCOMPARE(r.conflicts, 0);
        }
    }

    // 5,000 contacts on the server; a copy that knew the same people matches them all without uploading or
    // duplicating anyone, fetching the cards in batches of 100; then only ten changes travel.
    void manyContacts() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        constexpr int Count = 5000;
        QList<QPair<QString, QByteArray>> cards;
        Copy a;
        {
            Transaction t = a.store->transaction();
            for (int i = 0; i < Count; ++i) {
                const QString name = QStringLiteral("联系人%1").arg(i);
                const QString mobile = QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0'));
                cards.append({QStringLiteral("card-%1.vcf").arg(i), phoneCard(QStringLiteral("card-%1").arg(i), name,
                                        "TEL;TYPE=CELL:" + mobile.toUtf8() + "\r\nCATEGORIES:组" +
                                            QByteArray::number(i % 7) + "\r\n")});
                a.add(name, QStringLiteral("组%1").arg(i % 7), mobile);
            }
            t.commit();
        }
        QVERIFY(server.seed(cards));
        QCOMPARE(server.cards().size(), Count);
        storeDb(*a.store).exec("delete from zinteva_sync_change");

        SyncReport r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.downloaded, Count);
        QCOMPARE(r.conflicts, 0);
        QCOMPARE(a.store->contactCount(), Count);
        QCOMPARE(a.store->groups().size(), size_t(7));
        // One sync-collection and 50 multigets of 100 cards; nothing went up.
        QCOMPARE(a.lastRequests.value("REPORT"), 1 + Count / 100);
        QCOMPARE(a.lastRequests.value("PUT"), 0);
        QCOMPARE(a.count("select count(*) from zinteva_sync_change"), 0);
        QCOMPARE(a.count("select count(*) from zinteva_sync_card where etag is not null"), Count);

        for (int i = 0; i < 10; ++i)
            a.edit(QStringLiteral("联系人%1").arg(i * 400), [](ContactFields& f) { f.remarks = QStringLiteral("改"); });
        r = a.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(a.lastRequests.value("PUT"), 10);
        QCOMPARE(a.lastRequests.value("REPORT"), 1);
        QCOMPARE(server.cards().size(), Count);
    }

    // zinteva --sync for cron and scripts: the password from standard input, no desktop session, no
    // D-Bus, no keyring; exit 0 only when everything was exchanged.
    void commandLine_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("cards");
        QTest::addColumn<bool>("windowOpen");
        QTest::newRow("right password") << QStringLiteral("secret") << 0 << QStringLiteral("同步完成") << 1 << false;
        QTest::newRow("wrong password") << QStringLiteral("nope") << 1 << QStringLiteral("密码") << 0 << false;
        // A window on the data file holds its lock and syncs the file itself.
        QTest::newRow("window open") << QStringLiteral("secret") << 1 << QStringLiteral("窗口") << 0 << true;
    }
    void commandLine() {
        QFETCH(QString, password);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QFETCH(int, cards);
        QFETCH(bool, windowOpen);
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        QTemporaryDir dir;
        const QString data = DataPaths::in(dir.path()).data;
        Store::createEmpty(data);
        {
            auto store = Store::open(data);
            ContactFields f;
            f.groupKey = store->addGroup(QStringLiteral("家人"));
            f.name = QStringLiteral("张三");
            store->addContact(f);
        }
        DataFileLock window(data);
        if (windowOpen)
            QVERIFY(window.lock(DataFileLock::Role::Window, 0));
        QProcess program;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("ZINTEVA_DIR"), dir.path());
        environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        program.setProcessEnvironment(environment); // no DISPLAY, no D-Bus session
        program.start(QStringLiteral(ZINTEVA_PROGRAM), {QStringLiteral("--sync"), QStringLiteral("--sync-url"),
                                                        server.base().toString(), QStringLiteral("--sync-user"),
                                                        server.user()});
        QVERIFY(program.waitForStarted(10000));
        program.write(password.toUtf8() + "\n");
        program.closeWriteChannel();
        QVERIFY(program.waitForFinished(120000));
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), exitCode);
        QVERIFY2(out.contains(says), qPrintable(out));
        QCOMPARE(server.cards().size(), cards);
    }

    // Two copies of the program on two data files converge through one Radicale: what either
    // imported or added, edited, deleted or regrouped shows up in the other after a sync.
    void twoProgramsConverge() {
        DavServer server(DavServer::Kind::Radicale);
        REQUIRE_SERVER(server);
        QTemporaryDir one;
        QTemporaryDir two;
        auto run = [&](const QTemporaryDir& dir, const QStringList& arguments, const QByteArray& input) {
            QProcess program;
            QProcessEnvironment environment;
            environment.insert(QStringLiteral("ZINTEVA_DIR"), dir.path());
            environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
            environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(ZINTEVA_PROGRAM), arguments);
            if (!program.waitForStarted(10000))
                return -1;
            program.write(input);
            program.closeWriteChannel();
            if (!program.waitForFinished(120000))
                return -1;
            return program.exitCode();
        };
        auto sync = [&](const QTemporaryDir& dir) {
            return run(dir,
                       {QStringLiteral("--sync"), QStringLiteral("--sync-url"), server.base().toString(),
                        QStringLiteral("--sync-user"), server.user()},
                       server.password().toUtf8() + "\n");
        };
        auto syncAll = [&] { return sync(one) == 0 && sync(two) == 0 && sync(one) == 0; };
        auto open = [](const QTemporaryDir& dir) { return Store::open(DataPaths::in(dir.path()).data); };
        auto keyOf = [](Store& store, const QString& name) {
            QString found;
            store.forEachTreeContact([&](std::string_view key, std::string_view, std::string_view n) {
                if (QString::fromUtf8(n.data(), n.size()) == name)
                    found = QString::fromUtf8(key.data(), key.size());
            });
            return found;
        };
        // Every person as name, mobile, group and remarks.
        auto people = [&](const QTemporaryDir& dir) {
            auto store = open(dir);
            QHash<QString, QString> groups;
            for (const GroupRow& g : store->groups())
                groups.insert(g.key, g.name);
            QStringList out;
            store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view) {
                const ContactFields f = *store->loadContact(QString::fromUtf8(key.data(), key.size()));
                out.append(QStringList{f.name, f.mobile, groups.value(f.groupKey), f.remarks}.join(u'|'));
            });
            out.sort();
            return out;
        };
        for (const QTemporaryDir* dir : {&one, &two})
            Store::createEmpty(DataPaths::in(dir->path()).data);

        const QString file = one.filePath(QStringLiteral("in.vcf"));
        QFile cards(file);
        QVERIFY(cards.open(QIODevice::WriteOnly));
        cards.write(phoneCard(QStringLiteral("in-1"), QStringLiteral("张三"), "TEL;TYPE=CELL:111\r\nCATEGORIES:家人\r\n") +
                    phoneCard(QStringLiteral("in-2"), QStringLiteral("李四"), "CATEGORIES:同事\r\n"));
        cards.close();
        QCOMPARE(run(one, {QStringLiteral("--import"), file}, {}), 0);
        {
            auto store = open(two);
            ContactFields f;
            f.groupKey = store->addGroup(QStringLiteral("朋友"));
            f.name = QStringLiteral("王五");
            store->addContact(f);
        }
        QVERIFY(syncAll());
        QCOMPARE(people(one), (QStringList{"张三|111|家人|", "李四||同事|", "王五||朋友|"}));
        QCOMPARE(people(two), people(one));

        {
            auto store = open(one);
            const QString key = keyOf(*store, QStringLiteral("张三"));
            ContactFields f = *store->loadContact(key);
            f.mobile = QStringLiteral("222");
            store->updateContact(key, f);
            store->renameGroup(f.groupKey, QStringLiteral("亲人"));
        }
        {
            auto store = open(two);
            store->deleteContact(keyOf(*store, QStringLiteral("李四")));
            const QString key = keyOf(*store, QStringLiteral("王五"));
            ContactFields f = *store->loadContact(key);
            f.remarks = QStringLiteral("新");
            store->updateContact(key, f);
        }
        QVERIFY(syncAll());
        QCOMPARE(people(one), (QStringList{"张三|222|亲人|", "王五||朋友|新"}));
        QCOMPARE(people(two), people(one));
        QCOMPARE(server.cards().size(), 2);
    }

private:
    static bool isSuccessful(int status) { return status >= 200 && status < 300; }

    bool isolated_; // a mount namespace of the test's own: a small full disk can be made
    QString why_;
};

ZINTEVA_TEST_MAIN_IN_MOUNT_NAMESPACE(QCoreApplication, TestSync)
#include "tst_sync.moc"
