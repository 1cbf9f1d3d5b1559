// Chinese all the way through: Qt's own texts, the dates, the command line of both programs, and
// the system's file errors, whatever the system's locale.
#include "core/app/CommandLine.h"
#include "core/app/Version.h"
#include "core/exchange/Importer.h"
#include "core/store/Store.h"
#include "core/text/FileErrors.h"
#include "core/text/TypedDate.h"
#include "gui/app/Translations.h"
#include "gui/list/ContactListModel.h"
#include "support/Fixture.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {
std::pair<int, QString> commandLine(const QStringList& arguments, const QString& dataFile) {
    QString text;
    QTextStream out(&text);
    const std::optional<int> code = runCommandLine(QStringList{QStringLiteral("zinteva")} + arguments, dataFile, out);
    return {code.value_or(-1), text};
}

// A program started as the user would start it: no display, the C locale.
std::tuple<int, QString, QString> runProgram(const QString& program, const QStringList& arguments,
                                             const QString& workDir) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, {}};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
} // namespace

class TestChinese : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The system speaks English; the program must not.
        QLocale::setDefault(QLocale::c());
        QVERIFY(installChineseTranslations(*QCoreApplication::instance()));
    }

    void qtsOwnTextsAreChinese_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("OK") << int(QDialogButtonBox::Ok) << "确定";
        QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel) << "取消";
        QTest::newRow("Yes") << int(QDialogButtonBox::Yes) << "是";
        QTest::newRow("No") << int(QDialogButtonBox::No) << "否";
        QTest::newRow("Save") << int(QDialogButtonBox::Save) << "保存";
        QTest::newRow("Discard") << int(QDialogButtonBox::Discard) << "丢弃";
    }
    void qtsOwnTextsAreChinese() {
        QFETCH(int, button);
        QFETCH(QString, text);
        QDialogButtonBox box{QDialogButtonBox::StandardButtons(button)};
        QVERIFY2(box.buttons().front()->text().contains(text), qPrintable(box.buttons().front()->text()));
        QCOMPARE(QLocale().language(), QLocale::Chinese);
    }

    // Dates read the Chinese way under any locale; a birthday without a year shows month and day.
    void datesShownTheChineseWay_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole date") << "1985-12-10" << "1985/12/10";
        QTest::newRow("one-digit month and day") << "2001-05-03" << "2001/5/3";
        QTest::newRow("a time from an older file") << "1985-12-10 00:00:00" << "1985/12/10";
        QTest::newRow("no year") << "1604-05-17" << "5月17日";
        QTest::newRow("no year, 29 February") << "1604-02-29" << "2月29日";
    }
    void datesShownTheChineseWay() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const QByteArray bytes = stored.toUtf8();
        QCOMPARE(shortDate(std::string_view(bytes.constData(), size_t(bytes.size()))), shown);
        // What the record form shows, it takes back as the same date.
        QCOMPARE(typedDate(shown).value_or(QDate()), QDate::fromString(stored.left(10), Qt::ISODate));
        QVERIFY(shown.size() <= 10); // the birthday box takes ten characters
        QVERIFY(shown.size() <= widestBirthdayText().size());
    }

    void typedChineseDates_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");
        QTest::newRow("年月日") << "1985年12月8日" << QDate(1985, 12, 8);
        QTest::newRow("月日") << "5月17日" << QDate(birthday::YearlessYear, 5, 17);
        QTest::newRow("号") << "5月17号" << QDate(birthday::YearlessYear, 5, 17);
        QTest::newRow("no such day") << "2月30日" << QDate();
        QTest::newRow("month 13") << "13月1日" << QDate();
        QTest::newRow("month only") << "5月" << QDate();
    }
    void typedChineseDates() {
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        QCOMPARE(typedDate(typed).value_or(QDate()), date);
    }

    // ---- the command line --------------------------------------------------------------------------

    void helpAndVersion_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("--help") << QStringList{"--help"} << "--import 文件";
        QTest::newRow("-h") << QStringList{"-h"} << "显示版本号";
        QTest::newRow("--help names --remind") << QStringList{"--help"} << "--remind";
        QTest::newRow("--help with other options") << QStringList{"--export", "x.vcf", "--help"} << "用法";
        QTest::newRow("--version") << QStringList{"--version"} << QStringLiteral("zinteva " ZINTEVA_VERSION);
        QTest::newRow("-v") << QStringList{"-v"} << QStringLiteral("zinteva " ZINTEVA_VERSION);
    }
    void helpAndVersion() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString dataFile = dir.filePath("tavrel.mdb");
        const auto [code, text] = commandLine(arguments, dataFile);
        QCOMPARE(code, exitcode::Success);
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY(!QFile::exists(dataFile)); // nothing ran
    }

    void mistakesAreToldInChinese_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing value") << QStringList{"--import"} << "选项 --import 后面缺少值";
        QTest::newRow("missing value of --group") << QStringList{"--import", "a.vcf", "--group"}
                                                  << "选项 --group 后面缺少值";
        QTest::newRow("unknown alone") << QStringList{"--frobnicate"} << "未知的选项：frobnicate";
        QTest::newRow("unknown beside --export") << QStringList{"--export", "a.vcf", "-x"} << "未知的选项：x";
    }
    void mistakesAreToldInChinese() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto [code, text] = commandLine(arguments, dir.filePath("tavrel.mdb"));
        QCOMPARE(code, exitcode::Usage);
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY2(!text.contains("Missing") && !text.contains("Unknown"), qPrintable(text));
    }

    void qtsOwnOptionsStayWithTheWindow() {
        QTemporaryDir dir;
        for (const QStringList& arguments : {QStringList{"-platform", "offscreen"}, QStringList{"-style", "Fusion"},
                                             QStringList{"-reverse"}, QStringList{"-qwindowgeometry", "400x300"}})
            QCOMPARE(commandLine(arguments, dir.filePath("tavrel.mdb")).first, -1);
    }

    void missingImportFileInChinese() {
        Fixture f;
        const auto [code, text] = commandLine({"--import", f.dir.filePath("nowhere.vcf")}, f.paths.data);
        QCOMPARE(code, exitcode::Incomplete);
        // Qt's own translation of the system's text, or the program's where Qt has none
        QVERIFY2(text.contains("没有那个文件或目录") || text.contains("此文件或目录不存在"), qPrintable(text));
        QVERIFY2(!text.contains("No such file"), qPrintable(text));
    }

    void fileErrorsInChinese_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("ENOENT") << ENOENT << "没有那个文件或目录";
        QTest::newRow("EACCES") << EACCES << "没有访问权限";
        QTest::newRow("ENOSPC") << ENOSPC << "磁盘上没有剩余空间";
        QTest::newRow("EISDIR") << EISDIR << "这是一个文件夹";
    }
    void fileErrorsInChinese() {
        QFETCH(int, code);
        QFETCH(QString, chinese);
        QCOMPARE(chineseFileError(QString::fromLocal8Bit(strerror(code))), chinese);
        QCOMPARE(chineseFileError(QStringLiteral("something new")), QStringLiteral("something new"));
    }

    // Both programs answer on the terminal without a display, and never take an option for a name.
    void programsAnswerWithoutADisplay_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zinteva --help") << ZINTEVA_PROGRAM << QStringList{"--help"} << 0 << "用法：zinteva";
        QTest::newRow("zinteva --version") << ZINTEVA_PROGRAM << QStringList{"--version"} << 0 << ZINTEVA_VERSION;
        QTest::newRow("zinteva --bogus") << ZINTEVA_PROGRAM << QStringList{"--bogus"} << 2 << "未知的选项";
        QTest::newRow("zinteva --help lists sync") << ZINTEVA_PROGRAM << QStringList{"--help"} << 0 << "--sync-url 地址";
        QTest::newRow("zinteva --help lists --sync-allow-delete")
            << ZINTEVA_PROGRAM << QStringList{"--help"} << 0 << "--sync-allow-delete";
        QTest::newRow("zinteva --sync-allow-delete alone")
            << ZINTEVA_PROGRAM << QStringList{"--sync-allow-delete"} << 2 << "只能与 --sync 一起使用";
        QTest::newRow("zinteva --sync-url alone") << ZINTEVA_PROGRAM << QStringList{"--sync-url", "http://127.0.0.1:9/"}
                                                  << 2 << "只能与 --sync 一起使用";
        QTest::newRow("zinteva --sync --import") << ZINTEVA_PROGRAM << QStringList{"--sync", "--import", "x.vcf"} << 2
                                                 << "--sync 不能与 --import 或 --export 同时使用";
        QTest::newRow("newdata --help") << ZINTEVA_NEWDATA << QStringList{"--help"} << 0 << "用法：zinteva-newdata";
        QTest::newRow("newdata --version") << ZINTEVA_NEWDATA << QStringList{"--version"} << 0 << ZINTEVA_VERSION;
        QTest::newRow("newdata --bogus") << ZINTEVA_NEWDATA << QStringList{"--bogus"} << 2 << "未知的选项：--bogus";
        QTest::newRow("newdata nothing") << ZINTEVA_NEWDATA << QStringList{} << 2 << "缺少文件夹名";
        QTest::newRow("newdata two") << ZINTEVA_NEWDATA << QStringList{"a", "b"} << 2 << "只能给一个文件夹名";
    }
    void programsAnswerWithoutADisplay() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto [exit, out, err] = runProgram(program, arguments, dir.path());
        QCOMPARE(exit, code);
        QVERIFY2((out + err).contains(expected), qPrintable(out + err));
        // nothing was created: no folder named after an option, no data file
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }

    // --help's descriptions start in one terminal column on every option line, whether the option's
    // value name is Chinese (two cells a character) or not.
    void helpDescriptionsLineUp_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("zinteva") << ZINTEVA_PROGRAM;
        QTest::newRow("zinteva-newdata") << ZINTEVA_NEWDATA;
    }
    void helpDescriptionsLineUp() {
        QFETCH(QString, program);
        QTemporaryDir dir;
        const auto [exit, out, err] = runProgram(program, {"--help"}, dir.path());
        QCOMPARE(exit, 0);
        auto cells = [](QStringView text) {
            int n = 0;
            for (const QChar c : text)
                n += c.script() == QChar::Script_Han || (c.unicode() >= 0x3000 && c.unicode() <= 0x303f) ||
                             (c.unicode() >= 0xff01 && c.unicode() <= 0xff60)
                         ? 2
                         : 1;
            return n;
        };
        QSet<int> columns;
        int optionLines = 0;
        for (const QString& line : out.split(u'\n')) {
            if (!line.startsWith(QLatin1String("  -")))
                continue;
            qsizetype start = line.indexOf(QLatin1String("  "), 2); // the option and its value, then the gap
            QVERIFY2(start > 0, qPrintable(line));
            while (start < line.size() && line[start] == u' ')
                ++start;
            columns << cells(QStringView(line).left(start));
            ++optionLines;
        }
        QVERIFY2(optionLines >= 3, qPrintable(out));
        QVERIFY2(columns.size() == 1, qPrintable(out));
    }

    void newdataTakesAFolderAfterDashes() {
        QTemporaryDir dir;
        const auto [exit, out, err] = runProgram(ZINTEVA_NEWDATA, {"--", "--help"}, dir.path());
        QCOMPARE(exit, 0);
        QVERIFY2(QFile::exists(dir.filePath("--help/tavrel.mdb")), qPrintable(err));
    }
};

QTEST_MAIN(TestChinese)
#include "tst_chinese.moc"
