// The sync against a server that misbehaves in ways real servers will not show on demand: an address
// book listed empty, a redirect or a discovery that leads to another host, answers that trickle or
// break off, thousands of cards sharing one UID, a picture of 37 MB.
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "core/sync/SyncEngine.h"
#include "support/HostileServer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray card(const QString& uid, const QString& name, const QByteArray& extra = {}) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid.toUtf8() + "\r\nFN:" + name.toUtf8() + "\r\nN:" + name.toUtf8() +
           ";;;;\r\n" + extra + "END:VCARD\r\n";
}

void fill(HostileServer& server, int count) {
    for (int i = 0; i < count; ++i)
        server.cards.insert(QStringLiteral("c%1.vcf").arg(i),
                            card(QStringLiteral("u%1").arg(i), QStringLiteral("联系人%1").arg(i)));
}

// One data file and the sync of it against the hostile server.
struct Copy {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("tavrel.db"));
    std::unique_ptr<Store> store;
    DavClient::Deadlines deadlines;
    bool allowMassDeletion = false;
    QString otherHost;
    Copy() {
        Store::createEmpty(path);
        store = Store::open(path);
    }
    SyncReport sync(HostileServer& server, const QUrl& url = {}) {
        DavClient client(server.user(), server.password());
        client.deadlines = deadlines;
        SyncAccount account;
        account.url = (url.isEmpty() ? server.addressBook() : url).toString();
        account.user = server.user();
        account.otherHost = otherHost;
        SyncEngine engine(*store, path, client, account);
        engine.allowMassDeletion = allowMassDeletion;
        return engine.run();
    }
    QString keyOf(const QString& name) {
        QString found;
        store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view n) {
            if (QString::fromUtf8(n.data(), qsizetype(n.size())) == name)
                found = QString::fromUtf8(key.data(), qsizetype(key.size()));
        });
        return found;
    }
};

} // namespace

class TestSyncHostile : public QObject {
    Q_OBJECT

private slots:
    // Cards gone from the server delete their people here, into the recently deleted; but a run that
    // would delete more than ten people and more than half of the directory stops first and writes
    // nothing until the user says yes.
    void massDeletionNeedsAYes_data() {
        QTest::addColumn<int>("people");
        QTest::addColumn<int>("gone");
        QTest::addColumn<bool>("emptied"); // the listing names none, though the cards are there
        QTest::addColumn<bool>("stops");
        QTest::newRow("an emptied listing") << 300 << 300 << true << true;
        QTest::newRow("eleven of twenty") << 20 << 11 << false << true;
        QTest::newRow("eleven of thirty: not half") << 30 << 11 << false << false;
        QTest::newRow("ten of twelve: only ten") << 12 << 10 << false << false;
    }
    void massDeletionNeedsAYes() {
        QFETCH(int, people);
        QFETCH(int, gone);
        QFETCH(bool, emptied);
        QFETCH(bool, stops);
        HostileServer server;
        QVERIFY(server.listening());
        fill(server, people);
        Copy copy;
        SyncReport r = copy.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(copy.store->contactCount(), people);

        if (emptied)
            server.faults.insert("LIST", HostileServer::Fault::EmptyListing);
        for (int i = 0; i < gone && !emptied; ++i)
            server.cards.remove(QStringLiteral("c%1.vcf").arg(i));
        r = copy.sync(server);
        const int deleted = copy.store->recentlyDeleted().list().size();
        if (stops) {
            QVERIFY(!r.ok);
            QCOMPARE(r.massDeletion, gone);
            QCOMPARE(r.directorySize, people);
            QVERIFY2(r.text().contains(QStringLiteral("要在本地删除 %1 个联系人").arg(gone)), qPrintable(r.text()));
            QCOMPARE(copy.store->contactCount(), people);
            QCOMPARE(deleted, 0);
            copy.allowMassDeletion = true;
            r = copy.sync(server);
        }
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.deletedHere, gone);
        QCOMPARE(copy.store->contactCount(), people - gone);
        QCOMPARE(int(copy.store->recentlyDeleted().list().size()), gone);
    }

    // Someone the sync deleted comes back from the recently deleted, and back onto the server.
    void restoreTravelsBackUp() {
        HostileServer server;
        fill(server, 3);
        Copy copy;
        QVERIFY(copy.sync(server).ok);
        server.cards.remove(QStringLiteral("c1.vcf"));
        SyncReport r = copy.sync(server);
        QVERIFY2(r.ok && r.deletedHere == 1, qPrintable(r.text()));
        const std::vector<DeletedContact> deleted = copy.store->recentlyDeleted().list();
        QCOMPARE(deleted.size(), size_t(1));
        QCOMPARE(deleted.front().name, QStringLiteral("联系人1"));
        QVERIFY(!copy.store->restoreDeleted(deleted.front().id).isEmpty());
        r = copy.sync(server);
        QVERIFY2(r.ok && r.uploaded == 1, qPrintable(r.text()));
        QCOMPARE(server.cards.size(), 3);
        int carrying = 0;
        for (const QByteArray& c : std::as_const(server.cards))
            carrying += c.contains("FN:联系人1\r\n") ? 1 : 0;
        QCOMPARE(carrying, 1);
        QCOMPARE(copy.store->contactCount(), 3);
    }

    // The command line refuses a mass deletion with a message that names its option, and deletes
    // with the option given.
    void commandLineRefusesMassDeletion_data() {
        QTest::addColumn<bool>("allow");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("left");
        QTest::newRow("refused") << false << 1 << 30;
        QTest::newRow("--sync-allow-delete") << true << 0 << 0;
    }
    void commandLineRefusesMassDeletion() {
        QFETCH(bool, allow);
        QFETCH(int, exitCode);
        QFETCH(int, left);
        HostileServer server;
        fill(server, 30);
        QTemporaryDir dir;
        const QString data = DataPaths::in(dir.path()).data;
        Store::createEmpty(data);
        {
            Copy first;
            first.path = data;
            first.store = Store::open(data);
            QVERIFY(first.sync(server).ok);
        }
        server.faults.insert("LIST", HostileServer::Fault::EmptyListing);
        QProcess program;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("ZINTEVA_DIR"), dir.path());
        environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        program.setProcessEnvironment(environment);
        QStringList arguments{QStringLiteral("--sync"), QStringLiteral("--sync-url"), server.addressBook().toString(),
                              QStringLiteral("--sync-user"), server.user()};
        if (allow)
            arguments << QStringLiteral("--sync-allow-delete");
        program.start(QStringLiteral(ZINTEVA_PROGRAM), arguments);
        QVERIFY(program.waitForStarted(10000));
        program.write(server.password().toUtf8() + "\n");
        program.closeWriteChannel();
        // The server lives in this thread: it answers while the test waits.
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 120000);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), exitCode);
        if (!allow)
            QVERIFY2(out.contains(QStringLiteral("要在本地删除 30 个联系人")) &&
                         out.contains(QStringLiteral("--sync-allow-delete")),
                     qPrintable(out));
        QCOMPARE(Store::open(data)->contactCount(), left);
    }

    // The password goes only to the host the user typed: not after a redirect to another host, nor
    // to the address-book home a discovery names there, until the user allows that host.
    void credentialsStayWithTheTypedHost_data() {
        QTest::addColumn<bool>("discovery");
        QTest::newRow("a redirect of the address book") << false;
        QTest::newRow("a discovery's home on another host") << true;
    }
    void credentialsStayWithTheTypedHost() {
        QFETCH(bool, discovery);
        HostileServer server;
        fill(server, 2);
        QUrl start = server.addressBook();
        if (discovery) {
            server.home = server.base(true);
            start = server.base();
        } else {
            server.redirects.insert(QStringLiteral("/book/"), server.addressBook(true));
        }
        Copy copy;
        SyncReport r = copy.sync(server, start);
        QVERIFY(!r.ok);
        QCOMPARE(server.credentialsToOtherHost(), 0);
        QCOMPARE(r.otherHost, QStringLiteral("127.0.0.2"));
        QVERIFY2(r.error.contains(QStringLiteral("另一台服务器 127.0.0.2")), qPrintable(r.error));
        QCOMPARE(copy.store->contactCount(), 0);

        copy.otherHost = r.otherHost; // the user's yes
        if (!discovery)
            server.redirects.clear(); // the other host serves the book itself: no loop of redirects
        r = copy.sync(server, discovery ? start : server.addressBook(true));
        QVERIFY2(r.ok, qPrintable(r.text()));
        QVERIFY(server.credentialsToOtherHost() > 0);
        QCOMPARE(copy.store->contactCount(), 2);
    }

    // An answer that trickles meets the request's deadline: the sync ends saying the server is too
    // slow, and nothing of the answer is written.
    void trickleMeetsTheDeadline_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("the listing") << QByteArray("LIST");
        QTest::newRow("a multiget") << QByteArray("MULTIGET");
    }
    void trickleMeetsTheDeadline() {
        QFETCH(QByteArray, request);
        HostileServer server;
        fill(server, 5);
        server.faults.insert(request, HostileServer::Fault::Trickle);
        server.trickleMs = 50;
        Copy copy;
        copy.deadlines.requestMs = 1500;
        copy.deadlines.perItemMs = 0;
        const SyncReport r = copy.sync(server);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("服务器响应太慢")), qPrintable(r.error));
        QCOMPARE(copy.store->contactCount(), 0);
        QCOMPARE(copy.store->syncTable().changeCount(), 0);
    }

    // An answer that breaks off half-way says the connection broke, not that the answer made no sense,
    // whether the server closes the connection or falls silent.
    void cutOffAnswer_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("closed") << int(HostileServer::Fault::Cut);
        QTest::newRow("silent") << int(HostileServer::Fault::Silent);
    }
    void cutOffAnswer() {
        QFETCH(int, fault);
        HostileServer server;
        fill(server, 5);
        server.faults.insert("MULTIGET", static_cast<HostileServer::Fault>(fault));
        Copy copy;
        copy.deadlines.idleMs = 1000;
        const SyncReport r = copy.sync(server);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("连接中断")), qPrintable(r.error));
        QCOMPARE(copy.store->contactCount(), 0);
    }

    // 3,000 different cards with one UID are 3,000 people: the card's address is who it is. The
    // summary names them, and the next sync changes nothing.
    void sharedUidStaysManyPeople() {
        constexpr int Count = 3000;
        HostileServer server;
        for (int i = 0; i < Count; ++i)
            server.cards.insert(QStringLiteral("c%1.vcf").arg(i),
                                card(QStringLiteral("one-uid"), QStringLiteral("联系人%1").arg(i)));
        Copy copy;
        SyncReport r = copy.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(copy.store->contactCount(), Count);
        QCOMPARE(r.downloaded, Count);
        QVERIFY2(r.text().contains(QStringLiteral("服务器上有 3000 张不同的名片共用 UID one-uid")), qPrintable(r.text()));
        QVERIFY2(r.text().contains(QStringLiteral("联系人0、联系人1")), qPrintable(r.text()));
        QCOMPARE(server.bodiesOf("PUT").size(), 0);

        server.cards[QStringLiteral("c7.vcf")] = card(QStringLiteral("one-uid"), QStringLiteral("改了名"));
        r = copy.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        QCOMPARE(r.downloaded, 1);
        QCOMPARE(copy.store->contactCount(), Count);
        QVERIFY(!copy.keyOf(QStringLiteral("改了名")).isEmpty());
        QVERIFY(!copy.keyOf(QStringLiteral("联系人8")).isEmpty());
        QCOMPARE(server.bodiesOf("PUT").size(), 0);
    }

    // No path of a local file ever goes up: not for a server picture too large to be kept here, nor
    // for a local picture too large to be read. The server's picture stays on the server.
    void noLocalPathLeaves_data() {
        QTest::addColumn<bool>("fromServer");
        QTest::newRow("a server picture of 37 MB") << true;
        QTest::newRow("a local picture of 17 MB") << false;
    }
    void noLocalPathLeaves() {
        QFETCH(bool, fromServer);
        HostileServer server;
        Copy copy;
        QByteArray picture = QByteArray("\x89PNG\r\n\x1a\n", 8);
        picture += QByteArray((fromServer ? 37 : 17) * 1024 * 1024, 'p');
        if (fromServer) {
            server.cards.insert(QStringLiteral("big.vcf"),
                                card(QStringLiteral("big"), QStringLiteral("大照片"),
                                     "PHOTO;ENCODING=b;TYPE=PNG:" + picture.toBase64() + "\r\n"));
            const SyncReport r = copy.sync(server);
            QVERIFY2(r.ok, qPrintable(r.text()));
            QVERIFY2(r.text().contains(QStringLiteral("只留在服务器上")), qPrintable(r.text()));
        } else {
            QFile file(copy.dir.filePath(QStringLiteral("big.png")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(picture) == picture.size());
            file.close();
            ContactFields f;
            f.groupKey = copy.store->addGroup(QStringLiteral("家人"));
            f.name = QStringLiteral("大照片");
            f.photo = file.fileName();
            copy.store->addContact(f);
        }
        const QString key = copy.keyOf(QStringLiteral("大照片"));
        ContactFields f = *copy.store->loadContact(key);
        f.mobile = QStringLiteral("13900000000");
        copy.store->updateContact(key, f);
        const SyncReport r = copy.sync(server);
        QVERIFY2(r.ok, qPrintable(r.text()));
        const QList<QByteArray> puts = server.bodiesOf("PUT");
        QCOMPARE(puts.size(), 1);
        QVERIFY(puts.front().contains("13900000000"));
        QVERIFY2(!puts.front().contains("file:") && !puts.front().contains(copy.dir.path().toUtf8()),
                 puts.front().left(2000).constData());
        // The server's picture went back whole; a local one too large to read did not go at all.
        QCOMPARE(puts.front().contains(picture.toBase64().left(16)), fromServer);
    }
};

QTEST_GUILESS_MAIN(TestSyncHostile)
#include "tst_synchostile.moc"
