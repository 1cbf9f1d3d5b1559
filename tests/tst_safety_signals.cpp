// SIGTERM, SIGINT and SIGHUP in the middle of the window's own writes: the record form's save (a new
// person in the modal form and in the form beside the window, an edit), 合并 in 查找重复 and a restore from 最近删除. The window runs as the program
// runs it (its signal handling, its modal forms in their own event loops, the close step from the
// event loop); the signal is raised in this process by the data file's k-th write of the command,
// k chosen from the test's seed over the writes the same command makes without a signal. Each round:
// the event loop ends through the close step (the connection released, a backup made that passes
// integrity_check and holds the same people), the data file passes integrity_check with no journal
// left, and the change the command committed is there.
#include "gui/app/MainWindow.h"
#include "gui/app/SessionEnd.h"
#include "gui/forms/DuplicatesDialog.h"
#include "gui/forms/RecentlyDeletedDialog.h"
#include "gui/forms/RecordForm.h"
#include "core/store/Store.h"
#include "support/DbDump.h"
#include "support/FaultVfs.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <SQLiteCpp/SQLiteCpp.h>
#include <climits>
#include <csignal>
#include <random>

namespace {

QString namesIn(const QString& path) {
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    SQLite::Statement names(db, "select 姓名 from phone order by 姓名, id");
    QStringList all;
    while (names.executeStep())
        all << QString::fromStdString(names.getColumn(0).getString());
    return all.join(u',');
}

} // namespace

class TestSafetySignals : public QObject {
    Q_OBJECT
    FaultVfs vfs{"zinteva-signals"};

    // The window on a data file of five people (two of them alike, one deleted earlier), the
    // command started from the event loop and acted on inside its form's own loop. `signal` 0: the
    // command runs once without one and the writes it made are returned.
    int runCommand(const QString& write, int signal, int k, QString* where) {
        Fixture fx;
        const QString classmates = fx.addGroup(QStringLiteral("同学"));
        fx.addContact(classmates, QStringLiteral("张三"), QDate(1990, 3, 12), QStringLiteral("13700000000"));
        const QString li = fx.addContact(classmates, QStringLiteral("李四"), {}, QStringLiteral("13800000001"));
        fx.addContact(classmates, QStringLiteral("王五"), QDate(1980, 3, 18), QStringLiteral("13900000002"));
        fx.addContact(classmates, QStringLiteral("王五"), {}, QStringLiteral("13900000002"));
        const QString zhao = fx.addContact(classmates, QStringLiteral("赵六"), {}, QStringLiteral("13600000003"));
        fx.state.storeOptions.vfs = vfs.name();
        std::optional<SessionEnd> sessionEnd;
        if (signal)
            sessionEnd.emplace();
        Frm_main& w = fx.window();
        w.show();
        if (sessionEnd)
            sessionEnd->setMainWindow(&w);
        w.apply(w.run([&] { return fx.state.deleteNode(zhao); }));
        clickNode(w, classmates);
        selectRow(w, li);
        w.Lvfocus = true;
        w.Tvfocus = false;

        // What the user does inside the form; the form runs its own event loop, as it does in the program.
        std::function<void(QDialog&)> act;
        QString expected; // the names in the data file once the command is done
        QString button;
        if (write.startsWith(u"save new")) {
            act = [](QDialog& form) {
                box(form, 1)->setText(QStringLiteral("孙七"));
                box(form, 3)->setText(QStringLiteral("13500000004"));
                static_cast<frm_detail&>(form).Toolbar1_ButtonClick(QStringLiteral("savebutt"));
            };
            expected = QStringLiteral("孙七,张三,李四,王五,王五");
            button = write.endsWith(u"beside") ? QStringLiteral("addnew") : QStringLiteral("addbutt");
        } else if (write == u"save edit") {
            act = [](QDialog& form) {
                box(form, 1)->setText(QStringLiteral("李小四"));
                static_cast<frm_detail&>(form).Toolbar1_ButtonClick(QStringLiteral("savebutt"));
            };
            expected = QStringLiteral("张三,李小四,王五,王五");
            button = QStringLiteral("editbutt");
        } else if (write == u"merge") {
            act = [](QDialog& form) { static_cast<DuplicatesDialog&>(form).mergeButton()->click(); };
            expected = QStringLiteral("张三,李四,王五");
            button = QStringLiteral("duplicates");
        } else {
            act = [](QDialog& form) {
                static_cast<RecentlyDeletedDialog&>(form).table()->selectRow(0);
                static_cast<RecentlyDeletedDialog&>(form).restoreButton()->click();
            };
            expected = QStringLiteral("张三,李四,王五,王五,赵六");
            button = QStringLiteral("deleted");
        }
        // 新建 ▸ 联系人 opens the form beside the window, in the window's own event loop.
        const bool beside = button == u"addnew";
        const auto actBeside = [&w, act] {
            const QList<frm_detail*> forms = w.findChildren<frm_detail*>();
            if (forms.size() == 1)
                act(*forms.front());
        };
        if (beside) {
            vfs.armAction(FaultVfs::Kind::Write, signal ? k : INT_MAX, [signal] {
                if (signal)
                    std::raise(signal);
            });
        } else if (signal) {
            fx.dialogs.formAnswers.push_back([act](QDialog& form) {
                QTimer::singleShot(0, &form, [&form, act] { act(form); });
                return form.exec(); // the user leaves it open: the close step cancels it
            });
            vfs.armAction(FaultVfs::Kind::Write, k, [signal] { std::raise(signal); });
        } else {
            fx.dialogs.formAnswers.push_back([act](QDialog& form) {
                act(form);
                return form.result();
            });
            vfs.armAction(FaultVfs::Kind::Write, INT_MAX, [] {});
        }
        const auto start = [&w, button] {
            if (button.endsWith(u"butt"))
                w.Toolbar1_ButtonClick(button);
            else
                w.Toolbar1_ButtonMenuClick(button);
        };
        if (!signal) {
            start();
            if (beside)
                actBeside();
            const int writes = vfs.seen();
            vfs.disarm();
            fx.closeWindow();
            [&] { QCOMPARE(namesIn(fx.paths.data), expected); }();
            return writes;
        }
        QTimer::singleShot(0, &w, start);
        if (beside)
            QTimer::singleShot(0, &w, actBeside);
        QTimer hang;
        hang.setSingleShot(true);
        connect(&hang, &QTimer::timeout, qApp, [] { QApplication::exit(99); });
        hang.start(60000); // fails only on a hang
        const int code = QApplication::exec();
        hang.stop();
        vfs.disarm();
        const int taken = sessionEnd->signalNumber();
        const bool connectionReleased = !fx.state.Conn;
        const bool shown = w.isVisible();
        fx.closeWindow();
        sessionEnd.reset();
        [&] {
            QVERIFY2(code == 0, qPrintable(*where + QStringLiteral(": the event loop ended with %1").arg(code)));
            QCOMPARE(taken, signal);
            QVERIFY2(connectionReleased && !shown, qPrintable(*where + ": the window did not close"));
            QVERIFY2(!QFile::exists(fx.paths.data + QStringLiteral("-journal")), qPrintable(*where + ": a journal is left"));
            QCOMPARE(integrityOfFile(fx.paths.data), QStringLiteral("ok"));
            QVERIFY2(namesIn(fx.paths.data) == expected,
                     qPrintable(*where + QStringLiteral(": the data file holds ") + namesIn(fx.paths.data)));
            // The close step ran: it made the backup from what the data file holds.
            QVERIFY2(QFile::exists(fx.paths.backup), qPrintable(*where + ": no backup, the close step did not run"));
            QCOMPARE(integrityOfFile(fx.paths.backup), QStringLiteral("ok"));
            QCOMPARE(namesIn(fx.paths.backup), expected);
        }();
        return 0;
    }

private slots:
    void signalDuringTheWindowsWrite_data() {
        QTest::addColumn<QString>("write");
        QTest::newRow("record form, new person") << QStringLiteral("save new");
        QTest::newRow("record form beside the window, new person") << QStringLiteral("save new beside");
        QTest::newRow("record form, edit") << QStringLiteral("save edit");
        QTest::newRow("合并 in 查找重复") << QStringLiteral("merge");
        QTest::newRow("restore from 最近删除") << QStringLiteral("restore");
    }
    void signalDuringTheWindowsWrite() {
        QFETCH(QString, write);
        constexpr int Rounds = 10;
        constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
        QString where = write + QStringLiteral(", unsignalled");
        const int writes = runCommand(write, 0, 0, &where);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(writes > 0, "the command wrote nothing");
        const quint64 seed = testSeed();
        std::mt19937_64 random(seed);
        for (int round = 1; round <= Rounds; ++round) {
            const int signal = Signals[round % 3];
            const int k = 1 + static_cast<int>(random() % static_cast<quint64>(writes));
            where = QStringLiteral("%1, round %2, signal %3 at write %4 of %5 (ZINTEVA_SEED=%6)")
                        .arg(write)
                        .arg(round)
                        .arg(signal)
                        .arg(k)
                        .arg(writes)
                        .arg(seed);
            runCommand(write, signal, k, &where);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%s: %d rounds, the signal at one of %d writes; ZINTEVA_SEED=%llu", qPrintable(write), Rounds, writes,
              static_cast<unsigned long long>(seed));
    }
};

QTEST_MAIN(TestSafetySignals)
#include "tst_safety_signals.moc"
