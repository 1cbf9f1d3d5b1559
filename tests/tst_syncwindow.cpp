// The sync's windows: the settings dialog finds the address book of a real server off the window's
// thread, and the conflict list takes a local value back into the contact.
#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "core/store/SyncTable.h"
#include "core/sync/SyncEngine.h"
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
        int refreshed = 0;
        ConflictsDialog dialog(*store, dialogs, [&] { ++refreshed; });
        QCOMPARE(dialog.table()->rowCount(), 2);
        QCOMPARE(dialog.table()->item(0, 1)->text(), QStringLiteral("移动电话"));
        QCOMPARE(dialog.table()->item(0, 2)->text(), QStringLiteral("222"));
        dialog.table()->selectRow(0);
        dialog.takeBack();
        QCOMPARE(store->loadContact(key)->mobile, QStringLiteral("222"));
        QCOMPARE(refreshed, 1);
        QCOMPARE(dialog.table()->rowCount(), 1);
        dialog.table()->selectRow(0);
        dialog.dismiss(); // the server's (empty) remarks stay
        QCOMPARE(dialog.table()->rowCount(), 0);
        QCOMPARE(store->loadContact(key)->remarks, QString());
        QCOMPARE(store->syncTable().changeCount(), 1); // the value taken back travels at the next sync
    }
};

QTEST_MAIN(TestSyncWindow)
#include "tst_syncwindow.moc"
