// Next birthdays and the reminder's statement: the date rule, the one-transaction pass, both ends
// of the window. (The reminder's messages are the session's: tst_session.)
#include "core/rules/DirectorySession.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "support/StoreFixture.h"
#include "support/StoreProbe.h"

#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

Q_DECLARE_METATYPE(std::optional<QDate>)

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
