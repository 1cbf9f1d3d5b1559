// Next birthdays and the reminder's statement: the date rule, the one-transaction pass, both ends
// of the window. (The reminder's messages are the session's: tst_session.)
#include "core/rules/BirthdayCountdown.h"
#include "core/rules/DirectorySession.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/ContactFields.h"
#include "core/store/RowTable.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "support/StoreFixture.h"
#include "support/StoreProbe.h"

#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

Q_DECLARE_METATYPE(std::optional<QDate>)
Q_DECLARE_METATYPE(StoredBirthday)

namespace {
int countCommit(void* counter) {
    ++*static_cast<int*>(counter);
    return 0;
}
QString nowBirthdayOf(Store& store, const QString& key) {
    SQLite::Statement s(storeDb(store), "select nowbirthday from phone where friendid = ?");
    s.bind(1, key.toStdString());
    if (!s.executeStep() || s.getColumn(0).isNull())
        return {};
    return QString::fromStdString(s.getColumn(0).getString());
}
} // namespace

class TestReminder : public QObject {
    Q_OBJECT

private slots:
    void dateRule_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<std::optional<QDate>>("birthday");
        QTest::addColumn<int>("window");
        QTest::addColumn<std::optional<QDate>>("expected");
        using D = QDate;
        const auto some = [](QDate d) { return std::optional<QDate>(d); };
        QTest::newRow("ahead this month") << D(2025, 3, 10) << some(D(1980, 3, 15)) << 10 << some(D(2025, 3, 15));
        QTest::newRow("today, window 0") << D(2025, 3, 10) << some(D(1980, 3, 10)) << 0 << some(D(2025, 3, 10));
        QTest::newRow("already past") << D(2025, 3, 10) << some(D(1980, 2, 1)) << 10 << some(D(2025, 2, 1));
        QTest::newRow("early next year in window")
            << D(2025, 12, 28) << some(D(1980, 1, 3)) << 10 << some(D(2025, 12, 28));
        QTest::newRow("late this year") << D(2025, 12, 28) << some(D(1980, 12, 30)) << 10 << some(D(2025, 12, 30));
        QTest::newRow("next year outside window")
            << D(2025, 12, 28) << some(D(1980, 1, 20)) << 10 << some(D(2025, 1, 20));
        QTest::newRow("29 Feb carried, window 0") << D(2025, 3, 1) << some(D(1980, 2, 29)) << 0 << some(D(2025, 3, 1));
        QTest::newRow("29 Feb carried, window 1") << D(2027, 2, 28) << some(D(1980, 2, 29)) << 1 << some(D(2027, 3, 1));
        QTest::newRow("29 Feb in a leap year") << D(2028, 2, 1) << some(D(1980, 2, 29)) << 10 << some(D(2028, 2, 29));
        QTest::newRow("25 Dec: 26 Dec") << D(2025, 12, 25) << some(D(1990, 12, 26)) << 10 << some(D(2025, 12, 26));
        QTest::newRow("25 Dec: 31 Dec") << D(2025, 12, 25) << some(D(1990, 12, 31)) << 10 << some(D(2025, 12, 31));
        QTest::newRow("25 Dec: 1 Jan") << D(2025, 12, 25) << some(D(1990, 1, 1)) << 10 << some(D(2025, 12, 25));
        QTest::newRow("25 Dec: 4 Jan, last day")
            << D(2025, 12, 25) << some(D(1990, 1, 4)) << 10 << some(D(2025, 12, 25));
        QTest::newRow("25 Dec: 5 Jan") << D(2025, 12, 25) << some(D(1990, 1, 5)) << 10 << some(D(2025, 1, 5));
        QTest::newRow("31 Dec, window 0: 1 Jan") << D(2025, 12, 31) << some(D(1990, 1, 1)) << 0 << some(D(2025, 1, 1));
        QTest::newRow("no birthday") << D(2025, 3, 10) << std::optional<QDate>() << 10 << std::optional<QDate>();
    }
    void dateRule() {
        QFETCH(QDate, today);
        QFETCH(std::optional<QDate>, birthday);
        QFETCH(int, window);
        QFETCH(std::optional<QDate>, expected);
        QCOMPARE(nextBirthdayValue(today, birthday, window), expected);
    }

    void passWritesEveryRowInOneCommit() {
        StoreFixture fx(QDate(2025, 3, 10));
        Store& store = fx.open();
        const QString g = fx.addGroup("同学");
        const QString a = fx.addContact(g, "a", QDate(1980, 3, 15));
        const QString b = fx.addContact(g, "b");
        for (int i = 0; i < 300; ++i)
            fx.addContact(g, "x", QDate(1990, 1 + i % 12, 1 + i % 28));
        storeDb(store).exec("update phone set nowbirthday = '2000-01-01'");
        int commits = 0;
        sqlite3_commit_hook(storeDb(store).getHandle(), countCommit, &commits);
        ComputeNextBirthdays(store, fx.clock.today(), 10);
        sqlite3_commit_hook(storeDb(store).getHandle(), nullptr, nullptr);
        QCOMPARE(commits, 1);
        QCOMPARE(nowBirthdayOf(store, a), QString("2025-03-15"));
        QCOMPARE(nowBirthdayOf(store, b), QString()); // no birthday: Null, even if it held a date
    }

    void passUpgradesOldFiles_data() {
        QTest::addColumn<bool>("withRows");
        QTest::newRow("empty table") << false;
        QTest::newRow("filled table") << true;
    }
    void passUpgradesOldFiles() {
        QFETCH(bool, withRows);
        StoreFixture fx;
        Store& store = fx.open();
        storeDb(store).exec("drop table phone");
        std::string create = sql::CreatePhone;
        storeDb(store).exec(create.substr(0, create.rfind(",\n    nowbirthday")) + ")");
        if (withRows)
            fx.addContact("main1", "a", QDate(1980, 3, 15));
        QVERIFY(!store.hasNextBirthdayColumn());
        ComputeNextBirthdays(store, fx.clock.today(), 10);
        QVERIFY(store.hasNextBirthdayColumn());
        RowTable rows;
        store.listQuery(reminderQuery(fx.clock.today(), 10), rows);
        QCOMPARE(rows.rowCount(), withRows ? 1 : 0);
    }

    // Days left and the age turned, as the reminder list shows them; -1: none.
    void countdown_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<StoredBirthday>("birthday");
        QTest::addColumn<int>("daysLeft");
        QTest::addColumn<int>("age");
        using D = QDate;
        const auto solar = [](QDate d) { return StoredBirthday{d, std::nullopt}; };
        const auto lunar = [](int year, int month, int day) {
            return StoredBirthday{std::nullopt, LunarBirthday{year, month, day, false}};
        };
        QTest::newRow("today") << D(2025, 3, 10) << solar(D(1980, 3, 10)) << 0 << 45;
        QTest::newRow("in ten days") << D(2025, 3, 10) << solar(D(1980, 3, 20)) << 10 << 45;
        QTest::newRow("no year: no age") << D(2025, 3, 10) << solar(D(1604, 3, 12)) << 2 << -1;
        QTest::newRow("over the turn of the year") << D(2025, 12, 28) << solar(D(1990, 1, 2)) << 5 << 36;
        QTest::newRow("29 Feb kept on 1 Mar") << D(2025, 2, 27) << solar(D(2000, 2, 29)) << 2 << 25;
        QTest::newRow("born in the future") << D(2025, 3, 10) << solar(D(2030, 3, 12)) << 2 << -1;
        // 腊八 of the lunar year 2025 is 26 January 2026
        QTest::newRow("lunar 腊月初八") << D(2026, 1, 20) << lunar(1950, 12, 8) << 6 << 75;
        QTest::newRow("lunar, no year") << D(2026, 1, 20) << lunar(0, 12, 8) << 6 << -1;
    }
    void countdown() {
        QFETCH(QDate, today);
        QFETCH(StoredBirthday, birthday);
        const std::optional<BirthdayCountdown> c = birthdayCountdown(today, birthday);
        QVERIFY(c);
        QTEST(c->daysLeft, "daysLeft");
        QTEST(c->age.value_or(-1), "age");
        QVERIFY(!birthdayCountdown(today, StoredBirthday{}));
    }

    // nowbirthday holds today for a birthday early next year: the list still puts it by its days.
    void reminderListIsByDaysLeft() {
        StoreFixture fx(QDate(2025, 12, 28));
        const QString g = fx.addGroup("g");
        fx.addContact(g, "2 January", QDate(1990, 1, 2));
        fx.addContact(g, "30 December", QDate(1985, 12, 30));
        fx.addContact(g, "today", QDate(1980, 12, 28));
        fx.open();
        DirectorySession& session = fx.state;
        const CommandResult result = session.birthdayReminder(false);
        QVERIFY(result.rows && result.reminder);
        QStringList shown;
        for (int r = 0; r < result.rows->rowCount(); ++r) {
            const BirthdayCountdown& c = result.reminder->at(std::string(result.rows->text(r, RowTable::KeyColumn)));
            shown << QStringLiteral("%1 %2 %3").arg(result.rows->qtext(r, RowTable::NameColumn)).arg(c.daysLeft).arg(*c.age);
        }
        QCOMPARE(shown, QStringList({"today 0 45", "30 December 2 40", "2 January 5 36"}));
    }

    void windowIncludesBothEnds() {
        StoreFixture fx(QDate(2025, 3, 10));
        const QString g = fx.addGroup("g");
        fx.addContact(g, "before", QDate(1980, 3, 9));
        fx.addContact(g, "today", QDate(1980, 3, 10));
        fx.addContact(g, "last day", QDate(1980, 3, 20));
        fx.addContact(g, "after", QDate(1980, 3, 21));
        Store& store = fx.open();
        ComputeNextBirthdays(store, fx.clock.today(), 10);
        RowTable rows;
        store.listQuery(reminderQuery(fx.clock.today(), 10), rows);
        QStringList names;
        for (int r = 0; r < rows.rowCount(); ++r)
            names << rows.qtext(r, RowTable::NameColumn);
        QCOMPARE(names, QStringList({"today", "last day"}));
    }
};

QTEST_GUILESS_MAIN(TestReminder)
#include "tst_reminder.moc"
