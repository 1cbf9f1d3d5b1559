// The sync's windows: the settings dialog finds the address book of a real server off the window's
// thread, and the conflict list takes a local value back into the contact.
#include "core/app/Settings.h"
#include "core/store/Store.h"
#include "core/sync/SyncEngine.h"
#include "core/text/Clock.h"
#include "gui/sync/ConflictsDialog.h"
#include "gui/sync/SyncAccountSettings.h"
#include "gui/sync/SyncController.h"
#include "gui/sync/SyncSettingsDialog.h"
#include "support/DavServer.h"
#include "support/FakeDialogs.h"
#include "support/HostileServer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestSyncWindow : public QObject {
    Q_OBJECT

private slots:
    void settingsFindTheAddressBook_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown");
        QTest::newRow("right password") << QStringLiteral("secret") << QStringLiteral("连接成功，找到 1 个通讯录");
        QTest::newRow("wrong password") << QStringLiteral("nope") << QStringLiteral("连接失败：用户名或密码不对");
    }
    void settingsFindTheAddressBook() {
        QFETCH(QString, password);
        QFETCH(QString, shown);
        DavServer server(DavServer::Kind::Radicale);
        if (!server.missing().isEmpty())
            QSKIP(qPrintable(server.missing()));
        FakeDialogs dialogs;
        SyncAccount account;
        account.url = server.base().toString();
        account.user = server.user();
        SyncSettingsDialog dialog(account, 15, password, dialogs);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("同步设置"));
        QCOMPARE(dialog.intervalBox()->currentText(), QStringLiteral("每 15 分钟"));
        QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
        QSignalSpy finished(&dialog, &SyncSettingsDialog::testFinished);
        dialog.testConnection();
        QVERIFY(finished.wait(120000));
        QVERIFY2(dialog.resultText().startsWith(shown), qPrintable(dialog.resultText()));
        if (password == server.password()) {
            QCOMPARE(dialog.account().addressBook, server.addressBook().toString());
            QCOMPARE(dialog.intervalMinutes(), 15);
        }
        QVERIFY(dialogs.messages.isEmpty());
    }

    // The settings say what kind of server they are for and what an address looks like: a
    // server's, or an address book's full URL.
    void settingsSayWhatToType() {
        FakeDialogs dialogs;
        SyncSettingsDialog dialog(SyncAccount{}, 0, QString(), dialogs);
        QVERIFY(dialog.findChild<QLabel*>("about")->text().contains(QStringLiteral("CardDAV")));
        const QString examples = dialog.findChild<QLabel*>("examples")->text();
        QCOMPARE(examples.count(QStringLiteral("https://")), 2);
        QVERIFY(examples.contains(QStringLiteral("https://dav.example.com\n")));
        QVERIFY(examples.contains(QStringLiteral("https://dav.example.com/addressbooks/zhangsan/contacts/")));
    }

    // The connection test of the settings finds the address book on another host only after the
    // user's yes, and keeps that yes with the account.
    void settingsAskBeforeAnotherHost_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no") << int(MsgAnswer::No) << QStringLiteral("连接失败：服务器把同步引向了另一台服务器 127.0.0.2");
        QTest::newRow("yes") << int(MsgAnswer::Yes) << QStringLiteral("连接成功，找到 1 个通讯录");
    }
    void settingsAskBeforeAnotherHost() {
        QFETCH(int, answer);
        QFETCH(QString, shown);
        HostileServer server;
        server.home = server.base(true);
        FakeDialogs dialogs;
        dialogs.answers.push_back(static_cast<MsgAnswer>(answer));
        SyncAccount account;
        account.url = server.base().toString();
        account.user = server.user();
        SyncSettingsDialog dialog(account, 0, server.password(), dialogs);
        QSignalSpy finished(&dialog, &SyncSettingsDialog::testFinished);
        dialog.testConnection();
        const bool yes = answer == int(MsgAnswer::Yes);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), yes ? 2 : 1, 60000);
        QTRY_VERIFY(!dialog.testing());
        QVERIFY2(dialog.resultText().startsWith(shown), qPrintable(dialog.resultText()));
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages.front().text.contains(QStringLiteral("不是您输入的 127.0.0.1")));
        QCOMPARE(server.credentialsToOtherHost() > 0, yes);
        QCOMPARE(dialog.account().otherHost, yes ? QStringLiteral("127.0.0.2") : QString());
        if (yes)
            QCOMPARE(dialog.account().addressBook, server.addressBook(true).toString());
    }

    // A sync that stopped for the user's yes asks through the window and goes on only with it: one
    // that would delete most of the directory, one that would take the password to another host.
    void stoppedSyncAsks_data() {
        QTest::addColumn<bool>("otherHost");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("people"); // here at the end
        const QString deletion = QStringLiteral("这次同步要在本地删除 12 个联系人（共 12 个）");
        const QString host = QStringLiteral("另一台服务器 127.0.0.2，不是您输入的 127.0.0.1");
        QTest::newRow("mass deletion, no") << false << int(MsgAnswer::No) << deletion << 12;
        QTest::newRow("mass deletion, yes") << false << int(MsgAnswer::Yes) << deletion << 0;
        QTest::newRow("another host, no") << true << int(MsgAnswer::No) << host << 0;
        QTest::newRow("another host, yes") << true << int(MsgAnswer::Yes) << host << 12;
    }
    void stoppedSyncAsks() {
        QFETCH(bool, otherHost);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFETCH(int, people);
        HostileServer server;
        for (int i = 0; i < 12; ++i)
            server.cards.insert(QStringLiteral("c%1.vcf").arg(i),
                                "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u" + QByteArray::number(i) + "\r\nFN:人" +
                                    QByteArray::number(i) + "\r\nEND:VCARD\r\n");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tavrel.db"));
        Store::createEmpty(path);
        Settings settings(dir.filePath(QStringLiteral("s.ini")));
        SyncAccount account;
        account.user = server.user();
        account.url = server.addressBook().toString();
        if (otherHost) {
            server.home = server.base(true);
            account.url = server.base().toString();
        } else {
            auto store = Store::open(path);
            DavClient client(server.user(), server.password());
            QVERIFY(SyncEngine(*store, path, client, account).run().ok);
            QCOMPARE(store->contactCount(), 12);
            server.faults.insert("LIST", HostileServer::Fault::EmptyListing);
        }
        syncsettings::save(settings, account);
        FakeDialogs dialogs;
        dialogs.inputAnswers.push_back(server.password());
        dialogs.answers.push_back(static_cast<MsgAnswer>(answer));
        QWidget window;
        DirectorySession session; // no data file open in the window
        SyncController controller(&window, dialogs, settings, path, session, {});
        QSignalSpy finished(&controller, &SyncController::syncFinished);
        controller.syncNow();
        const int runs = answer == int(MsgAnswer::Yes) ? 2 : 1;
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), runs, 60000);
        QVERIFY(!controller.job().isRunning());
        QCOMPARE(dialogs.messages.size(), 1);
        const Message question = dialogs.messages.front();
        QVERIFY2(question.text.contains(asked), qPrintable(question.text));
        QCOMPARE(question.buttons, MsgButtons::YesNo);
        QCOMPARE(question.defaultButton, MsgAnswer::No);
        QCOMPARE(Store::open(path)->contactCount(), people);
        QCOMPARE(server.credentialsToOtherHost() > 0, otherHost && runs == 2);
        QCOMPARE(syncsettings::load(settings).otherHost,
                 otherHost && runs == 2 ? QStringLiteral("127.0.0.2") : QString());
    }

    void conflictsTakeBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tavrel.db"));
        Store::createEmpty(path);
        auto store = Store::open(path);
        ContactFields f;
        f.groupKey = store->addGroup(QStringLiteral("家人"));
        f.name = QStringLiteral("张三");
        f.mobile = QStringLiteral("111");
        const QString key = store->addContact(f);
        store->syncTable().addConflict({0, key, f.name, QStringLiteral("mobile"), QStringLiteral("222"),
                                        QStringLiteral("111"), QStringLiteral("2026-01-02T03:04:05Z")});
        store->syncTable().addConflict({0, key, f.name, QStringLiteral("remarks"), QStringLiteral("旧备注"),
                                        QString(), QStringLiteral("2026-01-02T03:04:05Z")});
        store->syncTable().dropChange(key); // as after a sync
        FakeDialogs dialogs;
        FixedClock clock{QDate(2026, 1, 3)};
        DirectorySession session;
        session.env.clock = &clock;
        session.Conn = std::move(store);
        session.enableHistory();
        QSignalSpy changed(&session, &DirectorySession::contactsChanged);
        ConflictsDialog dialog(session, dialogs);
        QCOMPARE(dialog.table()->rowCount(), 2);
        QCOMPARE(dialog.table()->item(0, 1)->text(), QStringLiteral("移动电话"));
        QCOMPARE(dialog.table()->item(0, 2)->text(), QStringLiteral("222"));
        dialog.table()->selectRow(0);
        dialog.takeBack();
        Store& taken = *session.Conn;
        QCOMPARE(taken.loadContact(key)->mobile, QStringLiteral("222"));
        QCOMPARE(changed.size(), 1); // the window refreshes from the notice
        QCOMPARE(changed.front().front().toStringList(), QStringList{key});
        QCOMPARE(dialog.table()->rowCount(), 1);
        QCOMPARE(taken.syncTable().changeCount(), 1); // the value taken back travels at the next sync
        // One step of the window's history.
        QVERIFY(session.canUndo());
        QVERIFY(session.undo().ok);
        QCOMPARE(taken.loadContact(key)->mobile, QStringLiteral("111"));
        QVERIFY(session.redo().ok);
        QCOMPARE(taken.loadContact(key)->mobile, QStringLiteral("222"));
        dialog.table()->selectRow(0);
        dialog.dismiss(); // the server's (empty) remarks stay
        QCOMPARE(dialog.table()->rowCount(), 0);
        QCOMPARE(taken.loadContact(key)->remarks, QString());
        QVERIFY(dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSyncWindow)
#include "tst_syncwindow.moc"
