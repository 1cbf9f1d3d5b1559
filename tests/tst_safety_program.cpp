// The real program, started as the user would: a second copy is refused with the message while the
// first runs, and after the first is killed with SIGKILL the next start takes over its stale lock.
// Messages are read from the log that ZINTEVA_MESSAGE_LOG names, so no dialog waits for a click.
#include "core/app/CloseBackup.h"
#include "core/app/CommandLine.h"
#include "core/app/StartupGuard.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "support/DavServer.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTextStream>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <memory>
#include <random>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    QString backupFile() const { return data() + QStringLiteral("/tavrel.tsb"); }

    void start(QProcess& process, const QStringList& arguments = {}) const {
        QProcessEnvironment environment = this->environment();
        environment.insert(QStringLiteral("ZINTEVA_DIR"), data());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ZINTEVA_PROGRAM), arguments);
    }
};

void writeCards(const QString& path, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:信号" + QByteArray::number(i) + "\r\nTEL;TYPE=CELL:139" +
                 QByteArray::number(10000000 + i) + "\r\nEND:VCARD\r\n";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Read without writing anything: no journal is rolled back, nothing is created.
QString integrityOf(const QString& path) {
    if (!QFile::exists(path))
        return QStringLiteral("missing");
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return QString::fromStdString(db.execAndGet("pragma integrity_check").getString());
}

// True once the process catches SIGTERM, SIGINT and SIGHUP: its handlers are in place.
bool catchesStopSignals(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
            const quint64 wanted = (1ULL << (SIGTERM - 1)) | (1ULL << (SIGINT - 1)) | (1ULL << (SIGHUP - 1));
            return (caught & wanted) == wanted;
        }
    }
    return false;
}


// Two users of the machine besides root: the user whose data it is (an id of its own: the kernel
// needs no account for it) and another one, nobody.
constexpr uid_t User = 64123;
constexpr uid_t Other = 65534;

// Runs `work` in a child process that is that user, as his own programs would; true when it worked.
bool asUser(uid_t uid, const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0 && work();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A new file that everybody may write, with these bytes, made by whoever runs it.
bool writeAs(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size() &&
                         ::fchmod(fd, 0666) == 0;
    return ::close(fd) == 0 && written;
}

int peopleIn(const QString& path) {
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return db.execAndGet("select count(*) from phone").getInt();
}

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

    // --- signals during writes ---------------------------------------------------------------------

    // SIGTERM, SIGINT and SIGHUP while the program writes: the write finishes or rolls back whole,
    // the close step runs (the backup is refreshed from the data file), nothing crashes. The moment
    // of each signal is random over the time the same write took without one (measured first), from
    // the moment the write could begin: the window's question before an import or a restore, the
    // program's handlers in place for a command (before them the kernel's default ends a process
    // that has not touched anything yet), the first signal for the close step's backup, where the
    // signal under test is the second one. ZINTEVA_SEED replays the moments.
    void signalsNeverCutAWrite_data() {
        QTest::addColumn<QString>("write");
        QTest::newRow("import in the window") << "window import";
        QTest::newRow("import on the command line") << "command import";
        QTest::newRow("restore at start") << "restore";
        QTest::newRow("sync on the command line") << "command sync";
        QTest::newRow("backup at close") << "backup";
    }
    void signalsNeverCutAWrite() {
        QFETCH(QString, write);
        constexpr int Rounds = 10;
        constexpr int Cards = 1500;
        constexpr int ServerCards = 300;
        constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
        const bool command = write.startsWith(u"command");
        const bool syncing = write == u"command sync";
        std::unique_ptr<DavServer> server;
        if (syncing) {
            server = std::make_unique<DavServer>(DavServer::Kind::Radicale);
            if (!server->missing().isEmpty())
                QSKIP(qPrintable(server->missing()));
            QList<QPair<QString, QByteArray>> cards;
            for (int i = 0; i < ServerCards; ++i)
                cards.append({QStringLiteral("card-%1.vcf").arg(i),
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:card-" + QByteArray::number(i) + "\r\nFN:同步" +
                                  QByteArray::number(i) + "\r\nN:同步" + QByteArray::number(i) +
                                  ";;;;\r\nTEL;TYPE=CELL:138" + QByteArray::number(10000000 + i) + "\r\nEND:VCARD\r\n"});
            QVERIFY(server->seed(cards));
        }
        Run run;
        const QString cards = run.path(QStringLiteral("cards.vcf"));
        writeCards(cards, Cards);
        // The person with a birthday and the cards: what a restore or the close step's backup starts from.
        const QString full = run.path(QStringLiteral("full.mdb"));
        const QString one = run.path(QStringLiteral("one.mdb"));
        prepareBirthdayDataFile(one);
        if (write == u"restore" || write == u"backup") {
            prepareBirthdayDataFile(full);
            QString text;
            QTextStream out(&text);
            QCOMPARE(runCommandLine({QStringLiteral("zinteva"), QStringLiteral("--import"), cards}, full, out),
                     std::optional<int>(0));
        }
        const auto prepare = [&] {
            for (const QString& name : QDir(run.data()).entryList(QDir::Files | QDir::Hidden))
                QFile::remove(QDir(run.data()).filePath(name));
            QFile::remove(run.log());
            if (write == u"restore") {
                QVERIFY(QFile::copy(full, run.backupFile()));
            } else if (write == u"backup") {
                QVERIFY(QFile::copy(full, run.dataFile()));
                QVERIFY(QFile::copy(one, run.backupFile())); // an older backup: the close step replaces it
            } else if (syncing) {
                Store::createEmpty(run.dataFile()); // nobody to send: the server's cards stay as they are
            } else {
                QVERIFY(QFile::copy(one, run.dataFile()));
            }
        };
        QProcess program;
        const auto sync = [&] {
            run.start(program, {QStringLiteral("--sync"), QStringLiteral("--sync-url"), server->base().toString(),
                                QStringLiteral("--sync-user"), server->user()});
            program.write(server->password().toUtf8() + "\n");
            program.closeWriteChannel();
        };
        // Starts the program and returns once the write may begin.
        const auto launch = [&] {
            if (write == u"command import")
                run.start(program, {QStringLiteral("--import"), cards});
            else if (syncing)
                sync();
            else if (write == u"window import")
                run.start(program, {cards});
            else
                run.start(program, {});
            QVERIFY(program.waitForStarted(Timeout));
            const auto pid = program.processId();
            if (command) {
                QTRY_VERIFY_WITH_TIMEOUT(catchesStopSignals(pid) || program.state() == QProcess::NotRunning, Timeout);
                return;
            }
            const QString mark = write == u"restore"         ? QStringLiteral("是否从备份文件恢复")
                                 : write == u"window import" ? QStringLiteral("导入通讯录吗")
                                                             : oneBirthdayMessage(); // loaded
            QTRY_VERIFY_WITH_TIMEOUT(run.messages().join(u'\n').contains(mark), Timeout);
            if (write == u"backup") {
                ::kill(static_cast<pid_t>(pid), SIGTERM); // the close step begins: the backup is the write
            }
        };
        const auto ended = [&] { return program.state() == QProcess::NotRunning || program.waitForFinished(Timeout); };

        // Without a signal, once: how long the write takes, and what it leaves.
        prepare();
        launch();
        QElapsedTimer clock;
        clock.start();
        if (command || write == u"backup") {
            QVERIFY(ended());
        } else {
            // A message after the question: the import's summary, the reminder after a restore (which
            // may be there already: a restore is quick).
            const auto answered = [&] {
                const QStringList shown = run.messages();
                const auto asked = std::find_if(shown.begin(), shown.end(), [](const QString& m) {
                    return m.contains(QStringLiteral("导入通讯录吗")) || m.contains(QStringLiteral("是否从备份文件恢复"));
                });
                return asked != shown.end() && asked + 1 != shown.end();
            };
            QTRY_VERIFY_WITH_TIMEOUT(answered(), Timeout);
        }
        const qint64 writeMs = std::max<qint64>(clock.elapsed(), 20);
        if (program.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
            QVERIFY(ended());
        }
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const int all = syncing ? ServerCards : Cards + 1;
        QCOMPARE(peopleIn(run.dataFile()), all);
        if (write == u"backup")
            QCOMPARE(peopleIn(run.backupFile()), all);

        const quint64 seed = testSeed();
        std::mt19937_64 random(seed);
        int finished = 0, cut = 0;
        for (int round = 1; round <= Rounds; ++round) {
            const int signal = Signals[round % 3];
            prepare();
            launch();
            const qint64 moment = static_cast<qint64>(random() % static_cast<quint64>(writeMs + 1));
            QTest::qWait(static_cast<int>(moment));
            if (program.state() == QProcess::Running) // a command may be done before the moment
                ::kill(static_cast<pid_t>(program.processId()), signal);
            QVERIFY(ended());
            const QString what = QStringLiteral("%1, round %2, signal %3 after %4 ms (ZINTEVA_SEED=%5)")
                                     .arg(write)
                                     .arg(round)
                                     .arg(signal)
                                     .arg(moment)
                                     .arg(seed);
            QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(what));
            const int code = program.exitCode();
            // The backup's round sends a second signal on top of the SIGTERM that began the close
            // step; when both are pending, the lower number is taken first, so either may end it.
            const bool endedAtOnce = write == u"backup" && (code == 128 + signal || code == 128 + SIGTERM);
            const bool allowed = code == 0 || (command && code == exitcode::Incomplete) || endedAtOnce;
            QVERIFY2(allowed, qPrintable(what + QStringLiteral(": exit code %1").arg(code)));
            if (endedAtOnce) {
                // Ended at once, perhaps inside a write of the close step: the next open rolls back
                // what it cut (a journal it had only begun is no journal to SQLite).
                SQLite::Database(run.dataFile().toStdString(), SQLite::OPEN_READWRITE).execAndGet("select count(*) from phone");
            } else {
                QVERIFY2(!QFile::exists(run.dataFile() + QStringLiteral("-journal")),
                         qPrintable(what + QStringLiteral(": exit code %1").arg(code)));
            }
            QCOMPARE(integrityOf(run.dataFile()), QStringLiteral("ok"));
            const int people = peopleIn(run.dataFile());
            if (syncing) {
                // What came before the signal is whole batches; the next sync brings the rest, once each.
                QVERIFY2(people >= 0 && people <= all, qPrintable(what + QStringLiteral(": %1 people").arg(people)));
                (people == all ? finished : cut) += 1;
                sync();
                QVERIFY(ended());
                QCOMPARE(program.exitCode(), 0);
                QCOMPARE(peopleIn(run.dataFile()), all);
                QCOMPARE(server->cards().size(), ServerCards);
                continue;
            }
            const int before = write == u"backup" || write == u"restore" ? all : 1;
            QVERIFY2(people == before || people == all, qPrintable(what + QStringLiteral(": %1 people").arg(people)));
            if (write == u"backup") {
                // The second signal ended the program at once: the backup is the old one or the new one, whole.
                QCOMPARE(integrityOf(run.backupFile()), QStringLiteral("ok"));
                const int saved = peopleIn(run.backupFile());
                QVERIFY2(saved == 1 || saved == all, qPrintable(what + QStringLiteral(": %1 in the backup").arg(saved)));
                (saved == all ? finished : cut) += 1;
                continue;
            }
            (people == all ? finished : cut) += 1;
            if (!command) {
                // The close step ran: it refreshed the backup from what the data file holds.
                QCOMPARE(integrityOf(run.backupFile()), QStringLiteral("ok"));
                QCOMPARE(peopleIn(run.backupFile()), people);
            }
        }
        qInfo("%s: %d rounds, %d writes finished, %d cut short and undone; the write took %lld ms unsignalled; "
              "ZINTEVA_SEED=%llu",
              qPrintable(write), Rounds, finished, cut, static_cast<long long>(writeMs), static_cast<unsigned long long>(seed));
    }

    // A second signal while the program closes ends it at once; the data file and the backup stay whole.
    void secondSignalEndsAtOnce() {
        Run run;
        const QString cards = run.path(QStringLiteral("cards.vcf"));
        writeCards(cards, 1500);
        prepareBirthdayDataFile(run.dataFile());
        QProcess program;
        run.start(program, {cards});
        QVERIFY(program.waitForStarted(Timeout));
        QTRY_VERIFY_WITH_TIMEOUT(run.messages().join(u'\n').contains(QStringLiteral("导入通讯录吗")), Timeout);
        const auto pid = static_cast<pid_t>(program.processId());
        QVERIFY(pid > 0);
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGINT); // before the event loop has even read the first

        QVERIFY(program.waitForFinished(Timeout));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        // Two signals pending together are taken lowest number first (SIGINT before SIGTERM): either
        // may be the second, which ends the program at once; or the close step ran and ended it.
        QVERIFY2(program.exitCode() == 128 + SIGINT || program.exitCode() == 128 + SIGTERM || program.exitCode() == 0,
                 qPrintable(QString::number(program.exitCode())));
        QCOMPARE(integrityOf(run.dataFile()), QStringLiteral("ok"));
        const int people = peopleIn(run.dataFile());
        QVERIFY(people == 1 || people == 1501);
        if (QFile::exists(run.backupFile()))
            QCOMPARE(integrityOf(run.backupFile()), QStringLiteral("ok"));
    }

    // --- another user's file ---------------------------------------------------------------------

    // Two real users: another user (nobody) plants a world-writable data file of his own where the
    // user keeps data, by his own process; the user's import and window, run as that user, refuse it
    // before anything is written, say why and what to do, and leave his file as he made it.
    void anotherUsersFileIsNotUsed_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("told");
        QTest::newRow("replaced in a folder others may write") << "replaced" << "chmod go-w";
        QTest::newRow("planted in a sticky folder before the first start") << "planted" << "chmod go-w";
        QTest::newRow("moved into the user's own folder by the user") << "moved" << "chown";
    }
    void anotherUsersFileIsNotUsed() {
        QFETCH(QString, how);
        QFETCH(QString, told);
        if (::geteuid() != 0)
            QSKIP("only root can act as two users here");
        QTemporaryDir base;
        QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0711), 0); // both users pass through
        const auto folder = [&](const QString& name, uid_t owner, mode_t mode) {
            const QString path = base.filePath(name);
            QDir().mkpath(path);
            const QByteArray native = QFile::encodeName(path);
            return ::chown(native.constData(), owner, owner) == 0 && ::chmod(native.constData(), mode) == 0;
        };
        QVERIFY(folder(QStringLiteral("home"), User, 0700));
        QVERIFY(folder(QStringLiteral("home/runtime"), User, 0700));
        const QString cards = base.filePath(QStringLiteral("cards.vcf"));
        writeCards(cards, 3);
        QCOMPARE(::chmod(QFile::encodeName(cards).constData(), 0644), 0);
        // His file: a sound data file with a person of his own.
        const QString his = base.filePath(QStringLiteral("his.mdb"));
        prepareBirthdayDataFile(his);
        const QByteArray hisBytes = bytesOf(his);
        const QString ours = base.filePath(QStringLiteral("ours.mdb"));
        prepareBirthdayDataFile(ours);

        QString dataDir;
        if (how == u"replaced") {
            // The user's own data file in a folder of the user's that others may write.
            dataDir = base.filePath(QStringLiteral("shared"));
            QVERIFY(folder(QStringLiteral("shared"), User, 0777));
            const QByteArray mine = QFile::encodeName(dataDir + QStringLiteral("/tavrel.mdb"));
            QVERIFY(QFile::copy(ours, dataDir + QStringLiteral("/tavrel.mdb")));
            QCOMPARE(::chown(mine.constData(), User, User), 0);
            QVERIFY(asUser(Other, [&] { return ::unlink(mine.constData()) == 0 && writeAs(mine, hisBytes); }));
        } else if (how == u"planted") {
            dataDir = base.filePath(QStringLiteral("sticky"));
            QVERIFY(folder(QStringLiteral("sticky"), User, 01777));
            QVERIFY(asUser(Other, [&] { return writeAs(QFile::encodeName(dataDir + QStringLiteral("/tavrel.mdb")), hisBytes); }));
        } else {
            // Handed over through a drop folder: a rename keeps the file his.
            QVERIFY(folder(QStringLiteral("drop"), 0, 0777));
            dataDir = base.filePath(QStringLiteral("home/data"));
            QVERIFY(folder(QStringLiteral("home/data"), User, 0700));
            const QByteArray dropped = QFile::encodeName(base.filePath(QStringLiteral("drop/contacts.mdb")));
            const QByteArray target = QFile::encodeName(dataDir + QStringLiteral("/tavrel.mdb"));
            QVERIFY(asUser(Other, [&] { return writeAs(dropped, hisBytes); }));
            QVERIFY(asUser(User, [&] { return ::rename(dropped.constData(), target.constData()) == 0; }));
        }
        const QString data = dataDir + QStringLiteral("/tavrel.mdb");
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(data).constData(), &st), 0);
        QCOMPARE(st.st_uid, Other);

        const QString home = base.filePath(QStringLiteral("home"));
        const QString log = home + QStringLiteral("/messages.log");
        const auto runAsUser = [&](QProcess& program, const QStringList& arguments) {
            QProcessEnvironment environment;
            environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
            environment.insert(QStringLiteral("HOME"), home);
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
            environment.insert(QStringLiteral("TMPDIR"), home);
            environment.insert(QStringLiteral("ZINTEVA_MESSAGE_LOG"), log);
            environment.insert(QStringLiteral("ZINTEVA_DIR"), dataDir);
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            for (const char* sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) { // as the sanitizer run asks
                if (qEnvironmentVariableIsSet(sanitizer))
                    environment.insert(QString::fromLatin1(sanitizer), qEnvironmentVariable(sanitizer));
            }
            program.setProcessEnvironment(environment);
            program.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(User) != 0 || ::setuid(User) != 0)
                    ::_exit(127);
            });
            program.start(QStringLiteral(ZINTEVA_PROGRAM), arguments);
            return program.waitForFinished(Timeout);
        };

        QProcess import;
        QVERIFY(runAsUser(import, {QStringLiteral("--import"), cards}));
        const QString said = QString::fromUtf8(import.readAllStandardOutput());
        QCOMPARE(import.exitCode(), exitcode::Incomplete);
        QVERIFY2(said.contains(told) && said.contains(QStringLiteral("为安全起见不使用它")), qPrintable(said));
        QProcess window;
        QVERIFY(runAsUser(window, {}));
        QVERIFY(window.exitCode() != 0);
        QFile messages(log);
        QVERIFY(messages.open(QIODevice::ReadOnly));
        const QStringList shown = QString::fromUtf8(messages.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(told) && shown[0].contains(QStringLiteral("为安全起见不使用它")), qPrintable(shown[0]));
        // His file is as he made it, and nothing of the user's sits beside it.
        QCOMPARE(bytesOf(data), hisBytes);
        QVERIFY(!QFile::exists(dataDir + QStringLiteral("/.tavrel.mdb.lock")));
        QVERIFY(!QFile::exists(dataDir + QStringLiteral("/tavrel.tsb")));
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
