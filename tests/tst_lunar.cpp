// Lunar birthdays: the calendar table against published dates and Debian's `lunar` utility, the
// rules for days that do not exist every year, their storage, the reminder that catches lunar and
// Gregorian birthdays together, `--remind` and the login entry.
#include "core/app/Autostart.h"
#include "core/app/CommandLine.h"
#include "core/app/Settings.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"
#include "core/rules/BirthdayHint.h"
#include "core/rules/BirthdayReport.h"
#include "core/rules/DirectorySession.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"
#include "core/text/LunarDate.h"
#include "support/Fixture.h"
#include "support/StoreProbe.h"
#include "core/store/RowOrder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(std::optional<QDate>)

namespace {
LunarBirthday lb(int year, int month, int day, bool leap = false) {
    return LunarBirthday{year, month, day, leap};
}
} // namespace

class TestLunar : public QObject {
    Q_OBJECT

private slots:
    // 正月初一 as the published calendar has it; ICU 72 is wrong for 2027 and 2030.
    void springFestival_data() {
        QTest::addColumn<int>("year");
        QTest::addColumn<QDate>("day");
        const QDate days[] = {{2020, 1, 25}, {2021, 2, 12}, {2022, 2, 1},  {2023, 1, 22}, {2024, 2, 10}, {2025, 1, 29},
                              {2026, 2, 17}, {2027, 2, 6},  {2028, 1, 26}, {2029, 2, 13}, {2030, 2, 3},  {2031, 1, 23},
                              {2032, 2, 11}, {2033, 1, 31}, {2034, 2, 19}, {2035, 2, 8}};
        for (const QDate& d : days)
            QTest::addRow("%d", d.year()) << d.year() << d;
    }
    void springFestival() {
        QFETCH(int, year);
        QFETCH(QDate, day);
        QCOMPARE(lunar::toGregorian({year, 1, 1, false}), std::optional<QDate>(day));
        QCOMPARE(lunar::fromGregorian(day), std::optional<lunar::Day>(lunar::Day{year, 1, 1, false}));
        // The day before is the last day of the previous year's 腊月.
        const std::optional<lunar::Day> eve = lunar::fromGregorian(day.addDays(-1));
        QVERIFY(eve);
        QCOMPARE(eve->year, year - 1);
        QCOMPARE(eve->month, 12);
        QCOMPARE(eve->day, lunar::monthLength(year - 1, 12, false));
        // The published dates above, as Debian's table-based `lunar` utility gives them.
        const QString program = QStandardPaths::findExecutable(QStringLiteral("lunar"));
        if (program.isEmpty())
            return;
        QProcess oracle;
        oracle.start(program, {QString::number(day.year()), QString::number(day.month()), QString::number(day.day())});
        QVERIFY(oracle.waitForFinished(30000));
        const QByteArray said = oracle.readAllStandardOutput();
        QVERIFY2(said.contains(QStringLiteral("Lunar : %1.1.1.").arg(year).toLatin1()), said.constData());
    }

    void leapMonths_data() {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("leapMonth");
        const std::pair<int, int> years[] = {{2012, 4}, {2014, 9}, {2017, 6}, {2020, 4}, {2023, 2}, {2024, 0},
                                             {2025, 6}, {2026, 0}, {2027, 0}, {2028, 5}, {2031, 3}, {2033, 11}};
        for (const auto& [year, month] : years)
            QTest::addRow("%d", year) << year << month;
    }
    void leapMonths() {
        QFETCH(int, year);
        QFETCH(int, leapMonth);
        QCOMPARE(lunar::leapMonthOf(year), leapMonth);
        QCOMPARE(lunar::monthLength(year, leapMonth ? leapMonth : 1, true) != 0, leapMonth != 0);
    }

    // Every lunar day of the table against Debian's `lunar` utility, on a sample of days across it.
    void agreesWithLunarUtility() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("lunar"));
        if (program.isEmpty())
            QSKIP("Debian's lunar utility is not installed");
        static const QRegularExpression lunarLine(QStringLiteral(R"(Lunar\s*:\s*(\d+)\.(\d+)(Leap)?\.(\d+))"));
        int compared = 0;
        // The utility's own table ends with 2049.
        for (QDate day(1901, 1, 1); day.year() < 2050; day = day.addDays(173)) {
            QProcess p;
            p.start(program, {QString::number(day.year()), QString::number(day.month()), QString::number(day.day())});
            QVERIFY(p.waitForFinished(30000));
            const QRegularExpressionMatch m = lunarLine.match(QString::fromLatin1(p.readAllStandardOutput()));
            QVERIFY2(m.hasMatch(), qPrintable(day.toString(Qt::ISODate)));
            const lunar::Day expected{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(4).toInt(),
                                      !m.captured(3).isEmpty()};
            QCOMPARE(lunar::fromGregorian(day), std::optional<lunar::Day>(expected));
            QCOMPARE(lunar::toGregorian(expected), std::optional<QDate>(day));
            ++compared;
        }
        QVERIFY(compared > 300);
    }

    // The day a birthday is kept in a given lunar year, checked against `lunar -i`.
    void birthdayRules_data() {
        QTest::addColumn<int>("year");
        QTest::addColumn<LunarBirthday>("birthday");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("腊月初八, lunar 2025") << 2025 << lb(1950, 12, 8) << QDate(2026, 1, 26);
        QTest::newRow("腊月初八, lunar 2026") << 2026 << lb(1950, 12, 8) << QDate(2027, 1, 15);
        QTest::newRow("腊月初八, lunar 2027") << 2027 << lb(1950, 12, 8) << QDate(2028, 1, 4);
        QTest::newRow("腊月初八, lunar 2028") << 2028 << lb(1950, 12, 8) << QDate(2029, 1, 22);
        QTest::newRow("leap month kept in its year") << 2020 << lb(2020, 4, 15, true) << QDate(2020, 6, 6);
        QTest::newRow("ordinary month in a year with its leap") << 2020 << lb(1990, 4, 15) << QDate(2020, 5, 7);
        QTest::newRow("leap month, year without: ordinary") << 2021 << lb(2020, 4, 15, true) << QDate(2021, 5, 26);
        QTest::newRow("30th, 29-day 腊月: 29th") << 2021 << lb(2020, 12, 30) << QDate(2022, 1, 31);
        QTest::newRow("30th before the Spring Festival") << 2025 << lb(2020, 12, 30) << QDate(2026, 2, 16);
        QTest::newRow("30th in a 30-day month") << 2024 << lb(2023, 2, 30, true) << QDate(2024, 4, 8);
        QTest::newRow("leap 30th, no leap, 29 days") << 2026 << lb(2023, 2, 30, true) << QDate(2026, 4, 16);
    }
    void birthdayRules() {
        QFETCH(int, year);
        QFETCH(LunarBirthday, birthday);
        QFETCH(QDate, expected);
        QCOMPARE(lunar::birthdayIn(year, birthday.month, birthday.day, birthday.leap), std::optional<QDate>(expected));
    }

    void outsideTheTable() {
        QCOMPARE(lunar::fromGregorian(QDate(1899, 12, 31)), std::optional<lunar::Day>());
        QCOMPARE(lunar::birthdayIn(lunar::lastYear() + 1, 1, 1, false), std::optional<QDate>());
        QCOMPARE(lunar::toGregorian({2021, 12, 30, false}), std::optional<QDate>()); // 腊月 of 2021 has 29 days
        QCOMPARE(lunar::toGregorian({2021, 4, 1, true}), std::optional<QDate>());    // no leap month in 2021
        // Where the table ends the Gregorian birthday holds.
        const StoredBirthday both{QDate(1950, 3, 5), lb(0, 12, 8)};
        QCOMPARE(nextBirthdayValue(QDate(2100, 6, 1), both, 10), std::optional<QDate>(QDate(2100, 3, 5)));
    }

    // The same window rule as for Gregorian birthdays, on the lunar year today belongs to.
    void nextLunarBirthday_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<LunarBirthday>("birthday");
        QTest::addColumn<int>("window");
        QTest::addColumn<std::optional<QDate>>("expected");
        QTest::addColumn<QDate>("upcoming");
        const auto some = [](QDate d) { return std::optional<QDate>(d); };
        const LunarBirthday laba = lb(1950, 12, 8);
        QTest::newRow("腊月初八 2026, in window") << QDate(2026, 1, 20) << laba << 10 << some({2026, 1, 26}) << QDate(2026, 1, 26);
        QTest::newRow("腊月初八 2027, today") << QDate(2027, 1, 15) << laba << 0 << some({2027, 1, 15}) << QDate(2027, 1, 15);
        QTest::newRow("腊月初八 2028 across 1 January")
            << QDate(2027, 12, 30) << laba << 10 << some({2028, 1, 4}) << QDate(2028, 1, 4);
        QTest::newRow("腊月初八 not yet in window") << QDate(2027, 12, 20) << laba << 10 << some({2028, 1, 4}) << QDate(2028, 1, 4);
        QTest::newRow("past this lunar year") << QDate(2026, 1, 27) << laba << 10 << some({2026, 1, 26}) << QDate(2027, 1, 15);
        QTest::newRow("正月初三 across the lunar new year")
            << QDate(2027, 2, 1) << lb(1960, 1, 3) << 10 << some({2027, 2, 1}) << QDate(2027, 2, 8);
        QTest::newRow("正月初三 beyond the window")
            << QDate(2027, 2, 1) << lb(1960, 1, 3) << 5 << some({2026, 2, 19}) << QDate(2027, 2, 8);
        QTest::newRow("year of birth unknown") << QDate(2026, 1, 20) << lb(0, 12, 8) << 10 << some({2026, 1, 26}) << QDate(2026, 1, 26);
    }
    void nextLunarBirthday() {
        QFETCH(QDate, today);
        QFETCH(LunarBirthday, birthday);
        QFETCH(int, window);
        QFETCH(std::optional<QDate>, expected);
        QFETCH(QDate, upcoming);
        // 生日 holds another day on purpose: the lunar birthday wins.
        const StoredBirthday stored{QDate(1950, 6, 1), birthday};
        QCOMPARE(nextBirthdayValue(today, stored, window), expected);
        QCOMPARE(upcomingBirthday(today, stored), std::optional<QDate>(upcoming));
    }

    void texts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<LunarBirthday>>("expected");
        QTest::addColumn<QString>("shown");
        const auto some = [](LunarBirthday b) { return std::optional<LunarBirthday>(b); };
        QTest::newRow("shown form") << "农历 1950年腊月初八" << some(lb(1950, 12, 8)) << "农历 1950年腊月初八";
        QTest::newRow("no year") << "腊月初八" << some(lb(0, 12, 8)) << "农历 腊月初八";
        QTest::newRow("leap") << "2020年闰四月十五" << some(lb(2020, 4, 15, true)) << "农历 2020年闰四月十五";
        QTest::newRow("numbers") << "1960年1月3日" << some(lb(1960, 1, 3)) << "农历 1960年正月初三";
        QTest::newRow("廿 and 冬月") << "冬月廿三" << some(lb(0, 11, 23)) << "农历 冬月廿三";
        QTest::newRow("二十 and 初十") << "十月二十" << some(lb(0, 10, 20)) << "农历 十月二十";
        QTest::newRow("file form") << "1950-12-08" << some(lb(1950, 12, 8)) << "农历 1950年腊月初八";
        QTest::newRow("file form, leap") << "2020-L04-15" << some(lb(2020, 4, 15, true)) << "农历 2020年闰四月十五";
        QTest::newRow("leap month the year lacks") << "2021年闰四月十五" << std::optional<LunarBirthday>() << "";
        QTest::newRow("30th the month lacks") << "2021年腊月三十" << std::optional<LunarBirthday>() << "";
        QTest::newRow("month 13") << "13月1日" << std::optional<LunarBirthday>() << "";
        QTest::newRow("not a date") << "明天" << std::optional<LunarBirthday>() << "";
    }
    // The hint beside the record form's birthday box: what would be stored as no birthday.
    void birthdayHints_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("lunar");
        QTest::addColumn<int>("hint");
        const int none = int(BirthdayHint::None), wrong = int(BirthdayHint::NotADate),
                  untick = int(BirthdayHint::LunarUnticked);
        QTest::newRow("empty") << "  " << false << none;
        QTest::newRow("date") << "1990-2-28" << false << none;
        QTest::newRow("chinese date") << "1980年5月3日" << false << none;
        QTest::newRow("no such day") << "1990-2-30" << false << wrong;
        QTest::newRow("words") << "明天" << false << wrong;
        QTest::newRow("lunar unticked") << "1938年腊月初八" << false << untick;
        QTest::newRow("lunar ticked") << "1938年腊月初八" << true << none;
        QTest::newRow("ticked, not lunar") << "明天" << true << wrong;
        QTest::newRow("ticked, month lacks 30th") << "2021年腊月三十" << true << wrong;
    }
    void birthdayHints() {
        QFETCH(QString, typed);
        QFETCH(bool, lunar);
        QFETCH(int, hint);
        QCOMPARE(int(birthdayHint(typed, lunar)), hint);
        QCOMPARE(birthdayHintText(birthdayHint(typed, lunar)).isEmpty(), hint == int(BirthdayHint::None));
    }

    void texts() {
        QFETCH(QString, typed);
        QFETCH(std::optional<LunarBirthday>, expected);
        QFETCH(QString, shown);
        const std::optional<LunarBirthday> parsed = parseLunarBirthday(typed);
        QCOMPARE(parsed, expected);
        if (!parsed)
            return;
        QCOMPARE(lunarBirthdayText(*parsed), shown);
        QCOMPARE(parseLunarBirthday(shown), parsed);
        QCOMPARE(parseLunarBirthdayValue(lunarBirthdayValue(*parsed)), parsed);
    }

    // 生日 keeps the Gregorian day of birth; the mark goes with the contact.
    void storedWithTheContact() {
        Fixture fx;
        Store& store = fx.open();
        ContactFields f = contact(fx.addGroup(QStringLiteral("家人")), QStringLiteral("奶奶"));
        f.birthday = QDate(1999, 9, 9); // what the box held before the mark: the lunar date wins
        f.lunarBirthday = lb(1950, 12, 8);
        const QString key = store.addContact(f);
        std::optional<ContactFields> loaded = store.loadContact(key);
        QVERIFY(loaded);
        QCOMPARE(loaded->lunarBirthday, f.lunarBirthday);
        QCOMPARE(loaded->birthday, std::optional<QDate>(QDate(1951, 1, 15))); // 腊月初八 of lunar 1950

        loaded->lunarBirthday.reset();
        store.updateContact(key, *loaded);
        QCOMPARE(store.loadContact(key)->lunarBirthday, std::optional<LunarBirthday>());
        QCOMPARE(store.loadContact(key)->birthday, std::optional<QDate>(QDate(1951, 1, 15)));

        loaded->lunarBirthday = lb(2020, 4, 15, true);
        store.updateContact(key, *loaded);
        QCOMPARE(fx.count("select count(*) from zinteva_lunar_birthdays"), 1);
        store.deleteContact(key);
        QCOMPARE(fx.count("select count(*) from zinteva_lunar_birthdays"), 0);
    }

    // A deleted person brought back from the recently deleted has their lunar birthday again.
    void restoredWithTheContact() {
        Fixture fx(QDate(2026, 1, 20));
        Store& store = fx.open();
        store.enableHistory();
        const QString g = fx.addGroup(QStringLiteral("家人"));
        ContactFields grandma = contact(g, QStringLiteral("奶奶"));
        grandma.lunarBirthday = lb(2020, 4, 15, true);
        const QString key = store.addContact(grandma);
        fx.addContact(g, QStringLiteral("小明"), QDate(1990, 1, 24));
        store.deleteContact(key);
        QCOMPARE(store.lunarBirthdays().byContactKey().size(), size_t(0));
        const std::vector<DeletedContact> deleted = store.recentlyDeleted().list();
        QCOMPARE(deleted.size(), size_t(1));
        QCOMPARE(store.restoreDeleted(deleted[0].id), key);
        const std::optional<ContactFields> back = store.loadContact(key);
        QVERIFY(back);
        QCOMPARE(back->lunarBirthday, std::optional<LunarBirthday>(lb(2020, 4, 15, true)));
        QCOMPARE(back->birthday, std::optional<QDate>(QDate(2020, 6, 6)));
    }

    // A fixed today: the reminder query and the report catch lunar and Gregorian birthdays together.
    void reminderCatchesBoth_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("2026") << QDate(2026, 1, 20) << QStringList{"小明", "奶奶"};
        QTest::newRow("2027") << QDate(2027, 1, 10) << QStringList{"小红", "奶奶"};
        QTest::newRow("2028") << QDate(2027, 12, 28) << QStringList{"小刚", "奶奶"};
        QTest::newRow("nobody") << QDate(2026, 3, 1) << QStringList{};
    }
    void reminderCatchesBoth() {
        QFETCH(QDate, today);
        QFETCH(QStringList, names);
        Fixture fx(today);
        Store& store = fx.open();
        const QString g = fx.addGroup(QStringLiteral("家人"));
        ContactFields grandma = contact(g, QStringLiteral("奶奶"));
        grandma.lunarBirthday = lb(1950, 12, 8);
        store.addContact(grandma);
        fx.addContact(g, QStringLiteral("小明"), QDate(1990, 1, 24));
        fx.addContact(g, QStringLiteral("小红"), QDate(1990, 1, 13));
        fx.addContact(g, QStringLiteral("小刚"), QDate(1990, 12, 30));
        fx.addContact(g, QStringLiteral("无生日"));

        const BirthdayReport report = birthdayReport(store, today, 10);
        QStringList reported;
        for (const BirthdayReportRow& row : report.rows)
            reported << row.name;
        QCOMPARE(reported, names);

        ComputeNextBirthdays(store, today, 10);
        SQLite::Statement query(storeDb(store),
                                "select 姓名 from phone where nowbirthday between ? and ? order by 姓名");
        query.bind(1, storedDate(today).toStdString());
        query.bind(2, storedDate(today.addDays(10)).toStdString());
        QStringList caught;
        while (query.executeStep())
            caught << QString::fromStdString(query.getColumn(0).getString());
        // The window's reminder list: the same people, the next birthday first, a lunar one as such.
        RowTable rows;
        store.listQuery(reminderQuery(today, 10), rows);
        QStringList listed;
        for (int r = 0; r < rows.rowCount(); ++r) {
            listed << rows.qtext(r, RowTable::NameColumn);
            if (listed.last() != QStringLiteral("奶奶"))
                continue;
            const std::string_view cell = rows.text(r, RowTable::BirthdayColumn);
            QCOMPARE(QString::fromUtf8(shownBirthdayText(cell)), QStringLiteral("农历 腊月初八"));
            // a click on the birthday header sorts it by its Gregorian day, not among the empty
            QVERIFY(!sortKeysOf(rows, RowTable::BirthdayColumn).keys[static_cast<size_t>(r)].empty);
        }
        QCOMPARE(listed, names);
        std::sort(reported.begin(), reported.end());
        QCOMPARE(caught, reported);
    }

    // Export writes BDAY and the lunar date; import reads it back, and it wins over BDAY.
    void vcard_data() {
        QTest::addColumn<LunarBirthday>("birthday");
        QTest::addColumn<QString>("line");
        QTest::newRow("腊月初八") << lb(1950, 12, 8) << "X-ZINTEVA-LUNAR-BIRTHDAY:1950-12-08";
        QTest::newRow("leap month") << lb(2020, 4, 15, true) << "X-ZINTEVA-LUNAR-BIRTHDAY:2020-L04-15";
        QTest::newRow("no year") << lb(0, 11, 23) << "X-ZINTEVA-LUNAR-BIRTHDAY:--11-23";
    }
    void vcard() {
        QFETCH(LunarBirthday, birthday);
        QFETCH(QString, line);
        for (const VCardVersion version : {VCardVersion::V30, VCardVersion::V40}) {
            ExportCard card;
            card.fields.name = QStringLiteral("奶奶");
            card.fields.lunarBirthday = birthday;
            card.fields.birthday = birthday.gregorian();
            const QByteArray written = VCardWriter::write(card, version);
            QVERIFY2(written.contains(line.toUtf8() + "\r\n"), written.constData());
            QCOMPARE(written.contains("BDAY"), birthday.year != 0);
            // Another program changed BDAY: the lunar date still wins.
            QByteArray edited = written;
            edited.replace("BEGIN:VCARD\r\n", "BEGIN:VCARD\r\nBDAY:2001-02-03\r\n");
            const ImportBatch batch = VCardReader::read(edited);
            QCOMPARE(batch.records.size(), size_t(1));
            QCOMPARE(batch.records[0].fields.lunarBirthday, std::optional<LunarBirthday>(birthday));

            Fixture fx;
            Store& store = fx.open();
            fx.addGroup(QStringLiteral("家人"));
            const QString file = fx.dir.filePath(QStringLiteral("in.vcf"));
            writeFile(file, edited);
            QVERIFY(Importer(store, fx.paths.data).runFile(file, {}).complete());
            const std::optional<ContactFields> imported = store.loadContact(QStringLiteral("friend1"));
            QVERIFY(imported);
            QCOMPARE(imported->lunarBirthday, std::optional<LunarBirthday>(birthday));
            QCOMPARE(imported->birthday, birthday.gregorian() ? birthday.gregorian() : std::optional<QDate>(QDate(2001, 2, 3)));
            // Exported again, file-wide, by group and by person: the lunar date once, beside BDAY.
            for (const ExportSelection& selection :
                 {ExportSelection::all(), ExportSelection::group(imported->groupKey),
                  ExportSelection::contacts({QStringLiteral("friend1")})}) {
                const QString out = fx.dir.filePath(QStringLiteral("out.vcf"));
                int count = 0;
                QString error;
                QVERIFY2(Exporter(store).exportToFile(out, selection, version == VCardVersion::V40 ? ExportFormat::VCard40
                                                                                                   : ExportFormat::VCard30,
                                                      &count, &error),
                         qPrintable(error));
                QFile exported(out);
                QVERIFY(exported.open(QIODevice::ReadOnly));
                QCOMPARE(exported.readAll().count(line.toUtf8() + "\r\n"), 1);
            }
        }
        // A value that is not a lunar date is reported, not imported.
        const ImportBatch bad = VCardReader::read(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nX-ZINTEVA-LUNAR-BIRTHDAY:2021-L04-15\r\nEND:VCARD\r\n");
        QCOMPARE(bad.records.size(), size_t(1));
        QCOMPARE(bad.records[0].fields.lunarBirthday, std::optional<LunarBirthday>());
        QCOMPARE(bad.records[0].warnings.size(), 1);
    }

    // The notification's click starts the program with --show-reminder: that is the window, not a
    // mistake on the command line.
    void showReminderStartsTheWindow() {
        QString printed;
        QTextStream out(&printed);
        QCOMPARE(runCommandLine({QStringLiteral("zinteva"), QStringLiteral("--show-reminder")}, QString(), out),
                 std::optional<int>());
        QVERIFY(printed.isEmpty());
        // A mistyped one is still refused.
        QCOMPARE(runCommandLine({QStringLiteral("zinteva"), QStringLiteral("--show-reminders")}, QString(), out),
                 std::optional<int>(exitcode::Usage));
    }

    void remindCommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("notifyWorks");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("notified");
        QTest::addColumn<bool>("foreignTrigger"); // the file has a trigger another program made
        const QString found = QStringLiteral("最近 10 天有 2 位过生日的好友\n"
                                             "今天\t奶奶\t农历 腊月初八\n"
                                             "2月5日（还有 10 天）\t小明 \t2月5日\n");
        QTest::newRow("printed and shown") << QStringList{"--remind"} << true << 0 << found << 1 << false;
        QTest::newRow("notification fails") << QStringList{"--remind"} << false << 1
                                            << found + QStringLiteral("无法显示桌面通知：没有通知服务\n") << 1 << false;
        QTest::newRow("with other arguments")
            << QStringList{"--remind", "--group", "x"} << true << 2 << QStringLiteral("--remind 不能与其它参数一起使用\n")
            << 0 << false;
        // read-only, the trigger can never run: the file is read as it is
        QTest::newRow("foreign trigger") << QStringList{"--remind"} << true << 0 << found << 1 << true;
    }
    void remindCommand() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, notifyWorks);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(int, notified);
        // 腊月初八 of lunar 2025 is 26 January 2026: today.
        Fixture fx(QDate(2026, 1, 26));
        Store& store = fx.open();
        const QString g = fx.addGroup(QStringLiteral("家人"));
        fx.addContact(g, QStringLiteral("小明\x1b"), QDate(1990, 2, 5)); // an escape sequence is not printed
        ContactFields grandma = contact(g, QStringLiteral("奶奶"));
        grandma.lunarBirthday = lb(1950, 12, 8);
        store.addContact(grandma);
        fx.addContact(g, QStringLiteral("小刚"), QDate(1990, 2, 6)); // 11 days away: outside
        fx.settings->setText(setting::Day, QStringLiteral("10"));
        QFETCH(bool, foreignTrigger);
        if (foreignTrigger)
            storeDb(store).exec("create trigger emptied after update on phone begin delete from phone; end");

        QString text;
        QTextStream out(&text);
        int calls = 0;
        RemindServices services;
        services.clock = &fx.clock;
        services.settings = fx.settings.get();
        services.notify = [&](const BirthdayReport& report, QString* error) {
            ++calls;
            if (report.rows.size() != 2)
                return false;
            *error = QStringLiteral("没有通知服务");
            return notifyWorks;
        };
        const std::optional<int> code =
            runCommandLine(QStringList{QStringLiteral("zinteva")} + arguments, fx.paths.data, out, services);
        QCOMPARE(code, std::optional<int>(exitCode));
        if (exitCode == 2)
            QVERIFY(text.startsWith(output));
        else
            QCOMPARE(text, output);
        QCOMPARE(calls, notified);
    }

    void remindWithoutDataFile() {
        QTemporaryDir dir;
        QString text;
        QTextStream out(&text);
        FixedClock clock(QDate(2026, 1, 26));
        Settings settings(dir.filePath(QStringLiteral("s.ini")));
        RemindServices services{&clock, &settings, {}};
        QCOMPARE(runCommandLine({QStringLiteral("zinteva"), QStringLiteral("--remind")},
                                dir.filePath(QStringLiteral("tavrel.mdb")), out, services),
                 std::optional<int>(1));
        QVERIFY2(text.startsWith(QStringLiteral("无法读取数据文件")), qPrintable(text));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("tavrel.mdb"))));
    }

    void autostartEntry() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString entry = config.filePath(QStringLiteral("autostart/zinteva-remind.desktop"));
        QCOMPARE(autostart::entryPath(), entry);
        QVERIFY(!autostart::isInstalled());
        QString error;
        QVERIFY(autostart::install(QStringLiteral("/opt/my $apps/zinteva"), &error));
        QVERIFY(autostart::isInstalled());
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        QVERIFY2(text.contains(QStringLiteral("\nExec=\"/opt/my \\\\$apps/zinteva\" --remind\n")), qPrintable(text));
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\n")));
        QVERIFY(autostart::remove(&error));
        QVERIFY(!QFile::exists(entry));
        QVERIFY(autostart::remove(&error)); // nothing to remove is no failure

        // An entry of that name the user wrote is theirs.
        writeFile(entry, "[Desktop Entry]\nExec=other\n");
        QVERIFY(!autostart::remove(&error));
        QVERIFY(QFile::exists(entry));
        QVERIFY(error.contains(QStringLiteral("不是本程序写的")));
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The entry follows the desktop entry rules whatever the program's path holds: one Exec line whose
    // value, unescaped and unquoted as a desktop reads it, is the path; a path with a line break or
    // another control character is refused and nothing is written. A new entry is 0600 under umask 022.
    void autostartEntryFollowsTheRules_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("blank and dollar") << "/opt/my $apps/zinteva" << true;
        QTest::newRow("quotes, backtick, backslash, percent") << "/opt/a\"b`c\\d%e'f/zinteva" << true;
        QTest::newRow("leading blank") << "/opt/ x/zinteva" << true;
        QTest::newRow("chinese") << "/opt/通讯录 程序/zinteva" << true;
        QTest::newRow("newline and a second Exec") << "/tmp/x\nExec=/bin/sh -c evil\n/zinteva" << false;
        QTest::newRow("carriage return") << "/tmp/x\rExec=evil/zinteva" << false;
        QTest::newRow("tab") << "/tmp/a\tb/zinteva" << false;
        QTest::newRow("escape") << "/tmp/a\x1b[31mb/zinteva" << false;
        QTest::newRow("equals sign") << "/tmp/a=b/zinteva" << false;
    }
    void autostartEntryFollowsTheRules() {
        QFETCH(QString, program);
        QFETCH(bool, accepted);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const mode_t mask = ::umask(022);
        QString error;
        const bool installed = autostart::install(program, &error);
        ::umask(mask);
        qunsetenv("XDG_CONFIG_HOME");
        const QString entry = config.filePath(QStringLiteral("autostart/zinteva-remind.desktop"));
        QCOMPARE(installed, accepted);
        if (!accepted) {
            QVERIFY(!QFile::exists(entry));
            QVERIFY2(error.startsWith(QStringLiteral("程序所在的路径中有")), qPrintable(error));
            QVERIFY(!error.contains(u'\n' + QStringLiteral("Exec")));
            return;
        }
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(entry).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
        QCOMPARE(::stat(QFile::encodeName(config.filePath(QStringLiteral("autostart"))).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0700u); // made for it: the user's alone under umask 022 too
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        const QStringList execs = lines.filter(QRegularExpression(QStringLiteral("^Exec\\s*=")));
        QCOMPARE(execs.size(), 1);
        // Undo the string escapes, then the quoting, as a desktop does.
        QString value;
        const QString raw = execs[0].mid(5);
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'\\' && i + 1 < raw.size()) {
                const QChar next = raw[++i];
                value += next == u's' ? u' ' : next == u'n' ? u'\n' : next == u't' ? u'\t' : next == u'r' ? u'\r' : next;
            } else {
                value += raw[i];
            }
        }
        QVERIFY2(value.startsWith(u'"') && value.endsWith(QStringLiteral("\" --remind")), qPrintable(value));
        QString path;
        const QString quoted = value.mid(1, value.size() - 1 - int(qstrlen("\" --remind")));
        for (qsizetype i = 0; i < quoted.size(); ++i) {
            if (quoted[i] == u'\\' && i + 1 < quoted.size())
                path += quoted[++i];
            else if (quoted[i] == u'%' && i + 1 < quoted.size() && quoted[i + 1] == u'%')
                path += quoted[i++];
            else
                path += quoted[i];
        }
        QCOMPARE(path, program);
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess validate;
            validate.start(validator, {entry});
            QVERIFY(validate.waitForFinished(60000));
            const QByteArray said = validate.readAllStandardOutput() + validate.readAllStandardError();
            QVERIFY2(validate.exitCode() == 0 && !said.contains("error"), said.constData());
        }
    }

private:
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

QTEST_GUILESS_MAIN(TestLunar)
#include "tst_lunar.moc"
