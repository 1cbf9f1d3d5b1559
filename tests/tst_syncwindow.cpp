// The sync's windows: the settings dialog finds the address book of a real server off the window's
// thread, and the conflict list takes a local value back into the contact.
#include "core/store/Store.h"
#include "core/sync/SyncEngine.h"
#include "core/text/Clock.h"
#include "gui/sync/ConflictsDialog.h"
#include "gui/sync/SyncSettingsDialog.h"
#include "support/DavServer.h"
#include "support/FakeDialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
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
        store->syncTable().ensureTables();
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
