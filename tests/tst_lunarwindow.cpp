// Lunar birthdays in the windows and on the desktop: the record form's 农历 box, the reminder list,
// the login reminder in the settings dialog, and the notification through a notification service
// on a private session bus.
#include "core/app/Autostart.h"
#include "core/app/Settings.h"
#include "core/store/Store.h"
#include "gui/app/MainWindow.h"
#include "gui/forms/ConfigDialog.h"
#include "gui/forms/RecordForm.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/tree/GroupTreeModel.h"
#include "gui/reminder/DesktopNotification.h"
#include "gui/reminder/RunningWindow.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>

namespace {

// The notification service: records every Notify call and answers, right after it, as the user
// would: a click on the notification or closing it.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotifications(QDBusConnection bus) : bus_(bus) {}
    QString answer = QStringLiteral("click"); // click, close
    QStringList summaries, bodies;
    QList<QStringList> actions;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actionList, const QVariantMap&, int) {
        summaries << summary;
        bodies << body;
        actions << actionList;
        const uint id = static_cast<uint>(summaries.size()) + 40;
        QTimer::singleShot(0, this, [this, id] {
            const QString path = QStringLiteral("/org/freedesktop/Notifications");
            const QString iface = QStringLiteral("org.freedesktop.Notifications");
            if (answer == u"click") {
                // Another notification's click first: not ours.
                bus_.send(QDBusMessage::createSignal(path, iface, QStringLiteral("ActionInvoked"))
                          << id + 1 << QStringLiteral("default"));
                bus_.send(QDBusMessage::createSignal(path, iface, QStringLiteral("ActionInvoked"))
                          << id << QStringLiteral("default"));
            } else {
                bus_.send(QDBusMessage::createSignal(path, iface, QStringLiteral("NotificationClosed")) << id << uint(2));
            }
        });
        return id;
    }

private:
    QDBusConnection bus_;
};

ContactFields grandma(const QString& group) {
    ContactFields f = contact(group, QStringLiteral("奶奶"));
    f.lunarBirthday = LunarBirthday{1950, 12, 8, false};
    return f;
}

} // namespace

class TestLunarWindow : public QObject {
    Q_OBJECT

    QProcess bus_;
    QString busAddress_;

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        if (bus_.waitForStarted() && bus_.waitForReadyRead(10000))
            busAddress_ = QString::fromLatin1(bus_.readLine()).trimmed();
    }
    void cleanupTestCase() {
        if (bus_.state() != QProcess::NotRunning) {
            bus_.terminate();
            bus_.waitForFinished(10000);
        }
    }

    void recordFormKeepsLunarBirthday() {
        Fixture fx(QDate(2026, 1, 20));
        Frm_main& w = fx.window();
        const QString g = fx.addGroup(QStringLiteral("家人"));
        {
            frm_detail form(w.view(), frm_detail::Mode::Add);
            auto* lunarBox = form.findChild<QCheckBox*>(QStringLiteral("lunarBox"));
            QVERIFY(lunarBox);
            // The 农历 box follows the birthday box in the tab order.
            QWidget* next = form.findChild<QLineEdit*>(QStringLiteral("Text2"));
            do
                next = next->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus));
            QCOMPARE(next, lunarBox);
            type(box(form, 1), QStringLiteral("奶奶"));
            lunarBox->setChecked(true);
            box(form, 2)->setText(QStringLiteral("1950年腊月初八"));
            QVERIFY(form.SaveContact());
        }
        const QString key = fx.state.CurrentContactId;
        const std::optional<ContactFields> stored = fx.state.Conn->loadContact(key);
        QVERIFY(stored);
        QCOMPARE(stored->lunarBirthday, std::optional<LunarBirthday>(LunarBirthday{1950, 12, 8, false}));
        QCOMPARE(stored->birthday, std::optional<QDate>(QDate(1951, 1, 15)));

        frm_detail form(w.view(), frm_detail::Mode::Update);
        form.showContact(*stored);
        QVERIFY(form.findChild<QCheckBox*>(QStringLiteral("lunarBox"))->isChecked());
        QCOMPARE(box(form, 2)->text(), QStringLiteral("1950年腊月初八"));
        fx.state.CurrentContactId = key;
        QVERIFY(form.SaveContact()); // saved again unchanged
        QCOMPARE(fx.state.Conn->loadContact(key), stored);
        form.findChild<QCheckBox*>(QStringLiteral("lunarBox"))->setChecked(false);
        box(form, 2)->setText(QStringLiteral("1951-1-15"));
        QVERIFY(form.SaveContact());
        QCOMPARE(fx.state.Conn->loadContact(key)->lunarBirthday, std::optional<LunarBirthday>());
        Q_UNUSED(g)
    }

    // 腊月初八 falls on 26 January 2026, 15 January 2027 and 4 January 2028.
    void reminderListShowsLunarBirthday_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("ages"); // 奶奶 was born in the lunar year 1950, 小明 in 1990
        QTest::newRow("2026") << QDate(2026, 1, 26) << QStringList{"75 岁", "36 岁"};
        QTest::newRow("2027") << QDate(2027, 1, 15) << QStringList{"76 岁", "37 岁"};
        QTest::newRow("2028") << QDate(2028, 1, 4) << QStringList{"77 岁", "38 岁"};
    }
    void reminderListShowsLunarBirthday() {
        QFETCH(QDate, today);
        Fixture fx(today);
        fx.settings->setText(setting::Day, QStringLiteral("0"));
        fx.open();
        const QString g = fx.addGroup(QStringLiteral("家人"));
        fx.state.Conn->addContact(grandma(g));
        fx.addContact(g, QStringLiteral("小明"), QDate(1990, today.month(), today.day()));
        fx.addContact(g, QStringLiteral("小红"), QDate(1990, 6, 1));
        fx.closeWindow();
        Frm_main& w = fx.window();
        w.Toolbar1_ButtonMenuClick(QStringLiteral("birthday"));
        QCOMPARE(listNames(w), (QStringList{QStringLiteral("奶奶"), QStringLiteral("小明")}));
        QCOMPARE(w.listModel()->index(0, 1).data().toString(), QStringLiteral("农历 腊月初八"));
        QCOMPARE(fx.dialogs.last().text, QStringLiteral("今天有 2 位过生日的好友"));
        // the days left and the age beside the birthday, today's rows in bold
        const ContactListModel& list = *w.listModel();
        QHeaderView* header = w.LV()->header();
        QCOMPARE(list.headerData(header->logicalIndex(2), Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("距生日"));
        QCOMPARE(list.headerData(header->logicalIndex(3), Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("将满"));
        QFETCH(QStringList, ages);
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(list.index(row, listcolumns::DaysLeft).data().toString(), QStringLiteral("今天"));
            QCOMPARE(list.index(row, listcolumns::AgeTurning).data().toString(), ages[row]);
            QVERIFY(list.index(row, 0).data(Qt::FontRole).value<QFont>().bold());
        }
        // back to a group: the fifteen columns in their own order
        TV_NodeClick(w.view(), w.treeModel()->rootIndex());
        QCOMPARE(list.columnCount(), listcolumns::Count);
        for (int column = 0; column < listcolumns::Count; ++column)
            QCOMPARE(header->logicalIndex(column), column);
    }

    // A click on the notification while a window has the folder open: that window shows the reminder.
    void notificationClickReachesTheOpenWindow() {
        if (busAddress_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        Fixture fx(QDate(2026, 1, 26));
        fx.settings->setText(setting::Day, QStringLiteral("0"));
        fx.settings->setText(setting::Birthday, QStringLiteral("0"));
        fx.open();
        fx.state.Conn->addContact(grandma(fx.addGroup(QStringLiteral("家人"))));
        fx.closeWindow();
        Frm_main& w = fx.window();
        QVERIFY(!fx.state.ListSource.isQuery());
        RunningWindow answering(
            w, [&w] { w.Toolbar1_ButtonMenuClick(QStringLiteral("birthday")); }, fx.dir.path(),
            QDBusConnection::connectToBus(busAddress_, QStringLiteral("window")));
        const QDBusConnection caller = QDBusConnection::connectToBus(busAddress_, QStringLiteral("caller"));
        QTemporaryDir otherFolder;
        QVERIFY(!RunningWindow::showReminderIn(otherFolder.path(), caller));
        QVERIFY(!fx.state.ListSource.isQuery());
        QVERIFY(RunningWindow::showReminderIn(fx.dir.path(), caller));
        QTRY_VERIFY(fx.state.ListSource.isQuery());
        QCOMPARE(listNames(w), QStringList{QStringLiteral("奶奶")});
    }

    // Calls that come while the reminder is on its way or showing raise that one: ten calls at once,
    // and ten more while it shows, open one box; once it is closed, the next call opens one again.
    void remindersDoNotStack() {
        QWidget window;
        window.show();
        int shown = 0, open = 0, most = 0;
        std::function<void()> whileShowing;
        RunningWindow answering(
            window,
            [&] {
                ++shown;
                most = std::max(most, ++open);
                QDialog box(&window);
                QTimer::singleShot(0, &box, [&] {
                    whileShowing();
                    QTimer::singleShot(0, &box, &QDialog::accept);
                });
                box.exec();
                --open;
            },
            QString(), QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"), QStringLiteral("none")));
        whileShowing = [&] {
            for (int i = 0; i < 10; ++i)
                answering.ShowReminder();
        };
        for (int i = 0; i < 10; ++i)
            answering.ShowReminder();
        QTRY_COMPARE(shown, 1);
        QTRY_COMPARE(open, 0);
        QTest::qWait(50); // nothing queued shows later
        QCOMPARE(shown, 1);
        QCOMPARE(most, 1);
        whileShowing = [] {};
        answering.ShowReminder();
        QTRY_COMPARE(shown, 2);
        QCOMPARE(most, 1);
    }

    void loginReminderOption() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        Fixture fx;
        fx.open();
        for (const bool on : {true, false}) {
            Frm_config dialog(fx.state);
            auto* loginBox = dialog.findChild<QCheckBox*>(QStringLiteral("loginBox"));
            QVERIFY(loginBox);
            QCOMPARE(loginBox->isChecked(), !on);
            loginBox->setChecked(on);
            dialog.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
            QCOMPARE(QFile::exists(config.filePath(QStringLiteral("autostart/zinteva-remind.desktop"))), on);
        }
        // Cancel writes nothing.
        Frm_config dialog(fx.state);
        dialog.findChild<QCheckBox*>(QStringLiteral("loginBox"))->setChecked(true);
        dialog.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!autostart::isInstalled());
        QVERIFY(fx.dialogs.messages.isEmpty());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void notification_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("clicked");
        QTest::newRow("clicked") << "click" << true;
        QTest::newRow("closed") << "close" << false;
    }
    void notification() {
        QFETCH(QString, answer);
        QFETCH(bool, clicked);
        if (busAddress_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QDBusConnection serviceBus = QDBusConnection::connectToBus(busAddress_, QStringLiteral("service"));
        QDBusConnection clientBus = QDBusConnection::connectToBus(busAddress_, QStringLiteral("client"));
        QVERIFY(serviceBus.isConnected() && clientBus.isConnected());
        // The service answers from a thread of its own, as another process would.
        QThread thread;
        FakeNotifications service(serviceBus);
        service.answer = answer;
        service.moveToThread(&thread);
        thread.start();
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

        BirthdayReport report;
        report.today = QDate(2027, 1, 15);
        report.windowDays = 10;
        report.rows.push_back({QStringLiteral("friend1"), QStringLiteral("奶奶<b>"), report.today, 0,
                               StoredBirthday{QDate(1951, 1, 15), LunarBirthday{1950, 12, 8, false}}});
        DesktopNotification notification(clientBus);
        QString error;
        QVERIFY2(notification.show(report.summary(), notificationBody(report), &error), qPrintable(error));
        QCOMPARE(notification.waitForClick(30000), clicked);

        thread.quit();
        thread.wait();
        QCOMPARE(service.summaries, QStringList{QStringLiteral("最近 10 天有 1 位过生日的好友")});
        QCOMPARE(service.bodies, QStringList{QStringLiteral("今天  奶奶&lt;b&gt;  农历 腊月初八")});
        QCOMPARE(service.actions.value(0).value(0), QStringLiteral("default"));
        serviceBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    void noNotificationService() {
        if (busAddress_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QDBusConnection clientBus = QDBusConnection::connectToBus(busAddress_, QStringLiteral("lonely"));
        DesktopNotification notification(clientBus);
        QString error;
        QVERIFY(!notification.show(QStringLiteral("x"), QStringLiteral("y"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!notification.waitForClick(10)); // never shown, never clicked
        QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));
    }
};

QTEST_MAIN(TestLunarWindow)
#include "tst_lunarwindow.moc"
