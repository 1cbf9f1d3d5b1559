#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"

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
        SQLite::Statement s(store->database(), "select name from pragma_table_info('phone')");
        while (s.executeStep())
            phone << QString::fromStdString(s.getColumn(0).getString());
        SQLite::Statement g(store->database(), "select name from pragma_table_info('分类')");
        while (g.executeStep())
            groups << QString::fromStdString(g.getColumn(0).getString());
        QCOMPARE(phone, QStringList({"id", "friendid", "mainid", "姓名", "生日", "移动电话", "工作电话", "家庭电话",
                                     "传真号码", "地址", "邮政编码", "qq", "icq", "msn", "email", "昵称", "备注",
                                     "照片", "nowbirthday"}));
        QCOMPARE(groups, QStringList({"id", "分类", "类型"}));
        QCOMPARE(QString::fromStdString(store->database().execAndGet("pragma journal_mode").getString()),
                 QString("delete"));
        QCOMPARE(store->database().execAndGet("pragma synchronous").getInt(), 2); // FULL
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
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
