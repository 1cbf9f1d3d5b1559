#include "core/store/ContactFields.h"
#include "core/store/RowTable.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"
#include "support/StoreProbe.h"

#include <QTemporaryDir>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>

class TestStore : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return dir.filePath("tavrel.mdb"); }
    std::unique_ptr<Store> fresh() {
        QFile::remove(path());
        Store::createEmpty(path());
        return Store::open(path());
    }

private slots:
    void keyKinds_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("kind");
        QTest::newRow("root") << "root" << int(keys::Kind::Root);
        QTest::newRow("group") << "main12" << int(keys::Kind::Group);
        QTest::newRow("contact") << "friend40" << int(keys::Kind::Contact);
        QTest::newRow("rootish") << "rootless" << int(keys::Kind::Root);
        QTest::newRow("empty") << "" << int(keys::Kind::Contact);
    }
    void keyKinds() {
        QFETCH(QString, key);
        QFETCH(int, kind);
        QCOMPARE(int(keys::kindOf(key)), kind);
    }

    // A stored birthday reads as Qt's ISO date reading reads its first ten characters.
    void storedDatesReadAsIsoDates_data() {
        QTest::addColumn<QByteArray>("stored");
        for (const char* text : {"2024-02-29",
                                 "2023-02-29",
                                 "1999-12-31 08:00:00",
                                 "2024/03/05",
                                 "2024.03.05",
                                 "2024 03 05",
                                 "2024+03+05",
                                 "0000-01-01",
                                 "0001-01-01",
                                 "9999-12-31",
                                 "2024-13-01",
                                 "2024-00-10",
                                 "2024-1-05x",
                                 "２０２４-01-01",
                                 "-2024-01-0",
                                 "2024-01-0a",
                                 "2024-01-01Z",
                                 "2024\xa7"
                                 "01\xb7"
                                 "01",
                                 "abcd-ef-gh",
                                 "2024-01",
                                 ""})
            QTest::newRow(text) << QByteArray(text);
    }
    void storedDatesReadAsIsoDates() {
        QFETCH(QByteArray, stored);
        const std::optional<QDate> read = parseStoredDate(std::string_view(stored.constData(), size_t(stored.size())));
        const QDate qt =
            stored.size() < 10 ? QDate() : QDate::fromString(QString::fromLatin1(stored.left(10)), Qt::ISODate);
        QCOMPARE(read.has_value(), qt.isValid());
        if (read)
            QCOMPARE(*read, qt);
    }

    void schemaHasExactColumns() {
        auto store = fresh();
        QStringList phone, groups;
        SQLite::Statement s(storeDb(*store), "select name from pragma_table_info('phone')");
        while (s.executeStep())
            phone << QString::fromStdString(s.getColumn(0).getString());
        SQLite::Statement g(storeDb(*store), "select name from pragma_table_info('分类')");
        while (g.executeStep())
            groups << QString::fromStdString(g.getColumn(0).getString());
        QCOMPARE(phone, QStringList({"id", "friendid", "mainid", "姓名", "生日", "移动电话", "工作电话", "家庭电话",
                                     "传真号码", "地址", "邮政编码", "qq", "icq", "msn", "email", "昵称", "备注",
                                     "照片", "nowbirthday"}));
        QCOMPARE(groups, QStringList({"id", "分类", "类型"}));
        QCOMPARE(QString::fromStdString(storeDb(*store).execAndGet("pragma journal_mode").getString()),
                 QString("delete"));
        QCOMPARE(storeDb(*store).execAndGet("pragma synchronous").getInt(), 2); // FULL
    }

    void createEmptyNeverOverwrites() {
        auto store = fresh();
        store->addGroup("同学");
        store.reset();
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::createEmpty(path()));
        QCOMPARE(Store::open(path())->groups().size(), size_t(1));
    }

    void keysFollowIdsAndAreNeverReused() {
        auto store = fresh();
        const QString g1 = store->addGroup("同学");
        QCOMPARE(g1, QString("main1"));
        ContactFields f;
        f.groupKey = g1;
        f.name = "张三";
        const QString c1 = store->addContact(f);
        const QString c2 = store->addContact(f);
        QCOMPARE(c1, QString("friend1"));
        QCOMPARE(c2, QString("friend2"));
        store->deleteContact(c2);
        QCOMPARE(store->addContact(f), QString("friend3"));
        store->deleteGroup(g1);
        QCOMPARE(store->addGroup("朋友"), QString("main2"));
        QCOMPARE(store->contactCount(), 0);
    }

    void contactRoundTripWithQuotesAndNulls() {
        auto store = fresh();
        ContactFields f;
        f.groupKey = store->addGroup("O'Brien's");
        f.name = "O'Neil \"x\" %_\\";
        f.birthday = QDate(1980, 5, 3);
        f.mobile = "139";
        f.remarks = QString(100000, QChar(u'长'));
        const QString key = store->addContact(f);
        QCOMPARE(store->loadContact(key).value(), f);
        QCOMPARE(store->groups().front().name, QString("O'Brien's"));
        // an empty box is stored as empty text, not Null
        RowTable rows;
        store->listByKey(key, rows);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.isNull(0, 4), false);
        QCOMPARE(rows.qtext(0, RowTable::BirthdayColumn), QString("1980-05-03"));
        QVERIFY(!store->loadContact("friend999").has_value());
    }

    void deleteGroupTakesItsPeople() {
        auto store = fresh();
        const QString g1 = store->addGroup("a"), g2 = store->addGroup("b");
        ContactFields f;
        f.name = "x";
        for (const QString& g : {g1, g1, g1, g2}) {
            f.groupKey = g;
            store->addContact(f);
        }
        store->deleteGroup(g1);
        RowTable rows;
        store->listAll(rows);
        QCOMPARE(rows.rowCount(), 1);
        store->listByGroup(g1, rows = RowTable());
        QCOMPARE(rows.rowCount(), 0);
    }

    void openRefusesFilesWithoutTables() {
        const QString other = dir.filePath("other.db");
        {
            SQLite::Database db(other.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec("create table t(x)");
        }
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::open(other));
        QFile junk(dir.filePath("junk.mdb"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::open(junk.fileName()));
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::open(dir.filePath("missing.mdb")));
    }

    void nextBirthdayColumnUpgrade_data() {
        QTest::addColumn<bool>("withRows");
        QTest::newRow("empty table") << false;
        QTest::newRow("filled table") << true;
    }
    void nextBirthdayColumnUpgrade() {
        QFETCH(bool, withRows);
        const QString old = dir.filePath(QString("old%1.mdb").arg(withRows));
        QFile::remove(old);
        {
            SQLite::Database db(old.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            std::string create = sql::CreatePhone;
            create = create.substr(0, create.rfind(",\n    nowbirthday")) + ")";
            db.exec(create);
            db.exec(sql::CreateGroups);
            if (withRows)
                db.exec("insert into phone (friendid, mainid, 姓名) values ('friend1', 'main1', 'a')");
        }
        auto store = Store::open(old);
        QVERIFY(!store->hasNextBirthdayColumn());
        store->addNextBirthdayColumn();
        QVERIFY(store->hasNextBirthdayColumn());
    }

    // What a failed write tells the user: the kind of failure from SQLite's code, then SQLite's words.
    void failureKinds_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("words");
        QTest::newRow("full") << SQLITE_FULL << int(StoreError::Kind::DiskFull) << "磁盘已满 (x)";
        QTest::newRow("read-only") << SQLITE_READONLY << int(StoreError::Kind::ReadOnly) << "数据文件是只读的 (x)";
        QTest::newRow("read-only, moved")
            << SQLITE_READONLY_DBMOVED << int(StoreError::Kind::ReadOnly) << "数据文件是只读的 (x)";
        QTest::newRow("corrupt") << SQLITE_CORRUPT << int(StoreError::Kind::Damaged) << "数据文件已损坏 (x)";
        QTest::newRow("not a database") << SQLITE_NOTADB << int(StoreError::Kind::Damaged) << "数据文件已损坏 (x)";
        QTest::newRow("busy") << SQLITE_BUSY << int(StoreError::Kind::Busy) << "数据文件正被其它程序使用 (x)";
        QTest::newRow("constraint") << SQLITE_CONSTRAINT_TRIGGER << int(StoreError::Kind::Other) << "x";
        QTest::newRow("not SQLite's") << 0 << int(StoreError::Kind::Other) << "x";
    }
    void failureKinds() {
        QFETCH(int, code);
        QFETCH(int, kind);
        QFETCH(QString, words);
        const StoreError error("x", code, code);
        QCOMPARE(int(error.kind()), kind);
        QCOMPARE(error.code(), code & 0xff);
        QCOMPARE(error.extendedCode(), code);
        QCOMPARE(error.message(), words);
    }

    // Real failures carry SQLite's codes: a write on a read-only connection, a file that is no
    // database, a trigger that refuses.
    void realFailuresCarryTheirCodes() {
        fresh();
        auto readOnly = Store::open(path(), OpenOptions{nullptr, true});
        try {
            readOnly->addGroup("同学");
            QFAIL("the write went through");
        } catch (const StoreError& e) {
            QCOMPARE(e.code(), SQLITE_READONLY);
            QCOMPARE(e.kind(), StoreError::Kind::ReadOnly);
        }
        readOnly.reset();

        auto store = Store::open(path());
        storeDb(*store).exec(
            "create trigger zinteva_refuse before insert on 分类 begin select raise(abort, 'refused'); end");
        try {
            store->addGroup("同学");
            QFAIL("the write went through");
        } catch (const StoreError& e) {
            QCOMPARE(e.extendedCode(), SQLITE_CONSTRAINT_TRIGGER);
            QCOMPARE(e.message(), QStringLiteral("refused"));
        }
        QCOMPARE(store->groups().size(), size_t(0)); // rolled back whole
        store.reset();

        const QString junk = dir.filePath("junk.mdb");
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'j'));
        file.close();
        try {
            Store::open(junk);
            QFAIL("a file of junk opened");
        } catch (const StoreError& e) {
            QCOMPARE(e.kind(), StoreError::Kind::Damaged);
        }
    }

    // One statement per text: a second one after the first is refused, not run.
    void aStatementTextHoldsOneStatement() {
        fresh();
        Connection connection(path(), SQLITE_OPEN_READWRITE);
        QVERIFY_THROWS_EXCEPTION(StoreError, Statement(connection, "select 1; delete from 分类"));
        Statement one(connection, "select 1;  ");
        QVERIFY(one.step());
        QCOMPARE(one.integer(0), 1);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
