// The data file and its backup under a full disk, a read-only folder and damaged or foreign files.
// The process runs in a mount namespace of its own, so that a test can mount a 256 KB tmpfs or make
// a folder read-only although it runs as root; where the kernel refuses one, those tests skip and
// say why (the backup copy under a file size limit is tested in tst_startup as well).
#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "gui/list/ContactListModel.h"
#include "core/store/Store.h"
#include "core/exchange/Importer.h"
#include "core/exchange/PhotoFolder.h"
#include "core/exchange/VCardReader.h"
#include "support/DbDump.h"
#include "support/Fixture.h"
#include "support/MountNamespace.h"
#include "support/TestFiles.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <random>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A data file with groups and people; remarks make it as large as a test needs.
void fillDataFile(const QString& path, int people, int remarkLength) {
    if (!QFile::exists(path))
        Store::createEmpty(path);
    auto store = Store::open(path);
    const QString first = store->addGroup(QStringLiteral("同学"));
    const QString second = store->addGroup(QStringLiteral("同事"));
    for (int n = 0; n < people; ++n) {
        ContactFields f = contact(n % 2 ? first : second, QStringLiteral("联系人%1").arg(n));
        f.birthday = QDate(1970 + n % 40, 1 + n % 12, 1 + n % 28);
        f.remarks = QString(remarkLength, QChar(u'a' + n % 26));
        store->addContact(f);
    }
}

QByteArray sqliteFile(const QString& dir, const char* name, const char* sql) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(name));
    {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(sql);
    }
    return bytesOf(path);
}

QStringList groupNames(Frm_main& window) {
    QStringList names;
    GroupTreeModel* tree = window.treeModel();
    const QModelIndex root = tree->rootIndex();
    for (int row = 0; row < tree->rowCount(root); ++row)
        names << tree->index(row, 0, root).data().toString();
    return names;
}

} // namespace

class TestSafetyFiles : public QObject {
    Q_OBJECT

public:
    TestSafetyFiles(bool isolated, QString why) : isolated_(isolated), why_(std::move(why)) {}

private:
    bool isolated_;
    QString why_;
    QTemporaryDir scratch_;
    QByteArray good_; // a sound data file with 90 people
    int badFilesTried_ = 0;

    // A 256 KB tmpfs, unmounted when the test function ends, passed or not.
    struct SmallDisk {
        QString dir;
        explicit SmallDisk(const QString& at) : dir(at) {
            QDir().mkpath(dir);
            QString why;
            if (!mountns::mountTmpfs(dir, 256, &why))
                qFatal("%s", qPrintable(why));
        }
        ~SmallDisk() { mountns::unmount(dir); }
        SmallDisk(const SmallDisk&) = delete;
        SmallDisk& operator=(const SmallDisk&) = delete;
    };
    struct ReadOnly {
        QString dir;
        ~ReadOnly() {
            if (!dir.isEmpty())
                mountns::unmount(dir);
        }
    };

private slots:
    void initTestCase() {
        if (!isolated_)
            qWarning("no mount namespace (%s): the full-disk and read-only-folder tests skip", qPrintable(why_));
        const QString path = scratch_.filePath(QStringLiteral("good.mdb"));
        fillDataFile(path, 90, 0); // every person with a UID of its own and a row in the change log, the file with all the program's tables
        good_ = bytesOf(path);
        qInfo("a data file of 90 people: %lld bytes", qlonglong(good_.size()));
        // The full-disk tests below count on it filling more than half of 256 KB, and less than 180 KB.
        QVERIFY(good_.size() > 140 * 1024 && good_.size() < 180 * 1024);
    }

    // ---- a full disk ----

    void backupAtCloseOnFullDisk() {
        if (!isolated_)
            QSKIP(qPrintable(why_));
        Fixture fx;
        const SmallDisk disk(scratch_.filePath(QStringLiteral("full-close")));
        const QString& small = disk.dir;
        fx.paths = DataPaths::in(small);
        fx.state.env.programDir = small;
        // An old backup of a few pages: with the data file it fills most of the disk.
        const QByteArray oldBackup =
            sqliteFile(scratch_.path(), "old.mdb", "create table phone (id integer); create table 分类 (id integer)");
        writeBytes(fx.paths.data, good_);
        writeBytes(fx.paths.backup, oldBackup);

        Frm_main& window = fx.window();
        QCOMPARE(groupNames(window), QStringList({"同学", "同事"}));
        window.close();
        QCOMPARE(fx.dialogs.messages.size(), 1);
        const Message told = fx.dialogs.last();
        QVERIFY2(told.text.startsWith(QStringLiteral("备份文件没有更新,旧的备份仍然保留。")), qPrintable(told.text));
        QCOMPARE(told.icon, MsgIcon::Warning);
        QCOMPARE(bytesOf(fx.paths.backup), oldBackup);
        QVERIFY(!QFile::exists(fx.paths.backup + QStringLiteral(".tmp")));
        QCOMPARE(bytesOf(fx.paths.data), good_);
    }

    void savesOnFullDisk() {
        if (!isolated_)
            QSKIP(qPrintable(why_));
        const SmallDisk disk(scratch_.filePath(QStringLiteral("full-save")));
        const QString& small = disk.dir;
        const QString path = small + QStringLiteral("/tavrel.mdb");
        const QString filler = small + QStringLiteral("/filler");
        fillDataFile(path, 15, 600);
        const QString before = dumpFile(path);
        {
            // Whatever room is left is taken.
            QFile f(filler);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (f.write(block) == block.size() && f.flush()) {
            }
        }
        auto store = Store::open(path);
        ContactFields big = contact(QStringLiteral("main1"), QStringLiteral("放不下"));
        big.remarks = QString(4000, QChar(u'满'));
        QVERIFY_THROWS_EXCEPTION(StoreError, store->addContact(big));
        QVERIFY_THROWS_EXCEPTION(StoreError, store->deleteGroup(QStringLiteral("main1")));
        QCOMPARE(integrityOfFile(path), QStringLiteral("ok"));
        QCOMPARE(dumpFile(path), before);
        QCOMPARE(dumpDatabase(storeDb(*store).getHandle()), before);
        // Room again: the same connection saves.
        QVERIFY(QFile::remove(filler));
        store->addContact(big);
        QCOMPARE(store->contactCount(), 16);
        store.reset();
        QCOMPARE(integrityOfFile(path), QStringLiteral("ok"));
    }

    // Pictures that find no room: the person comes in without, the summary says the disk is full, and
    // the import does not count as complete (the command line's exit code is not 0).
    void importedPhotosOnFullDisk() {
        if (!isolated_)
            QSKIP(qPrintable(why_));
        const QString folder = scratch_.filePath(QStringLiteral("full-photos"));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/tavrel.mdb");
        fillDataFile(path, 2, 0);
        const SmallDisk disk(photofolder::folderFor(path)); // only the pictures' folder is full
        auto photoCard = [](const QByteArray& name, int size, char fill) {
            const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(size, fill);
            return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nPHOTO;ENCODING=b;TYPE=PNG:" + png.toBase64() +
                   "\r\nEND:VCARD\r\n";
        };
        auto store = Store::open(path);
        const ImportSummary summary = Importer(*store, path).run(
            VCardReader::read(photoCard("小", 50 * 1024, 's') + photoCard("大", 400 * 1024, 'b')), {});
        QCOMPARE(summary.added, 2);
        QCOMPARE(summary.photosNotSaved, 1);
        QVERIFY(!summary.complete());
        QCOMPARE(summary.warnings.size(), size_t(1));
        QVERIFY2(summary.warnings[0].reason.endsWith(QStringLiteral("：磁盘已满")),
                 qPrintable(summary.warnings[0].reason));
        QVERIFY2(summary.text().contains(QStringLiteral("有 1 张照片没有保存，导入不完整。")), qPrintable(summary.text()));
        QCOMPARE(QDir(photofolder::folderFor(path)).entryList(QDir::Files | QDir::Hidden).size(), 1); // the small one
        QCOMPARE(store->contactCount(), 4);
    }

    void guardRestoreOnFullDisk() {
        if (!isolated_)
            QSKIP(qPrintable(why_));
        Fixture fx;
        const SmallDisk disk(scratch_.filePath(QStringLiteral("full-guard")));
        const QString& small = disk.dir;
        fx.paths = DataPaths::in(small);
        writeBytes(fx.paths.backup, good_); // 170 KB of 256: no room for a second copy
        writeBytes(small + QStringLiteral("/filler"), QByteArray(60 * 1024, 'f'));
        fx.dialogs.answers.push_back(MsgAnswer::Yes);
        StartupGuard guard(fx.paths);
        QVERIFY(!guard.run(fx.dialogs));
        QCOMPARE(fx.dialogs.messages.size(), 2);
        QCOMPARE(fx.dialogs.last().icon, MsgIcon::Critical);
        QVERIFY(!QFile::exists(fx.paths.data));
        QVERIFY(!QFile::exists(fx.paths.data + QStringLiteral(".tmp")));
        QCOMPARE(bytesOf(fx.paths.backup), good_);
    }

    // Yes to the backup, but the restored copy does not fit: the damaged file goes back where it was.
    void failedRestoreLeavesDataFileInPlace() {
        if (!isolated_)
            QSKIP(qPrintable(why_));
        Fixture fx;
        const SmallDisk disk(scratch_.filePath(QStringLiteral("full-restore")));
        const QString& small = disk.dir;
        fx.paths = DataPaths::in(small);
        fx.state.env.programDir = small;
        QByteArray damaged = good_.left(40 * 1024);
        damaged.replace(0, 16, "no database here");
        writeBytes(fx.paths.data, damaged);
        writeBytes(fx.paths.backup, good_);
        writeBytes(small + QStringLiteral("/filler"), QByteArray(40 * 1024, 'f'));
        fx.dialogs.answers.push_back(MsgAnswer::Yes);
        fx.window();
        QVERIFY(!fx.state.Conn);
        QCOMPARE(fx.dialogs.messages.size(), 2);
        QCOMPARE(fx.dialogs.last().icon, MsgIcon::Critical);
        QCOMPARE(bytesOf(fx.paths.data), damaged);
        QCOMPARE(bytesOf(fx.paths.backup), good_);
        QVERIFY(!QFile::exists(fx.paths.data + QStringLiteral(".tmp")));
        fx.closeWindow();
        QCOMPARE(bytesOf(fx.paths.backup), good_);
    }

    // ---- a data file that cannot be written ----

    void readOnlyDataFile_data() {
        QTest::addColumn<bool>("mount");
        QTest::newRow("read-only folder") << true;
        QTest::newRow("read-only connection") << false;
    }
    void readOnlyDataFile() {
        QFETCH(bool, mount);
        if (mount && !isolated_)
            QSKIP(qPrintable(why_));
        Fixture fx;
        const QString folder = fx.dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(folder));
        fx.paths = DataPaths::in(folder);
        fx.state.env.programDir = folder;
        writeBytes(fx.paths.data, good_);
        QVERIFY(QFile::copy(fx.paths.data, fx.paths.backup));
        const QString before = dumpFile(fx.paths.data);
        const QByteArray dataBytes = bytesOf(fx.paths.data);
        QString why;
        ReadOnly readOnly;
        if (mount) {
            QVERIFY2(mountns::bindReadOnly(folder, &why), qPrintable(why));
            readOnly.dir = folder;
        } else
            fx.state.storeOptions.readOnly = true;

        Frm_main& window = fx.window();
        QVERIFY(fx.state.Conn);
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QCOMPARE(fx.dialogs.last(), msg::warning(QStringLiteral("数据文件是只读的,所做的修改不能保存。")));
        QCOMPARE(groupNames(window), QStringList({"同学", "同事"}));
        QCOMPARE(window.listModel()->rowCount(), 90);
        // Every kind of save is refused, and says so.
        QVERIFY_THROWS_EXCEPTION(StoreError, fx.state.Conn->addGroup(QStringLiteral("新组")));
        QVERIFY_THROWS_EXCEPTION(StoreError, fx.state.Conn->addContact(contact(QStringLiteral("main1"), "新人")));
        QVERIFY_THROWS_EXCEPTION(StoreError, fx.state.Conn->deleteGroup(QStringLiteral("main1")));
        QVERIFY_THROWS_EXCEPTION(StoreError, fx.state.Conn->renameContact(QStringLiteral("friend1"), "改名"));
        window.close();
        if (mount) {
            QCOMPARE(fx.dialogs.messages.size(), 2); // the backup could not be refreshed either
            QVERIFY(fx.dialogs.last().text.startsWith(QStringLiteral("备份文件没有更新")));
        }
        QCOMPARE(bytesOf(fx.paths.data), dataBytes);
        QCOMPARE(dumpFile(fx.paths.backup), before);
        QVERIFY(!QFile::exists(fx.paths.backup + QStringLiteral(".tmp")));
    }

    // ---- damaged and foreign data files ----

    void badDataFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("backup"); // 0 none, 1 answered Yes, 2 answered No
        std::mt19937 random(9);
        QByteArray noise(16 * 1024, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        QByteArray damagedPage = good_;
        damagedPage.replace(12 * 4096, 4096, QByteArray(4096, '\xa5'));
        QByteArray access(4096, '\0');
        access.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        const QString dir = scratch_.path();
        const QList<std::pair<const char*, QByteArray>> files{
            {"zero bytes", QByteArray()},
            {"random bytes", noise},
            {"text file", QByteArray("BEGIN:VCARD\r\nFN:张三\r\nEND:VCARD\r\n")},
            {"header only", good_.left(100)},
            {"truncated", good_.left(good_.size() * 6 / 10)},
            {"damaged page", damagedPage},
            {"Access file", access},
            {"SQLite file without tables", sqliteFile(dir, "empty.db", "pragma user_version = 7")},
            {"another program's SQLite file", sqliteFile(dir, "notes.db",
                                                         "create table notes(id integer primary key, body text);"
                                                         "insert into notes(body) values ('hello')")},
            {"tables without their columns",
             sqliteFile(dir, "old.db",
                        "create table phone(id integer primary key, name text);"
                        "create table 分类(id integer primary key, 分类 text, 类型 text)")},
        };
        for (const auto& [name, bytes] : files) {
            QTest::addRow("%s, no backup", name) << bytes << 0;
            QTest::addRow("%s, backup taken", name) << bytes << 1;
            QTest::addRow("%s, backup declined", name) << bytes << 2;
        }
    }
    void badDataFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, backup);
        ++badFilesTried_;
        Fixture fx;
        writeBytes(fx.paths.data, bytes);
        QByteArray backupBytes;
        QString backupDump;
        if (backup) {
            const QString path = fx.dir.filePath(QStringLiteral("backup-source.mdb"));
            fillDataFile(path, 3, 10);
            backupBytes = bytesOf(path);
            backupDump = dumpFile(path);
            writeBytes(fx.paths.backup, backupBytes);
            fx.dialogs.answers.push_back(backup == 1 ? MsgAnswer::Yes : MsgAnswer::No);

            // The close step's copy refuses the file, whatever it is.
            QString error;
            QVERIFY(!refreshBackup(fx.paths, &error));
            QVERIFY(!error.isEmpty());
            QCOMPARE(bytesOf(fx.paths.backup), backupBytes);
            QVERIFY(!QFile::exists(fx.paths.backup + QStringLiteral(".tmp")));
        }

        Frm_main& window = fx.window();
        QVERIFY(!fx.dialogs.messages.isEmpty());
        const Message first = fx.dialogs.messages.first();
        const QString named = QStringLiteral("数据文件 %1 不能使用: ").arg(fx.paths.data);
        QVERIFY2(first.text.startsWith(named), qPrintable(first.text));
        QVERIFY2(first.text.size() > named.size() + 2, qPrintable(first.text)); // and says what is wrong
        const QString aside = fx.paths.data + QStringLiteral(".damaged");
        switch (backup) {
        case 0:
            QCOMPARE(fx.dialogs.messages.size(), 1);
            QCOMPARE(first.icon, MsgIcon::Critical);
            QVERIFY(first.text.endsWith(QStringLiteral("\n程序中止")));
            QVERIFY(!fx.state.Conn);
            break;
        case 1:
            QCOMPARE(first.icon, MsgIcon::Question);
            QCOMPARE(first.buttons, MsgButtons::YesNo);
            QCOMPARE(first.caption, QStringLiteral("重要提示"));
            QVERIFY2(first.text.endsWith(QStringLiteral("\n但还有备份文件,是否从备份文件恢复?")),
                     qPrintable(first.text));
            QCOMPARE(fx.dialogs.messages.size(), 1);
            QVERIFY(fx.state.Conn);
            QCOMPARE(bytesOf(aside), bytes); // kept aside, not thrown away
            QCOMPARE(dumpFile(fx.paths.data), dumpFile(fx.paths.backup)); // restored through SQLite
            QCOMPARE(groupNames(window), QStringList({"同学", "同事"}));
            QCOMPARE(window.listModel()->rowCount(), 3);
            break;
        case 2:
            QCOMPARE(fx.dialogs.messages.size(), 1);
            QVERIFY(!fx.state.Conn);
            QVERIFY(!QFile::exists(aside));
            break;
        }
        fx.closeWindow();
        if (backup != 1)
            QCOMPARE(bytesOf(fx.paths.data), bytes); // nothing changed
        if (backup == 0)
            QVERIFY(!QFile::exists(fx.paths.backup));
        else if (backup == 2)
            QCOMPARE(bytesOf(fx.paths.backup), backupBytes); // never overwritten with the damaged file
        else
            QCOMPARE(dumpFile(fx.paths.backup), backupDump); // refreshed from the restored file at close
    }

    // A journal beside the data file: garbage is ignored, an unfinished save is rolled back.
    void journalBesideDataFile_data() {
        QTest::addColumn<QString>("journal");
        QTest::newRow("empty journal") << "empty";
        QTest::newRow("garbage journal") << "garbage";
        QTest::newRow("unfinished save") << "hot";
    }
    void journalBesideDataFile() {
        QFETCH(QString, journal);
        ++badFilesTried_;
        Fixture fx;
        writeBytes(fx.paths.data, good_);
        const QString before = dumpFile(fx.paths.data);
        const QString journalPath = fx.paths.data + QStringLiteral("-journal");
        if (journal == QStringLiteral("empty")) {
            writeBytes(journalPath, QByteArray());
        } else if (journal == QStringLiteral("garbage")) {
            QByteArray garbage(8192, '\0');
            std::mt19937 random(5);
            for (char& c : garbage)
                c = static_cast<char>(random());
            writeBytes(journalPath, garbage);
        } else {
            // A process dies in the middle of a save that has already written into the data file.
            const pid_t child = fork();
            if (child == 0) {
                sqlite3* db = nullptr;
                sqlite3_open_v2(QFile::encodeName(fx.paths.data).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
                sqlite3_exec(db,
                             "pragma cache_size = 10; begin; update phone set 备注 = hex(randomblob(900));"
                             "delete from 分类;",
                             nullptr, nullptr, nullptr);
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            QVERIFY(QFile::exists(journalPath));
            QVERIFY(bytesOf(fx.paths.data) != good_); // the save had reached the data file
        }
        Frm_main& window = fx.window();
        QVERIFY2(fx.dialogs.messages.isEmpty(), qPrintable(fx.dialogs.texts().join('\n')));
        QCOMPARE(groupNames(window), QStringList({"同学", "同事"}));
        QCOMPARE(window.listModel()->rowCount(), 90);
        fx.closeWindow();
        QCOMPARE(dumpFile(fx.paths.data), before);
        QCOMPARE(dumpFile(fx.paths.backup), before);
        QCOMPARE(bytesOf(journalPath), QByteArray()); // no hot journal is left: none, or an empty one
    }

    // A damaged file is kept aside together with its journal, so that it can still be looked at as
    // it was; a second damaged file does not push the first one out.
    void damagedFilesAreKeptAside() {
        Fixture fx;
        const QString source = fx.dir.filePath(QStringLiteral("source.mdb"));
        fillDataFile(source, 3, 10);
        QVERIFY(QFile::copy(source, fx.paths.backup));
        const QString journal = fx.paths.data + QStringLiteral("-journal");
        writeBytes(fx.paths.data, QByteArray("first"));
        writeBytes(journal, QByteArray(600, 'j'));
        QString aside, error;
        QVERIFY2(restoreOverDamaged(fx.paths, &aside, &error), qPrintable(error));
        QCOMPARE(aside, fx.paths.data + QStringLiteral(".damaged"));
        QCOMPARE(bytesOf(aside), QByteArray("first"));
        QCOMPARE(bytesOf(aside + QStringLiteral("-journal")), QByteArray(600, 'j'));
        QVERIFY(!QFile::exists(journal));
        QCOMPARE(dumpFile(fx.paths.data), dumpFile(fx.paths.backup));

        writeBytes(fx.paths.data, QByteArray("second"));
        QVERIFY(restoreOverDamaged(fx.paths, &aside, &error));
        QCOMPARE(aside, fx.paths.data + QStringLiteral(".damaged.2"));
        QCOMPARE(bytesOf(aside), QByteArray("second"));
        QCOMPARE(bytesOf(fx.paths.data + QStringLiteral(".damaged")), QByteArray("first"));

        // A backup that cannot be used: the damaged file and its journal stay where they were.
        writeBytes(fx.paths.data, QByteArray("third"));
        writeBytes(journal, QByteArray(600, 'k'));
        writeBytes(fx.paths.backup, QByteArray(4096, 'x'));
        QVERIFY(!restoreOverDamaged(fx.paths, &aside, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(fx.paths.data), QByteArray("third"));
        QCOMPARE(bytesOf(journal), QByteArray(600, 'k'));
        QVERIFY(!QFile::exists(fx.paths.data + QStringLiteral(".damaged.3")));
    }

    void cleanupTestCase() { qInfo("bad data files tried: %d", badFilesTried_); }
};

ZINTEVA_TEST_MAIN_IN_MOUNT_NAMESPACE(QApplication, TestSafetyFiles)

#include "tst_safety_files.moc"
