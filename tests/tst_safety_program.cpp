// The real program, started as the user would: a second copy is refused with the message while the
// first runs, and after the first is killed with SIGKILL the next start takes over its stale lock.
// Messages are read from the log that ZINTEVA_MESSAGE_LOG names, so no dialog waits for a click.
#include "core/app/CloseBackup.h"
#include "core/app/StartupGuard.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <csignal>

namespace {

constexpr int Timeout = ProgramRun::Timeout;

class Run : public ProgramRun {
public:
    Run() {
        QDir().mkpath(data());
        // The lock lives in the temporary folder: the test looks in the same one as the program.
        qputenv("TMPDIR", QFile::encodeName(temp()));
    }
    ~Run() { qunsetenv("TMPDIR"); }

    QString data() const { return path(QStringLiteral("data")); }
    QString dataFile() const { return data() + QStringLiteral("/tavrel.mdb"); }

    void start(QProcess& process) const {
        QProcessEnvironment environment = this->environment();
        environment.insert(QStringLiteral("ZINTEVA_DIR"), data());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ZINTEVA_PROGRAM), QStringList());
    }
};

} // namespace

class TestSafetyProgram : public QObject {
    Q_OBJECT

private slots:
    void secondCopyRefusedAndStaleLockTakenOver() {
        Run run;
        prepareBirthdayDataFile(run.dataFile());
        const QString lock = StartupGuard::lockPathFor(run.data());
        QVERIFY(lock.startsWith(run.data())); // beside the data file, whatever TMPDIR says

        QProcess first;
        run.start(first);
        QVERIFY(first.waitForStarted(Timeout));
        QVERIFY2(run.waitForMessages(1), "the first copy never finished loading");
        QCOMPARE(run.messages(), QStringList{oneBirthdayMessage()});
        QVERIFY(QFile::exists(lock));

        QProcess second;
        run.start(second);
        QVERIFY(second.waitForFinished(Timeout));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY(second.exitCode() != 0);
        QCOMPARE(run.messages(), (QStringList{oneBirthdayMessage(), QStringLiteral("\tmeldra已经在运行了!")}));
        QCOMPARE(first.state(), QProcess::Running); // the first copy is not disturbed

        first.kill(); // SIGKILL: no close step, the lock stays behind
        QVERIFY(first.waitForFinished(Timeout));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::exists(lock));

        QProcess third;
        run.start(third);
        QVERIFY(third.waitForStarted(Timeout));
        QVERIFY2(run.waitForMessages(3), "the next start did not get through");
        QCOMPARE(run.messages().value(2), oneBirthdayMessage());
        QCOMPARE(third.state(), QProcess::Running);

        // The lock now belongs to the third copy: a fourth is refused again.
        QProcess fourth;
        run.start(fourth);
        QVERIFY(fourth.waitForFinished(Timeout));
        QVERIFY(fourth.exitCode() != 0);
        QCOMPARE(run.messages().value(3), QStringLiteral("\tmeldra已经在运行了!"));

        third.kill();
        QVERIFY(third.waitForFinished(Timeout));
        // Killed twice, the data file is whole.
        QCOMPARE(Store::open(run.dataFile())->quickCheck(), QStringLiteral("ok"));
        QCOMPARE(Store::open(run.dataFile())->contactCount(), 1);
    }

    // An export to standard output writes there: the program never puts a file in place of a device.
    void exportToStandardOutput() {
        Run run;
        prepareBirthdayDataFile(run.dataFile());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZINTEVA_DIR"), run.data());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), run.runtime());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ZINTEVA_PROGRAM), {QStringLiteral("--export"), QStringLiteral("/dev/stdout")});
        QVERIFY(program.waitForFinished(Timeout));
        const QByteArray out = program.readAllStandardOutput();
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(out.startsWith("BEGIN:VCARD\r\n") && out.contains("FN:寿星"), out.constData());
        QVERIFY(out.contains("导出了 1 个联系人"));
    }

    // A data file that brings a trigger under the program's own prefix on the next-birthday column,
    // which the start-up reminder's pass would run and so empty the file: the window drops it before
    // its first write and says so, and the close step on SIGTERM leaves the data file and the backup
    // with everybody.
    void hostileTriggerEmptiesNeitherFileNorBackup() {
        Run run;
        prepareBirthdayDataFile(run.dataFile());
        {
            auto store = Store::open(run.dataFile());
            ContactFields f;
            f.groupKey = store->groups().front().key;
            for (const QString& name : {QStringLiteral("李四"), QStringLiteral("王五")}) {
                f.name = name;
                store->addContact(f);
            }
        }
        const DataPaths paths = DataPaths::in(run.data());
        QString error;
        QVERIFY2(refreshBackup(paths, &error), qPrintable(error));
        SQLite::Database(run.dataFile().toStdString(), SQLite::OPEN_READWRITE)
            .exec("create trigger zinteva_nb after update of nowbirthday on phone begin delete from phone; end");

        QProcess program;
        run.start(program);
        QVERIFY(program.waitForStarted(Timeout));
        QVERIFY2(run.waitForMessages(2), "the program never finished loading");
        QVERIFY2(run.messages().value(0).endsWith(
                     QStringLiteral("数据文件中有不是本程序建立的触发器 zinteva_nb，它们可能改动或拖住数据，已将它们删除。")),
                 qPrintable(run.messages().value(0)));
        QCOMPARE(run.messages().value(1), oneBirthdayMessage());
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(Timeout));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(closebackup::contactCount(paths.data), 3);
        QCOMPARE(closebackup::contactCount(paths.backup), 3);
    }

    void neitherFileStopsTheProgram() {
        Run run;
        QProcess program;
        run.start(program);
        QVERIFY(program.waitForFinished(Timeout));
        QVERIFY(program.exitCode() != 0);
        QCOMPARE(run.messages(), QStringList{QStringLiteral("\t没有找到保存数据的文件!可能已经丢失,程序中止")});
        QVERIFY(!QFile::exists(run.dataFile()));
    }
};

QTEST_GUILESS_MAIN(TestSafetyProgram)
#include "tst_safety_program.moc"
