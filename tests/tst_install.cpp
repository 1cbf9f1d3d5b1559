// The installed program: `cmake --install` with DESTDIR into a temporary folder gives the expected
// files, and they pass the desktop's validators; the installed zinteva, started from a folder it
// cannot write (a read-only bind mount: root ignores permission bits), keeps its data in the user's
// own folder, starts afresh there once, offers the backup back, imports a file it is given after
// asking, and ends through its close step on SIGTERM, SIGINT and SIGHUP.
#include "core/app/DataFolder.h"
#include "core/app/StartupGuard.h"
#include "core/app/Version.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "gui/app/Program.h"
#include "support/MountNamespace.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

constexpr int Timeout = ProgramRun::Timeout;

// A user with an empty home of their own, and the installed program run as that user.
class User : public ProgramRun {
public:
    QString dataDir() const { return home() + QStringLiteral("/.local/share/tavrel"); }
    DataPaths paths() const { return DataPaths::in(dataDir()); }

    void start(QProcess& process, const QString& program, const QStringList& arguments = {}) const {
        QProcessEnvironment environment = this->environment();
        environment.remove(QStringLiteral("ZINTEVA_DIR"));
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
    }
};

// Ends the program with a signal and returns once it is gone.
bool endWith(QProcess& process, int signal) {
    ::kill(static_cast<pid_t>(process.processId()), signal);
    return process.waitForFinished(Timeout);
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
public:
    TestInstall(bool isolated, const QString& why) : isolated_(isolated), why_(why) {}

private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), root_.path());
        install.setProcessEnvironment(environment);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(ZINTEVA_CMAKE), {QStringLiteral("--install"), QStringLiteral(ZINTEVA_BUILD_DIR),
                                                      QStringLiteral("--prefix"), QStringLiteral("/usr")});
        QVERIFY(install.waitForFinished(Timeout));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        program_ = root_.filePath(QStringLiteral("usr/bin/zinteva"));
        if (isolated_) {
            QString why;
            readOnly_ = mountns::bindReadOnly(root_.filePath(QStringLiteral("usr/bin")), &why);
            if (!readOnly_)
                why_ = why;
        }
    }

    void cleanupTestCase() {
        if (readOnly_)
            mountns::unmount(root_.filePath(QStringLiteral("usr/bin")));
    }

    void installedFiles_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("iconSize"); // 0: not a PNG icon
        QTest::newRow("program") << "usr/bin/zinteva" << 0;
        QTest::newRow("new data file") << "usr/bin/zinteva-newdata" << 0;
        QTest::newRow("launcher") << "usr/share/applications/org.example.zinteva.desktop" << 0;
        QTest::newRow("metainfo") << "usr/share/metainfo/org.example.zinteva.metainfo.xml" << 0;
        QTest::newRow("svg icon") << "usr/share/icons/hicolor/scalable/apps/zinteva.svg" << 0;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::addRow("icon %d", size)
                << QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/zinteva.png").arg(size) << size;
        QTest::newRow("manual") << "usr/share/man/man1/zinteva.1.gz" << 0;
        QTest::newRow("manual newdata") << "usr/share/man/man1/zinteva-newdata.1.gz" << 0;
        QTest::newRow("copyright") << "usr/share/doc/zinteva/copyright" << 0;
        QTest::newRow("changelog") << "usr/share/doc/zinteva/changelog.gz" << 0;
    }
    void installedFiles() {
        QFETCH(QString, path);
        QFETCH(int, iconSize);
        const QFileInfo file(root_.filePath(path));
        QVERIFY2(file.isFile(), qPrintable(path));
        QVERIFY(file.size() > 0);
        if (path.startsWith(u"usr/bin/"))
            QVERIFY(file.isExecutable());
        if (iconSize > 0) {
            const QImage icon(file.filePath());
            QCOMPARE(icon.size(), QSize(iconSize, iconSize));
            QVERIFY(icon.hasAlphaChannel());
            // Drawn, not blank: the middle of the icon is opaque.
            QCOMPARE(qAlpha(icon.pixel(iconSize / 2, iconSize / 2)), 255);
        }
    }

    void validators_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop") << "desktop-file-validate"
                                 << QStringList{"usr/share/applications/org.example.zinteva.desktop"};
        QTest::newRow("appstream") << "appstreamcli"
                                   << QStringList{"validate", "--no-net", "--pedantic",
                                                  "usr/share/metainfo/org.example.zinteva.metainfo.xml"};
        QTest::newRow("manual")
            << "man"
            << QStringList{"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", "usr/share/man/man1/zinteva.1.gz"};
        QTest::newRow("manual newdata")
            << "man"
            << QStringList{
                   "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", "usr/share/man/man1/zinteva-newdata.1.gz"};
    }
    void validators() {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        const QString found = QStandardPaths::findExecutable(tool);
        if (found.isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/packages.txt)")));
        QProcess check;
        check.setWorkingDirectory(root_.path());
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(found, arguments);
        QVERIFY(check.waitForFinished(Timeout));
        const QByteArray output = check.readAll();
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, output.constData());
        // man prints its warnings and still succeeds.
        if (tool == u"man")
            QVERIFY2(!output.contains("warning"), output.constData());
    }

    void oneVersionNumber() {
        const QByteArray metainfo =
            bytesOf(root_.filePath(QStringLiteral("usr/share/metainfo/org.example.zinteva.metainfo.xml")));
        QVERIFY(metainfo.contains("<release version=\"" + QByteArray(zinteva::Version) + "\""));
        QVERIFY(!QByteArray(zinteva::Version).isEmpty());
    }

    // The rule on its inputs.
    void dataFolderRule_data() {
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("programTakesFiles");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("kind");
        QTest::newRow("beside a writable program") << "" << true << "/opt/z" << int(DataFolder::Kind::ProgramFolder);
        QTest::newRow("installed") << "" << false << "/home/u/.local/share/tavrel" << int(DataFolder::Kind::PerUser);
        QTest::newRow("named over writable") << "/srv/d" << true << "/srv/d" << int(DataFolder::Kind::Named);
        QTest::newRow("named over installed") << "/srv/d" << false << "/srv/d" << int(DataFolder::Kind::Named);
    }
    void dataFolderRule() {
        QFETCH(QString, named);
        QFETCH(bool, programTakesFiles);
        QFETCH(QString, expected);
        QFETCH(int, kind);
        const DataFolder folder = DataFolder::choose(named, QStringLiteral("/opt/z"), programTakesFiles,
                                                     QStringLiteral("/home/u/.local/share/tavrel"));
        QCOMPARE(folder.dir, expected);
        QCOMPARE(int(folder.kind), kind);
    }

    void readOnlyFolderTakesNoData() {
        if (!readOnly_)
            QSKIP(qPrintable(QStringLiteral("no read-only bind mount here: ") + why_));
        QVERIFY(!programFolderTakesData(root_.filePath(QStringLiteral("usr/bin"))));
        QVERIFY(programFolderTakesData(root_.filePath(QStringLiteral("usr/share"))));
    }

    // First start: an empty data file in the user's folder, said once. The SIGTERM comes while the
    // program may still be loading: it is answered once the window runs, through the close step.
    void firstStartCreatesTheDataFile() {
        if (!readOnly_)
            QSKIP(qPrintable(QStringLiteral("no read-only bind mount here: ") + why_));
        User user;
        QProcess first;
        user.start(first, program_);
        QVERIFY2(user.waitForMessages(1), "no word of the new data file");
        QCOMPARE(user.messages(), QStringList{loggedMessage({}, foldertext::created(user.paths().data))});
        QVERIFY(!QFile::exists(root_.filePath(QStringLiteral("usr/bin/tavrel.mdb"))));
        QCOMPARE(QFileInfo(user.dataDir()).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        // The folder and the file did not exist when the first copy took its lock: it holds the
        // lock of the new ones, so a second copy is refused.
        QProcess twin;
        user.start(twin, program_);
        QVERIFY(twin.waitForFinished(Timeout));
        QVERIFY(twin.exitCode() != 0);
        QCOMPARE(user.messages().value(1), loggedMessage({}, guardtext::AlreadyRunning));
        QCOMPARE(first.state(), QProcess::Running);

        QVERIFY(endWith(first, SIGTERM));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(checkDataFile(user.paths().data), QStringLiteral("ok"));
        QCOMPARE(checkDataFile(user.paths().backup), QStringLiteral("ok"));

        // The second start says nothing about a new file: its first word is the reminder.
        {
            auto store = Store::open(user.paths().data);
            ContactFields f;
            f.groupKey = store->addGroup(QStringLiteral("朋友"));
            f.name = QStringLiteral("寿星");
            f.birthday = QDate::currentDate().addDays(2).addYears(-30);
            store->addContact(f);
        }
        QProcess second;
        user.start(second, program_);
        QVERIFY(user.waitForMessages(3));
        QVERIFY(endWith(second, SIGTERM));
        QCOMPARE(user.messages(), (QStringList{loggedMessage({}, foldertext::created(user.paths().data)),
                                               loggedMessage({}, guardtext::AlreadyRunning), oneBirthdayMessage()}));
    }

    void lostFilesAreReported_data() {
        QTest::addColumn<bool>("backup");
        QTest::addColumn<bool>("marker");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("contacts"); // -1: the program stops, no data file
        QTest::newRow("only the backup: restore offered")
            << true << true << QStringList{loggedMessage(guardtext::RestoreCaption, guardtext::OfferRestore), oneBirthdayMessage()}
            << 1;
        QTest::newRow("only the backup, no marker: restore offered")
            << true << false << QStringList{loggedMessage(guardtext::RestoreCaption, guardtext::OfferRestore), oneBirthdayMessage()}
            << 1;
        QTest::newRow("folder used before, both gone: stop")
            << false << true << QStringList{loggedMessage({}, guardtext::BothMissing)} << -1;
    }
    void lostFilesAreReported() {
        QFETCH(bool, backup);
        QFETCH(bool, marker);
        QFETCH(QStringList, expected);
        QFETCH(int, contacts);
        if (!readOnly_)
            QSKIP(qPrintable(QStringLiteral("no read-only bind mount here: ") + why_));
        User user;
        QDir().mkpath(user.dataDir());
        if (backup) {
            prepareBirthdayDataFile(user.paths().data);
            QVERIFY(QFile::rename(user.paths().data, user.paths().backup));
        }
        if (marker)
            writeBytes(usedMarkerPath(user.dataDir()), "used\n");
        QProcess program;
        user.start(program, program_);
        QVERIFY(user.waitForMessages(expected.size()));
        QCOMPARE(user.messages(), expected);
        if (contacts < 0) {
            QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(Timeout));
            QVERIFY(program.exitCode() != 0);
            QVERIFY(!QFile::exists(user.paths().data));
            return;
        }
        QCOMPARE(Store::open(user.paths().data)->contactCount(), contacts);
        QVERIFY(endWith(program, SIGTERM));
    }

    // Every way a session ends runs the close step: settings written, backup refreshed.
    void signalsEndThroughTheCloseStep_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsEndThroughTheCloseStep() {
        QFETCH(int, signal);
        if (!readOnly_)
            QSKIP(qPrintable(QStringLiteral("no read-only bind mount here: ") + why_));
        User user;
        prepareBirthdayDataFile(user.paths().data);
        writeBytes(usedMarkerPath(user.dataDir()), "used\n");
        QProcess program;
        user.start(program, program_);
        QVERIFY2(user.waitForMessages(1), "the program never finished loading");
        QCOMPARE(user.messages(), QStringList{oneBirthdayMessage()});
        QVERIFY(!QFile::exists(user.paths().backup));

        QVERIFY(endWith(program, signal));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(Store::open(user.paths().backup)->contactCount(), 1);
        QVERIFY(bytesOf(user.home() + QStringLiteral("/.config/tavrel/tavrel.conf")).contains("state="));
        // The lock went with the program: the next start is not refused.
        QProcess next;
        user.start(next, program_);
        QVERIFY(user.waitForMessages(2));
        QCOMPARE(user.messages().value(1), oneBirthdayMessage());
        QVERIFY(endWith(next, SIGTERM));
    }

    // A .vcf opened with the program (the launcher's %f) is imported once the user agrees.
    void givenFileIsImportedAfterAsking() {
        if (!readOnly_)
            QSKIP(qPrintable(QStringLiteral("no read-only bind mount here: ") + why_));
        User user;
        prepareBirthdayDataFile(user.paths().data);
        writeBytes(usedMarkerPath(user.dataDir()), "used\n");
        const QString card = vcardFixturePath(QStringLiteral("v30-full.vcf"));
        QProcess program;
        user.start(program, program_, {card});
        QVERIFY2(user.waitForMessages(3), "no question or no summary");
        const QStringList messages = user.messages();
        QCOMPARE(messages.value(0), oneBirthdayMessage());
        QCOMPARE(messages.value(1), loggedMessage(QStringLiteral("导入联系人"), givenFileQuestion(card, 1)));
        QVERIFY2(messages.value(2).startsWith(u'\t'), qPrintable(messages.value(2)));
        QVERIFY(endWith(program, SIGTERM));
        QCOMPARE(Store::open(user.paths().data)->contactCount(), 2);
    }

private:
    bool isolated_;
    QString why_;
    bool readOnly_ = false;
    QTemporaryDir root_;
    QString program_;
};

ZINTEVA_TEST_MAIN_IN_MOUNT_NAMESPACE(QCoreApplication, TestInstall)

#include "tst_install.moc"
