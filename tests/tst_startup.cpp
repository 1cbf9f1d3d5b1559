// The start-up guard, the close step and the settings: what protects the user's data file.
#include "core/app/Layout.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "core/store/ContactFields.h"
#include "core/store/PinyinKeys.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "gui/app/KeyFiller.h"
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/DbDump.h"
#include "support/Fixture.h"
#include "support/StatementCounter.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <SQLiteCpp/SQLiteCpp.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void guardPaths_data() {
        QTest::addColumn<bool>("data");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("proceeds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        QTest::newRow("data present") << true << false << -1 << true << QString() << 0;
        QTest::newRow("both missing") << false << false << -1 << false << guardtext::BothMissing
                                      << int(MsgIcon::Critical);
        QTest::newRow("restore yes") << false << true << int(MsgAnswer::Yes) << true << guardtext::OfferRestore
                                     << int(MsgIcon::Question);
        QTest::newRow("restore no") << false << true << int(MsgAnswer::No) << false << guardtext::OfferRestore
                                    << int(MsgIcon::Question);
    }
    void guardPaths() {
        QFETCH(bool, data);
        QFETCH(bool, backup);
        QFETCH(int, answer);
        QFETCH(bool, proceeds);
        QFETCH(QString, text);
        QFETCH(int, icon);
        Fixture fx;
        fx.addGroup("同学");
        fx.state.Conn.reset();
        QVERIFY(QFile::copy(fx.paths.data, fx.paths.backup));
        const QByteArray backupBytes = bytesOf(fx.paths.backup);
        if (!backup)
            QFile::remove(fx.paths.backup);
        if (!data)
            QFile::remove(fx.paths.data);
        if (answer >= 0)
            fx.dialogs.answers.push_back(MsgAnswer(answer));

        StartupGuard guard(fx.paths);
        QCOMPARE(guard.run(fx.dialogs), proceeds);
        if (text.isEmpty()) {
            QVERIFY(fx.dialogs.messages.isEmpty());
        } else {
            QCOMPARE(fx.dialogs.messages.size(), 1);
            const Message m = fx.dialogs.last();
            QCOMPARE(m.text, text);
            QCOMPARE(int(m.icon), icon);
            if (m.icon == MsgIcon::Question) {
                QCOMPARE(m.caption, guardtext::RestoreCaption);
                QCOMPARE(m.buttons, MsgButtons::YesNo);
            } else {
                QCOMPARE(m.caption, QString()); // the application's title
                QCOMPARE(m.buttons, MsgButtons::Ok);
            }
        }
        if (backup)
            QCOMPARE(bytesOf(fx.paths.backup), backupBytes); // the backup is never touched at start
        if (!data && backup && answer == int(MsgAnswer::Yes)) {
            // The restore is a copy made through SQLite: the same contents, its own file header.
            QCOMPARE(dumpFile(fx.paths.data), dumpFile(fx.paths.backup));
            QCOMPARE(Store::open(fx.paths.data)->groups().front().name, QString("同学"));
        }
        if (!data && answer == int(MsgAnswer::No))
            QVERIFY(!QFile::exists(fx.paths.data));
    }

    void restoreRemovesStaleJournalAndRefusesDamagedBackup() {
        Fixture fx;
        QVERIFY(QFile::copy(fx.paths.data, fx.paths.backup));
        QFile::remove(fx.paths.data);
        writeBytes(fx.paths.data + "-journal", QByteArray(1024, 'j'));
        QString error;
        QVERIFY(restoreBackup(fx.paths, &error));
        QVERIFY(!QFile::exists(fx.paths.data + "-journal"));
        QVERIFY(Store::open(fx.paths.data)->quickCheck() == "ok");

        QFile::remove(fx.paths.data);
        writeBytes(fx.paths.backup, QByteArray(8192, 'x'));
        QVERIFY(!restoreBackup(fx.paths, &error));
        QVERIFY(!QFile::exists(fx.paths.data));
        QVERIFY(!error.isEmpty());
    }

    void secondCopyIsRefused() {
        Fixture fx;
        StartupGuard first(fx.paths);
        QVERIFY(first.run(fx.dialogs));
        StartupGuard second(fx.paths);
        QVERIFY(!second.run(fx.dialogs));
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.last(), msg::stop("meldra已经在运行了!"));
    }

    void staleLockOfKilledCopyIsTakenOver() {
        Fixture fx;
        const QString lockPath = StartupGuard::lockPathFor(fx.paths.dir);
        const pid_t child = fork();
        if (child == 0) {
            StartupGuard guard(fx.paths);
            FakeDialogs quiet;
            if (!guard.run(quiet))
                _exit(3);
            for (;;)
                pause();
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockPath), 10000);
        StartupGuard whileRunning(fx.paths);
        QVERIFY(!whileRunning.run(fx.dialogs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(QFile::exists(lockPath)); // a killed copy leaves its lock behind
        StartupGuard next(fx.paths);
        QVERIFY(next.run(fx.dialogs));
    }

    void closeWritesSettingsAndRefreshesBackup() {
        Fixture fx;
        fx.addGroup("同事");
        fx.state.Conn.reset();
        Frm_main& window = fx.window();
        window.move(100, 50);
        window.resize(700, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QVERIFY(!fx.state.Conn);
        QCOMPARE(dumpFile(fx.paths.backup), dumpFile(fx.paths.data));
        QCOMPARE(fx.settings->text(setting::State), QString("0"));
        const QRect outer = window.frameGeometry();
        QCOMPARE(fx.settings->text(setting::Left), QString::number(outer.x() * 15));
        QCOMPARE(fx.settings->text(setting::Top), QString::number(outer.y() * 15));
        QCOMPARE(fx.settings->text(setting::Width), QString::number(outer.width() * 15));
        QCOMPARE(fx.settings->text(setting::Height), QString::number(outer.height() * 15));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    // The close step checks the data file before it trusts it for the backup. A start that finds the
    // file exactly as that check left it does not read it through again, and pinyin keys that no
    // other program can have made stale are not looked for; anything else is checked.
    void startChecksOnlyWhatCanHaveChanged_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("integrityChecks");
        QTest::addColumn<int>("staleKeyReads");
        QTest::newRow("untouched") << "" << 0 << 0;
        QTest::newRow("written by another program") << "write" << 1 << 2; // the one name, then none
        QTest::newRow("modification time changed") << "touch" << 1 << 0;
        QTest::newRow("replaced by a copy") << "copy" << 1 << 0;
        QTest::newRow("no orderly close") << "unstamped" << 1 << 0;
        QTest::newRow("journal beside it") << "journal" << 1 << 0;
    }
    void startChecksOnlyWhatCanHaveChanged() {
        QFETCH(QString, change);
        QFETCH(int, integrityChecks);
        QFETCH(int, staleKeyReads);
        Fixture fx;
        fx.addContact(fx.addGroup("同事"), "张三");
        auto session = [&](StatementCounter* counter) {
            Frm_main& window = fx.window();
            QSignalSpy filled(window.keyFiller(), &PinyinKeyFiller::filled);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            if (!counter || staleKeyReads > 0)
                QVERIFY(filled.count() > 0 || filled.wait(20000));
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            QVERIFY(window.keyFiller()->wait(20000));
            if (counter) {
                QCOMPARE(counter->count("pragma quick_check"), integrityChecks);
                QCOMPARE(counter->count("select p.id, p.friendid"), staleKeyReads);
            }
            fx.closeWindow();
        };
        session(nullptr); // the first start fills the keys of a file made without the window
        QVERIFY(!fx.settings->text(setting::CheckedDataFile).isEmpty());
        if (change == "write") {
            SQLite::Database other(fx.paths.data.toStdString(), SQLite::OPEN_READWRITE);
            other.exec("update phone set 姓名 = '李四'");
        } else if (change == "touch") {
            QFile file(fx.paths.data);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (change == "copy") {
            QVERIFY(QFile::copy(fx.paths.data, fx.paths.data + ".copy"));
            QVERIFY(QFile::remove(fx.paths.data));
            QVERIFY(QFile::rename(fx.paths.data + ".copy", fx.paths.data));
        } else if (change == "unstamped") {
            fx.settings->setText(setting::CheckedDataFile, QString());
        } else if (change == "journal") {
            writeBytes(fx.paths.data + "-journal", QByteArray());
        }
        StatementCounter counter;
        session(&counter);
        // Whatever was skipped, the keys are right.
        auto store = Store::open(fx.paths.data);
        const QString name = change == "write" ? "李四" : "张三";
        QCOMPARE(store->pinyinKeys().stored("friend1")->name, name);
    }

    // The tree and the list of everybody come from one read of the people, at start and after a
    // change; with a group in the list the tree reads its people itself.
    void treeAndListOfEverybodyShareOneRead_data() {
        QTest::addColumn<bool>("groupShown");
        QTest::newRow("everybody") << false;
        QTest::newRow("a group") << true;
    }
    void treeAndListOfEverybodyShareOneRead() {
        QFETCH(bool, groupShown);
        Fixture fx;
        const QString colleagues = fx.addGroup("同事");
        fx.addContact(colleagues, "张三");
        fx.addContact(fx.addGroup("朋友"), "李四");
        StatementCounter counter;
        Frm_main& window = fx.window();
        QCOMPARE(counter.count("select friendid, 姓名"), 1);
        QCOMPARE(counter.count("select friendid, mainid, 姓名"), 0);
        QCOMPARE(window.view().tree->contactCount(), 2);
        QCOMPARE(window.view().list->rowCount(), 2);
        const QString node = groupShown ? colleagues : QStringLiteral("root");
        window.apply(fx.state.refresh(node));
        QCOMPARE(counter.count("select friendid, mainid, 姓名"), groupShown ? 1 : 0);
        QCOMPARE(counter.count("select friendid, 姓名"), 2);
        QCOMPARE(window.view().tree->contactCount(), 2);
        QCOMPARE(window.view().list->rowCount(), groupShown ? 1 : 2);
        QVERIFY(window.view().tree->indexForKey(QStringLiteral("friend2")).isValid());
    }

    void damagedDataFileKeepsOldBackup() {
        Fixture fx;
        QVERIFY(QFile::copy(fx.paths.data, fx.paths.backup));
        const QByteArray good = bytesOf(fx.paths.backup);
        QByteArray damaged = bytesOf(fx.paths.data);
        damaged.replace(0, 16, "not a database!!");
        writeBytes(fx.paths.data, damaged);
        QString error;
        QVERIFY(!refreshBackup(fx.paths, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(fx.paths.backup), good);
        QVERIFY(!QFile::exists(fx.paths.backup + ".tmp"));
    }

    void failingCopyKeepsOldBackup() {
        // Root ignores permission bits: a file size limit in a child process makes the copy fail.
        Fixture fx;
        for (int i = 0; i < 200; ++i)
            fx.addContact(fx.addGroup(QString("组%1").arg(i)), QString(200, QChar(u'名')));
        fx.state.Conn.reset();
        writeBytes(fx.paths.backup, QByteArray("old backup"));
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            QString error;
            _exit(refreshBackup(fx.paths, &error) ? 0 : 7);
        }
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 7);
        QCOMPARE(bytesOf(fx.paths.backup), QByteArray("old backup"));
        QVERIFY(!QFile::exists(fx.paths.backup + ".tmp"));
    }

    void settingsDefaultsAndBadValues_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("day");
        QTest::newRow("missing") << QString() << 10;
        QTest::newRow("number") << "5" << 5;
        QTest::newRow("text") << "abc" << 10;
        QTest::newRow("blank") << "  " << 10;
        QTest::newRow("huge") << "1e300" << 10;
        QTest::newRow("infinite") << "inf" << 10;
        QTest::newRow("negative") << "-3" << -3;
    }
    void settingsDefaultsAndBadValues() {
        QFETCH(QString, stored);
        QFETCH(int, day);
        Fixture fx;
        if (!stored.isNull())
            fx.settings->setText(setting::Day, stored);
        QCOMPARE(fx.settings->integer(setting::Day, setting::DayDefault), day);
    }

    void firstStartUsesDefaults() {
        Fixture fx;
        Frm_main& window = fx.window();
        // At 2400, 2385 twips unless the screen is too small to show the window whole from there.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect outer(2400 / 15, 2385 / 15, 10695 / 15, 6840 / 15);
        QCOMPARE(window.pos(), QPoint(std::min(outer.left(), area.right() + 1 - outer.width()),
                                      std::min(outer.top(), area.bottom() + 1 - outer.height())));
        QCOMPARE(window.width(), (10695 - 120) / 15);
        QCOMPARE(window.height(), (6840 - 495) / 15);
        QVERIFY(!window.toolbarAtLeft());
        QVERIFY(window.action("left")->isVisible());
        QVERIFY(window.action("right")->isVisible());
        QCOMPARE(fx.state.RemindDays, 10);
    }

    void savedPlacementIsRestored() {
        Fixture fx;
        fx.settings->setText(setting::State, "2");
        fx.settings->setText(setting::Toolbar, "1");
        fx.settings->setText(setting::Left, "garbage");
        Frm_main& window = fx.window();
        QVERIFY(window.windowState() & Qt::WindowMaximized);
        QVERIFY(window.toolbarAtLeft());
        QCOMPARE(window.frameLeftTwips(), 5.0 + 795);
        QVERIFY(!window.action("left")->isVisible());
        QVERIFY(window.action("right")->isVisible());
        QVERIFY(window.action("config")->isVisible());
    }

    void layoutNumbers_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("listWidth");
        QTest::addColumn<double>("viewHeight");
        QTest::newRow("default size") << 10695.0 << 6840.0 << 7635.0 << 6140.0;
        QTest::newRow("width at threshold") << 3100.0 << 6840.0 << 7660.0 << 6140.0;
        QTest::newRow("just above width") << 3101.0 << 6840.0 << 41.0 << 6140.0;
        QTest::newRow("height at threshold") << 10695.0 << 6000.0 << 7635.0 << 6195.0;
        QTest::newRow("just above height") << 10695.0 << 6001.0 << 7635.0 << 5301.0;
        QTest::newRow("minimised") << 2400.0 << 500.0 << 7660.0 << 6195.0;
    }
    void layoutNumbers() {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(double, listWidth);
        QFETCH(double, viewHeight);
        const layout::Sizes s = layout::resized(layout::Sizes{}, width, height);
        QCOMPARE(s.listWidth, listWidth);
        QCOMPARE(s.listHeight, viewHeight);
        QCOMPARE(s.treeHeight, viewHeight);
    }

    void windowAppliesLayout() {
        Fixture fx;
        Frm_main& window = fx.window();
        QCOMPARE(window.sizes().listWidth, 7635.0);
        QCOMPARE(window.sizes().listHeight, 6140.0);
        QCOMPARE(window.LV()->width(), 7635 / 15);
        QCOMPARE(window.TV()->width(), 1935 / 15);
        QCOMPARE(window.Toolbar1()->geometry().right(), window.width() - 1);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
