// A shared data file and hostile content: one lock for every writer, kept where only the user can
// write; the backup copied under SQLite's protection and checked; UIDs of their own per contact;
// export never over the program's own files nor over a FIFO; triggers and views the program did not
// make dropped before anything runs; private modes; photos of an unfinished import never left behind.
#include "core/app/CloseBackup.h"
#include "core/app/CommandLine.h"
#include "core/app/DataFolder.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/PhotoFolder.h"
#include "core/exchange/VCardReader.h"
#include "core/store/DataFileLock.h"
#include "core/store/Store.h"
#include "support/DbDump.h"
#include "support/Fixture.h"
#include "support/StoreProbe.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextStream>
#include <SQLiteCpp/SQLiteCpp.h>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

QByteArray card(const QString& name, const QString& uid = {}, const QByteArray& photo = {}) {
    QByteArray out = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name.toUtf8() + "\r\n";
    if (!uid.isEmpty())
        out += "UID:" + uid.toUtf8() + "\r\n";
    if (!photo.isEmpty())
        out += "PHOTO;ENCODING=b;TYPE=PNG:" + photo.toBase64() + "\r\n";
    return out + "END:VCARD\r\n";
}

// A picture's first bytes are enough for the importer to call it one.
QByteArray pngBytes(char fill, int size = 64) {
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(size, fill);
}

std::optional<int> commandLine(const QStringList& arguments, const QString& dataFile, QString* output) {
    QString text;
    QTextStream out(&text);
    const std::optional<int> code = runCommandLine(QStringList{QStringLiteral("zinteva")} + arguments, dataFile, out);
    out.flush();
    if (output)
        *output = text;
    return code;
}

QStringList photoFiles(const QString& dataFile) {
    QDir dir(photofolder::folderFor(dataFile));
    return dir.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Keeps the runtime folder of the test its own.
class RuntimeDir {
public:
    RuntimeDir() {
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0700);
        old_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
    }
    ~RuntimeDir() { qputenv("XDG_RUNTIME_DIR", old_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray old_;
};

} // namespace

class TestSafetyShared : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(022); } // as on most desktops: what is private must be made so

    // --- one lock per data file -----------------------------------------------------------------

    void commandLineRefusedWhileWindowRuns_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("import") << QStringList{"--import", "cards.vcf"};
        QTest::newRow("export") << QStringList{"--export", "out.vcf"};
    }
    void commandLineRefusedWhileWindowRuns() {
        QFETCH(QStringList, arguments);
        RuntimeDir runtime;
        Fixture fx;
        fx.addContact(fx.addGroup("朋友"), "张三");
        fx.state.Conn.reset();
        writeBytes(fx.dir.filePath("cards.vcf"), card("李四"));
        arguments[1] = fx.dir.filePath(arguments[1]);
        const QString before = dumpFile(fx.paths.data);

        StartupGuard window(fx.paths);
        QVERIFY(window.run(fx.dialogs));
        QString output;
        QCOMPARE(commandLine(arguments, fx.paths.data, &output), exitcode::Incomplete);
        QVERIFY2(output.contains(QStringLiteral("zinteva 的窗口正在使用数据文件")), qPrintable(output));
        QCOMPARE(dumpFile(fx.paths.data), before);
        QVERIFY(!QFile::exists(fx.dir.filePath("out.vcf")));
    }

    // The same data file reached through another TMPDIR, a symlinked folder or another spelling is
    // one lock; a killed holder's lock is free at once; a planted symlink is never followed.
    void oneLockPerDataFile_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("another TMPDIR") << "tmpdir";
        QTest::newRow("symlinked folder") << "symlink";
        QTest::newRow("no runtime folder") << "noruntime";
    }
    void oneLockPerDataFile() {
        QFETCH(QString, how);
        RuntimeDir runtime;
        Fixture fx;
        StartupGuard first(fx.paths);
        QVERIFY(first.run(fx.dialogs));
        QTemporaryDir other;
        DataPaths second = fx.paths;
        if (how == "tmpdir") {
            qputenv("TMPDIR", QFile::encodeName(other.path()));
        } else if (how == "symlink") {
            const QString link = other.filePath("link");
            QVERIFY(QFile::link(fx.dir.path(), link));
            second = DataPaths::in(link);
        } else {
            qunsetenv("XDG_RUNTIME_DIR"); // a cron job: the lock beside the data file still holds
        }
        StartupGuard guard(second);
        const bool started = guard.run(fx.dialogs);
        qunsetenv("TMPDIR");
        QVERIFY(!started);
        QCOMPARE(fx.dialogs.last(), msg::stop("meldra已经在运行了!"));
    }

    // The lock follows the data file itself: a hard link in another folder, or the file bind-mounted
    // over a name elsewhere, is the same file and so the same lock, also after a restore put a new
    // file in place. Without a runtime folder for that lock, a file with a second name is refused.
    void oneLockPerFileThroughOtherNames_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("hard link") << "link";
        QTest::newRow("hard link to a restored file") << "restored";
        QTest::newRow("hard link, no runtime folder") << "noruntime";
        QTest::newRow("file bind-mounted elsewhere") << "bind";
    }
    void oneLockPerFileThroughOtherNames() {
        QFETCH(QString, how);
        RuntimeDir runtime;
        Fixture fx;
        fx.addContact(fx.addGroup("朋友"), "张三");
        fx.state.Conn.reset();
        if (how == "restored") {
            QString error;
            QVERIFY2(refreshBackup(fx.paths, &error), qPrintable(error));
            QVERIFY(QFile::remove(fx.paths.data));
        }
        StartupGuard first(fx.paths);
        QVERIFY(first.run(fx.dialogs)); // after a restore, when the file was gone
        QVERIFY(QFile::exists(fx.paths.data));
        QTemporaryDir other;
        const DataPaths second = DataPaths::in(other.path());
        if (how == "bind") {
            // In a child with a mount namespace of its own, so that the mount never shows outside.
            const pid_t child = fork();
            if (child == 0) {
                if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                    ::_exit(77);
                const int fd = ::open(QFile::encodeName(second.data).constData(), O_WRONLY | O_CREAT, 0600);
                if (fd < 0 || ::close(fd) != 0 ||
                    ::mount(QFile::encodeName(fx.paths.data).constData(), QFile::encodeName(second.data).constData(),
                            nullptr, MS_BIND, nullptr) != 0)
                    ::_exit(77);
                DataFileLock lock(second.data);
                ::_exit(lock.lock(DataFileLock::Role::Command, 0) ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            if (WEXITSTATUS(status) == 77)
                QSKIP("no mount namespace here");
            QCOMPARE(WEXITSTATUS(status), 1); // refused
            return;
        }
        QVERIFY(::link(QFile::encodeName(fx.paths.data).constData(), QFile::encodeName(second.data).constData()) == 0);
        if (how == "noruntime")
            qunsetenv("XDG_RUNTIME_DIR");
        StartupGuard guard(second);
        QVERIFY(!guard.run(fx.dialogs));
        QString output;
        QCOMPARE(commandLine({"--import", fx.dir.filePath("none.vcf")}, second.data, &output), exitcode::Incomplete);
        if (how == "noruntime") {
            QVERIFY2(fx.dialogs.last().text.contains(QStringLiteral("硬链接")), qPrintable(fx.dialogs.last().text));
            QVERIFY2(output.contains(QStringLiteral("硬链接")), qPrintable(output));
        } else {
            QCOMPARE(fx.dialogs.last(), msg::stop("meldra已经在运行了!"));
            QVERIFY2(output.contains(QStringLiteral("zinteva 的窗口正在使用数据文件")), qPrintable(output));
        }
    }

    // Another user's data file, backup or folder, or one others may write, is not used: the window and
    // the command line say why and what to do, and nothing is written into it.
    void othersFilesAreNotUsed_data() {
        QTest::addColumn<QString>("which"); // data, backup, folder, parent
        QTest::addColumn<int>("owner");     // -1: the user's own
        QTest::addColumn<int>("mode");      // -1: as made
        QTest::addColumn<QString>("told");
        QTest::newRow("data file of another user") << "data" << 65534 << -1 << "chown";
        QTest::newRow("data file others may write") << "data" << -1 << 0666 << "chmod go-w";
        QTest::newRow("data file its group may write") << "data" << -1 << 0660 << "chmod go-w";
        QTest::newRow("backup of another user") << "backup" << 65534 << -1 << "chown";
        QTest::newRow("backup others may write") << "backup" << -1 << 0606 << "chmod go-w";
        QTest::newRow("folder of another user") << "folder" << 65534 << -1 << "chown";
        QTest::newRow("folder others may write") << "folder" << -1 << 0777 << "chmod go-w";
        QTest::newRow("sticky folder others may write") << "folder" << -1 << 01777 << "chmod go-w";
        QTest::newRow("folder above others may write") << "parent" << -1 << 0777 << "chmod go-w";
        QTest::newRow("folder above of another user") << "parent" << 65534 << -1 << "chown";
    }
    void othersFilesAreNotUsed() {
        QFETCH(QString, which);
        QFETCH(int, owner);
        QFETCH(int, mode);
        QFETCH(QString, told);
        QTemporaryDir base;
        const QString parent = base.filePath("parent");
        const DataPaths paths = DataPaths::in(parent + "/data");
        QVERIFY(QDir().mkpath(paths.dir));
        QCOMPARE(::chmod(QFile::encodeName(paths.dir).constData(), 0700), 0);
        {
            Store::createEmpty(paths.data);
            auto store = Store::open(paths.data);
            ContactFields f;
            f.groupKey = store->addGroup(QStringLiteral("朋友"));
            f.name = QStringLiteral("张三");
            store->addContact(f);
        }
        QString error;
        QVERIFY2(refreshBackup(paths, &error), qPrintable(error));
        const QString target = which == "data" ? paths.data : which == "backup" ? paths.backup
                             : which == "folder" ? paths.dir : parent;
        if (owner >= 0)
            QCOMPARE(::chown(QFile::encodeName(target).constData(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
        if (mode >= 0)
            QCOMPARE(::chmod(QFile::encodeName(target).constData(), static_cast<mode_t>(mode)), 0);
        const QString before = dumpFile(paths.data);
        const QString cards = base.filePath("cards.vcf");
        writeBytes(cards, card("李四"));

        QString output;
        QCOMPARE(commandLine({"--import", cards}, paths.data, &output), exitcode::Incomplete);
        QVERIFY2(output.contains(told) && output.contains(QStringLiteral("为安全起见不使用它")), qPrintable(output));
        FakeDialogs dialogs;
        StartupGuard guard(paths);
        QVERIFY(!guard.run(dialogs));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.last().icon, MsgIcon::Critical);
        QVERIFY2(dialogs.last().text.contains(told), qPrintable(dialogs.last().text));
        QCOMPARE(dumpFile(paths.data), before);
        QVERIFY(!QFile::exists(QDir(paths.dir).filePath(".tavrel.mdb.lock")));
    }

    // A portable copy keeps its data beside itself only in a folder of the user's own that nobody else
    // may write; otherwise the user's own data folder is used.
    void programFolderCountsOnlyWhenPrivate_data() {
        QTest::addColumn<int>("owner");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("counts");
        QTest::newRow("own, 0755") << -1 << 0755 << true;
        QTest::newRow("own, 0700") << -1 << 0700 << true;
        QTest::newRow("others may write") << -1 << 0777 << false;
        QTest::newRow("group may write") << -1 << 0775 << false;
        QTest::newRow("another user's") << 65534 << 0755 << false;
    }
    void programFolderCountsOnlyWhenPrivate() {
        QFETCH(int, owner);
        QFETCH(int, mode);
        QFETCH(bool, counts);
        QTemporaryDir base;
        const QString folder = base.filePath("portable");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), static_cast<mode_t>(mode)), 0);
        if (owner >= 0)
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
        QCOMPARE(programFolderTakesData(folder), counts);
    }

    // What the program writes for the user is private under umask 022: a new export and a new
    // settings file are 0600 and the folders made for them 0700; a file that is there keeps its mode.
    void filesWrittenForTheUserArePrivate_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("before"); // -1: no file yet
        QTest::addColumn<int>("after");
        QTest::newRow("new vCard export") << "export.vcf" << -1 << 0600;
        QTest::newRow("new CSV export") << "export.csv" << -1 << 0600;
        QTest::newRow("export over a 0644 file") << "export.vcf" << 0644 << 0644;
        QTest::newRow("new settings") << "settings" << -1 << 0600;
        QTest::newRow("settings there, 0640") << "settings" << 0640 << 0640;
    }
    void filesWrittenForTheUserArePrivate() {
        QFETCH(QString, what);
        QFETCH(int, before);
        QFETCH(int, after);
        Fixture fx;
        fx.addContact(fx.addGroup("朋友"), "张三");
        QTemporaryDir out;
        const bool settings = what == "settings";
        const QString path = settings ? out.filePath("config/tavrel/tavrel.ini") : out.filePath(what);
        if (before >= 0) {
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            writeBytes(path, settings ? QByteArray("[set]\n") : QByteArray("old"));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(before)), 0);
        }
        if (settings) {
            Settings written(path);
            written.setText(QStringLiteral("Day"), QStringLiteral("10"));
            written.sync();
        } else {
            QString error;
            int count = 0;
            QVERIFY2(Exporter(*fx.state.Conn).exportToFile(path, ExportSelection::all(),
                                                           Exporter::formatFor(path, VCardVersion::V30), &count, &error),
                     qPrintable(error));
        }
        QCOMPARE(modeOf(path), after);
        if (settings && before < 0) {
            QCOMPARE(modeOf(out.filePath("config/tavrel")), 0700);
            QCOMPARE(modeOf(out.filePath("config")), 0700);
        }
    }

    void lockFilesArePrivateAndNeverFollowed() {
        RuntimeDir runtime;
        Fixture fx;
        const QStringList paths = DataFileLock(fx.paths.data).lockPaths();
        QCOMPARE(paths.size(), 3); // beside the file; in the runtime folder by the folder, by the file
        QVERIFY(paths[1].startsWith(runtime.path() + '/'));
        QVERIFY(paths[2].startsWith(runtime.path() + "/zinteva-file-"));
        {
            DataFileLock lock(fx.paths.data);
            QVERIFY(lock.lock(DataFileLock::Role::Command, 0));
            for (const QString& path : paths)
                QCOMPARE(modeOf(path), 0600);
        }
        // A symlink planted under the lock's name (to a file the attacker wants truncated) is refused.
        const QString victim = fx.dir.filePath("victim");
        writeBytes(victim, "keep me");
        QFile::remove(paths[0]);
        QVERIFY(QFile::link(victim, paths[0]));
        DataFileLock lock(fx.paths.data);
        QVERIFY(!lock.lock(DataFileLock::Role::Command, 0));
        QVERIFY2(lock.errorString().contains(QStringLiteral("符号链接")), qPrintable(lock.errorString()));
        QCOMPARE(bytesOf(victim), QByteArray("keep me"));
    }

    void killedHolderFreesTheLock() {
        RuntimeDir runtime;
        Fixture fx;
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            DataFileLock lock(fx.paths.data);
            const char ok = lock.lock(DataFileLock::Role::Command, 0) ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                pause();
        }
        char ok = 0;
        QCOMPARE(::read(ready[0], &ok, 1), 1);
        QCOMPARE(ok, 'y');
        DataFileLock busy(fx.paths.data);
        QVERIFY(!busy.lock(DataFileLock::Role::Command, 100));
        QCOMPARE(busy.holder(), std::optional(DataFileLock::Role::Command));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        DataFileLock next(fx.paths.data);
        QVERIFY(next.lock(DataFileLock::Role::Command, 0));
        ::close(ready[0]);
        ::close(ready[1]);
    }

    // --- the backup -------------------------------------------------------------------------------

    // A hot journal beside the data file (a writer killed in a save, its pages already in the file)
    // belongs to the file: the backup holds the committed state, never the half-written pages.
    void backupIsTakenThroughSqlite() {
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        fx.addContact(group, "张三");
        fx.state.Conn.reset();
        const QString committed = dumpFile(fx.paths.data);
        const pid_t child = fork();
        if (child == 0) {
            SQLite::Database db(fx.paths.data.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("pragma cache_size = 1");
            db.exec("begin");
            for (int i = 0; i < 400; ++i)
                db.exec("insert into phone (friendid, 姓名, 备注) values ('x', 'half', hex(randomblob(1000)))");
            ::raise(SIGKILL); // pages spilled into the file, the journal hot
        }
        ::waitpid(child, nullptr, 0);
        QVERIFY(QFileInfo(fx.paths.data + "-journal").size() > 0);
        QString error;
        QVERIFY2(refreshBackup(fx.paths, &error), qPrintable(error));
        QCOMPARE(dumpFile(fx.paths.backup), committed);
        QVERIFY(!QFile::exists(fx.paths.backup + ".tmp"));
        QVERIFY(!QFile::exists(fx.paths.backup + ".tmp-journal"));
    }

    void modesArePrivateAndKept_data() {
        QTest::addColumn<int>("dataMode");
        QTest::newRow("private") << 0600;
        QTest::newRow("group may read") << 0640;
    }
    void modesArePrivateAndKept() {
        QFETCH(int, dataMode);
        Fixture fx;
        QCOMPARE(modeOf(fx.paths.data), 0600); // a new data file
        fx.addContact(fx.addGroup("朋友"), "张三");
        fx.state.Conn.reset();
        QCOMPARE(::chmod(QFile::encodeName(fx.paths.data).constData(), static_cast<mode_t>(dataMode)), 0);
        QString error;
        QVERIFY2(refreshBackup(fx.paths, &error), qPrintable(error));
        QCOMPARE(modeOf(fx.paths.backup), dataMode);
        QFile::remove(fx.paths.data);
        QVERIFY2(restoreBackup(fx.paths, &error), qPrintable(error));
        QCOMPARE(modeOf(fx.paths.data), dataMode);
    }

    // `counted`: the start count was taken before the people went (a slip in the window) or after
    // (a file emptied as it was opened): the backup's own count guards it then.
    void shrunkenFileAsksBeforeReplacingTheBackup_data() {
        QTest::addColumn<int>("people");
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("counted");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<bool>("replaced");
        const QString sinceStart = QStringLiteral("数据文件中的联系人从启动时的 %1 个减少到了 %2 个。");
        const QString thanBackup = QStringLiteral("备份文件中有 %1 个联系人，数据文件中只剩 %2 个。");
        QTest::newRow("most gone, kept") << 6 << 1 << true << sinceStart.arg(6).arg(1) << MsgAnswer::No << false;
        QTest::newRow("most gone, confirmed") << 6 << 1 << true << sinceStart.arg(6).arg(1) << MsgAnswer::Yes
                                              << true;
        QTest::newRow("half left") << 6 << 3 << true << QString() << MsgAnswer::No << true;
        QTest::newRow("the only one gone") << 1 << 0 << true << sinceStart.arg(1).arg(0) << MsgAnswer::No << false;
        QTest::newRow("emptied before the count") << 6 << 0 << false << thanBackup.arg(6).arg(0) << MsgAnswer::No
                                                  << false;
        QTest::newRow("shrunken before the count") << 6 << 2 << false << thanBackup.arg(6).arg(2) << MsgAnswer::No
                                                   << false;
    }
    void shrunkenFileAsksBeforeReplacingTheBackup() {
        QFETCH(int, people);
        QFETCH(int, left);
        QFETCH(bool, counted);
        QFETCH(QString, asked);
        QFETCH(MsgAnswer, answer);
        QFETCH(bool, replaced);
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        QStringList keys;
        for (int i = 0; i < people; ++i)
            keys << fx.addContact(group, QStringLiteral("人%1").arg(i));
        fx.state.Conn.reset();
        QString error;
        QVERIFY(refreshBackup(fx.paths, &error));
        const QByteArray oldBackup = bytesOf(fx.paths.backup);
        int atStart = closebackup::contactCount(fx.paths.data);
        QCOMPARE(atStart, people);
        fx.open();
        for (int i = left; i < people; ++i)
            fx.state.Conn->deleteContact(keys[i]);
        fx.state.Conn.reset();
        if (!counted)
            atStart = closebackup::contactCount(fx.paths.data);
        fx.dialogs.answers.push_back(answer);
        QCOMPARE(closebackup::run(fx.paths, atStart, &fx.dialogs, nullptr), replaced);
        QCOMPARE(fx.dialogs.messages.size(), asked.isEmpty() ? 0 : 1);
        if (!asked.isEmpty()) {
            QCOMPARE(fx.dialogs.last().defaultButton, MsgAnswer::No);
            QCOMPARE(fx.dialogs.last().text,
                     asked + QStringLiteral("\n是否仍然用它更新备份文件?选“否”将保留原来的备份。"));
        }
        QCOMPARE(bytesOf(fx.paths.backup) == oldBackup, !replaced);
        // With nobody to ask (a close on a signal), the backup is left as it is.
        if (!asked.isEmpty()) {
            const QByteArray now = bytesOf(fx.paths.backup);
            QVERIFY(!closebackup::run(fx.paths, atStart, nullptr, nullptr));
            QCOMPARE(bytesOf(fx.paths.backup), now);
        }
    }

    // --- hostile schema ----------------------------------------------------------------------------

    // Triggers and views that are not exactly the program's go before the first write, whatever their
    // name: through the session's open and its start-up reminder pass (the window's open with its
    // message: tst_safety_program), and through an import on the command line. The file keeps
    // everybody, its triggers are those of a new file, and the user is told what went.
    void foreignTriggersAndViewsAreDropped_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("planted");
        QTest::addColumn<QStringList>("dropped");
        const QStringList mixed{"create trigger wipe after update on phone begin delete from phone; end",
                                "create view endless as with recursive n(i) as (select 1 union all select i + 1 "
                                "from n) select i from n"};
        const QStringList ours{
            "create trigger zinteva_wipe after insert on phone begin delete from phone where id <> new.id; end",
            "create trigger zinteva_nb after update of nowbirthday on phone begin delete from phone; end",
            "drop trigger zinteva_phone_added",
            "create trigger zinteva_phone_added after insert on phone begin delete from phone where id <> new.id; end",
            "create view zinteva_view as select 1"};
        const QStringList oursDropped{"触发器 zinteva_nb", "触发器 zinteva_phone_added", "触发器 zinteva_wipe",
                                      "视图 zinteva_view"};
        for (const QString how : {"session", "import"}) {
            QTest::addRow("%s, foreign names", qPrintable(how)) << how << mixed
                                                                << QStringList{"触发器 wipe", "视图 endless"};
            QTest::addRow("%s, the program's names", qPrintable(how)) << how << ours << oursDropped;
        }
    }
    void foreignTriggersAndViewsAreDropped() {
        QFETCH(QString, how);
        QFETCH(QStringList, planted);
        QFETCH(QStringList, dropped);
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        fx.addContact(group, "张三", QDate(1990, 3, 12));
        fx.addContact(group, "李四", QDate(1991, 3, 11));
        fx.state.Conn.reset();
        QString error;
        QVERIFY(refreshBackup(fx.paths, &error));
        QSet<QString> own;
        {
            SQLite::Database db(fx.paths.data.toStdString(), SQLite::OPEN_READWRITE);
            SQLite::Statement code(db, "select name || ' ' || sql from sqlite_master where type = 'trigger'");
            while (code.executeStep())
                own << QString::fromStdString(code.getColumn(0).getString());
            for (const QString& statement : planted)
                db.exec(statement.toStdString());
        }
        if (how == "session") {
            QCOMPARE(fx.open().droppedSchema(), dropped);
            const int atStart = fx.state.Conn->contactCount();
            fx.state.RemindAtStart = 1;
            fx.state.start(); // the start-up reminder writes every next birthday
            ContactFields f;
            f.groupKey = group;
            f.name = QStringLiteral("王五");
            fx.state.Conn->addContact(f);
            fx.state.Conn.reset();
            QVERIFY(closebackup::run(fx.paths, atStart, &fx.dialogs, nullptr));
        } else {
            writeBytes(fx.dir.filePath("cards.vcf"), card("王五"));
            QString output;
            QCOMPARE(commandLine({"--import", fx.dir.filePath("cards.vcf")}, fx.paths.data, &output),
                     exitcode::Success);
            QVERIFY2(output.contains(dropped.join(QStringLiteral("、"))), qPrintable(output));
        }
        SQLite::Database db(fx.paths.data.toStdString(), SQLite::OPEN_READONLY);
        QCOMPARE(db.execAndGet("select count(*) from phone").getInt(), 3);
        QSet<QString> now;
        SQLite::Statement code(db, "select name || ' ' || sql from sqlite_master where type in ('trigger', 'view')");
        while (code.executeStep())
            now << QString::fromStdString(code.getColumn(0).getString());
        QCOMPARE(now, own);
        QCOMPARE(closebackup::contactCount(fx.paths.backup), how == "session" ? 3 : 2);
    }

    // A view standing where the table belongs, over an endless query, is dropped before any read:
    // the file then lacks its table and is refused, without hanging.
    void viewInPlaceOfTableDoesNotHang() {
        Fixture fx;
        {
            SQLite::Database db(fx.paths.data.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("drop table phone");
            db.exec("create view phone as with recursive n(i) as (select 1 union all select i + 1 from n) "
                    "select i as id, i as friendid from n");
        }
        ::alarm(60); // a hang fails the test instead of stalling it
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::open(fx.paths.data));
        ::alarm(0);
    }

    void irregularFilesAreNotOpened() {
        Fixture fx;
        const QString journal = fx.paths.data + "-journal";
        QCOMPARE(::mkfifo(QFile::encodeName(journal).constData(), 0600), 0);
        ::alarm(60);
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::open(fx.paths.data));
        ::alarm(0);
        ::unlink(QFile::encodeName(journal).constData());
    }

    // --- UIDs -------------------------------------------------------------------------------------

    // Two copies of one data file each add somebody, who gets the same id in both: a card of one
    // comes into the other as a new person, never over the other's.
    void cardOfACopyDoesNotUpdateAnotherPerson() {
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        fx.addContact(group, "张三");
        Exporter(fx.open()).build(ExportSelection::all(), ExportFormat::VCard30); // cards went out before the copy
        fx.state.Conn.reset();
        const QString copy = fx.dir.filePath("copy.mdb");
        QVERIFY(QFile::copy(fx.paths.data, copy));
        fx.open();
        const QString wangwu = fx.addContact(group, "王五");
        const QByteArray cards = Exporter(*fx.state.Conn).build(ExportSelection::contacts({wangwu}), ExportFormat::VCard30);
        auto other = Store::open(copy);
        const QString lisi = other->addContact(contact(group, "李四"));
        QCOMPARE(lisi, wangwu); // the same key in both files
        const ImportSummary summary = Importer(*other, copy).run(VCardReader::read(cards), {});
        QCOMPARE(summary.added, 1);
        QCOMPARE(summary.updated, 0);
        QCOMPARE(other->loadContact(lisi)->name, QString("李四"));
        // The card comes back into its own file as an update of its own person.
        QCOMPARE(Importer(*fx.state.Conn, fx.paths.data).run(VCardReader::read(cards), {}).unchanged, 1);
    }

    // A file from before the table: the UIDs its cards were written with still find their people.
    void cardsWrittenBeforeStillFindTheirPeople() {
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        const QString key = fx.addContact(group, "张三");
        fx.state.Conn.reset();
        {
            SQLite::Database db(fx.paths.data.toStdString(), SQLite::OPEN_READWRITE);
            // A file of a build before the table: no version, the random part its cards carried.
            db.exec("drop table zinteva_uid");
            db.exec("insert into zinteva_meta values ('uid', '4f0c9a1e77d2b6c3')");
            db.exec("pragma user_version = 0");
        }
        fx.open();
        const QString legacy = "zinteva-4f0c9a1e77d2b6c3-" + key;
        QCOMPARE(fx.state.Conn->uids().uidOf(key, false), legacy);
        const QString added = fx.state.Conn->addContact(contact(group, "新人"));
        QVERIFY(fx.state.Conn->uids().uidOf(added, false) != "zinteva-4f0c9a1e77d2b6c3-" + added);
        const ImportSummary summary =
            Importer(*fx.state.Conn, fx.paths.data).run(VCardReader::read(card("张三丰", legacy)), {});
        QCOMPARE(summary.updated, 1);
        QCOMPARE(fx.state.Conn->loadContact(key)->name, QString("张三丰"));
    }

    // --- export targets ------------------------------------------------------------------------------

    void exportRefusesTheProgramsOwnFiles_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("data file") << "data";
        QTest::newRow("backup") << "backup";
        QTest::newRow("symlink to the data file") << "symlink";
        QTest::newRow("hard link to the backup") << "hardlink";
        QTest::newRow("journal") << "journal";
    }
    void exportRefusesTheProgramsOwnFiles() {
        QFETCH(QString, target);
        Fixture fx;
        fx.addContact(fx.addGroup("朋友"), "张三");
        fx.state.Conn.reset();
        QString error;
        QVERIFY(refreshBackup(fx.paths, &error));
        writeBytes(fx.paths.data + "-journal", ""); // an empty journal is no hot journal
        QString path = target == "data"     ? fx.paths.data
                       : target == "backup" ? fx.paths.backup
                       : target == "journal" ? fx.paths.data + "-journal"
                                             : fx.dir.filePath("elsewhere.vcf");
        if (target == "symlink")
            QVERIFY(QFile::link(fx.paths.data, path));
        if (target == "hardlink")
            QCOMPARE(::link(QFile::encodeName(fx.paths.backup).constData(), QFile::encodeName(path).constData()), 0);
        const QByteArray data = bytesOf(fx.paths.data), backup = bytesOf(fx.paths.backup);
        fx.open();
        QVERIFY(!Exporter(*fx.state.Conn).exportToFile(path, ExportSelection::all(), ExportFormat::VCard30, nullptr,
                                                       &error));
        QVERIFY2(error.contains(QStringLiteral("自己的数据文件或备份文件")), qPrintable(error));
        fx.state.Conn.reset();
        QCOMPARE(bytesOf(fx.paths.data), data);
        QCOMPARE(bytesOf(fx.paths.backup), backup);
    }

    // A data file may name any file as a photo: a card embeds only a picture.
    void exportEmbedsOnlyPictures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("embedded");
        QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << true;
        QTest::newRow("JPEG") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF") << true;
        QTest::newRow("secrets") << QByteArray("PASSWORD=hunter2\nTOKEN=abc\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void exportEmbedsOnlyPictures() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, embedded);
        Fixture fx;
        const QString photo = fx.dir.filePath("named-by-the-data-file");
        writeBytes(photo, bytes);
        ContactFields f = contact(fx.addGroup("朋友"), "张三");
        f.photo = photo;
        fx.state.Conn->addContact(f);
        for (const ExportFormat format : {ExportFormat::VCard30, ExportFormat::VCard40}) {
            const QByteArray cards = Exporter(*fx.state.Conn).build(ExportSelection::all(), format);
            QCOMPARE(cards.contains(bytes.toBase64()) && !bytes.isEmpty(), embedded);
            QVERIFY(!cards.contains("PASSWORD"));
        }
    }

    // A FIFO is written to, not replaced by a file.
    void exportWritesIntoAFifo() {
        Fixture fx;
        fx.addContact(fx.addGroup("朋友"), "张三");
        const QString fifo = fx.dir.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QByteArray received;
        std::thread reader([&] {
            QFile in(fifo);
            if (in.open(QIODevice::ReadOnly))
                received = in.readAll();
        });
        QString error;
        const bool ok =
            Exporter(fx.open()).exportToFile(fifo, ExportSelection::all(), ExportFormat::VCard30, nullptr, &error);
        reader.join();
        QVERIFY2(ok, qPrintable(error));
        QVERIFY(received.contains("FN:张三"));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    }

    // --- photos of an import ---------------------------------------------------------------------

    void unfinishedImportLeavesNoPhotos() {
        Fixture fx;
        fx.addGroup("朋友");
        QByteArray cards;
        for (int i = 0; i < 5; ++i)
            cards += card(QStringLiteral("人%1").arg(i), {}, pngBytes(char('a' + i)));
        Importer importer(fx.open(), fx.paths.data);
        int calls = 0;
        const ImportSummary cancelled =
            importer.run(VCardReader::read(cards), {}, [&](int, int) { return ++calls < 4; });
        QVERIFY(cancelled.cancelled);
        QCOMPARE(photoFiles(fx.paths.data), QStringList());
        const ImportSummary done = importer.run(VCardReader::read(cards), {});
        QCOMPARE(done.added, 5);
        QCOMPARE(photoFiles(fx.paths.data).size(), 5);
        QCOMPARE(modeOf(photofolder::folderFor(fx.paths.data)), 0700);
        for (const QString& name : photoFiles(fx.paths.data))
            QCOMPARE(modeOf(QDir(photofolder::folderFor(fx.paths.data)).filePath(name)), 0600);
    }

    // At start: a photo of a committed import still in its staging folder is moved in, other
    // left-overs and photos nobody names go; the user's own files stay.
    void startTidiesThePhotosFolder() {
        Fixture fx;
        const QString group = fx.addGroup("朋友");
        const QString folder = photofolder::folderFor(fx.paths.data);
        const QByteArray kept = pngBytes('k'), staged = pngBytes('s'), orphan = pngBytes('o'), aborted = pngBytes('x');
        const QString keptName = photofolder::nameFor(kept, "png"), stagedName = photofolder::nameFor(staged, "png");
        QDir().mkpath(folder + "/.staging-1-abc");
        writeBytes(folder + '/' + keptName, kept);
        writeBytes(folder + "/.staging-1-abc/" + stagedName, staged);
        writeBytes(folder + "/.staging-1-abc/" + photofolder::nameFor(aborted, "png"), aborted);
        writeBytes(folder + '/' + photofolder::nameFor(orphan, "png"), orphan);
        writeBytes(folder + "/mine.txt", "the user's own");
        for (const QString& name : {keptName, stagedName}) {
            ContactFields f = contact(group, name);
            f.photo = "/somewhere/else/photos/" + name; // the data folder moved since
            fx.open().addContact(f);
        }
        const photofolder::TidyResult result = photofolder::tidy(fx.open(), fx.paths.data);
        QCOMPARE(result.movedIn, 1);
        QCOMPARE(result.removed, 2);
        QStringList expected{keptName, stagedName, "mine.txt"}, found = photoFiles(fx.paths.data);
        expected.sort();
        found.sort();
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestSafetyShared)
#include "tst_safety_shared.moc"
