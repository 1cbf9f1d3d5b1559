#include "core/store/Schema.h"
#include "core/store/SchemaSql.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"
#include "support/StoreProbe.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

// Every value of every table of a file, a row per line of quoted values, by table; with `columns`,
// only those columns of each table (the ones it had before a migration).
using Values = QMap<QString, QStringList>;
using Columns = QMap<QString, QStringList>;

Columns columnsOf(SQLite::Database& db) {
    Columns columns;
    SQLite::Statement tables(db, "select name from sqlite_master where type = 'table' and name not like 'sqlite%'");
    while (tables.executeStep()) {
        const QString table = QString::fromStdString(tables.getColumn(0).getString());
        SQLite::Statement names(db, "select name from pragma_table_info(?)");
        names.bind(1, table.toStdString());
        while (names.executeStep())
            columns[table] << QString::fromStdString(names.getColumn(0).getString());
    }
    return columns;
}

Values valuesOf(SQLite::Database& db, const Columns& columns) {
    Values values;
    for (auto it = columns.begin(); it != columns.end(); ++it) {
        QStringList quoted;
        for (const QString& column : it.value())
            quoted << QStringLiteral("quote(\"%1\")").arg(column);
        SQLite::Statement rows(db, QStringLiteral("select %1 from \"%2\" order by rowid")
                                       .arg(quoted.join(QStringLiteral(" || '|' || ")), it.key())
                                       .toStdString());
        while (rows.executeStep())
            values[it.key()] << QString::fromStdString(rows.getColumn(0).getString());
    }
    return values;
}

using Rows = QSet<QString>;
// The triggers, views and indexes of a file as type, name and text.
Rows codeOf(SQLite::Database& db) {
    Rows rows;
    SQLite::Statement s(db, "select type || ' ' || name || ' ' || coalesce(sql, '') from sqlite_master "
                            "where type in ('trigger', 'view', 'index') and name not like 'sqlite%'");
    while (s.executeStep())
        rows << QString::fromStdString(s.getColumn(0).getString());
    return rows;
}

int userVersion(const QString& path) {
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return db.execAndGet("pragma user_version").getInt();
}

QString schemaFixture(const QString& name) {
    QFile f(qEnvironmentVariable("ZINTEVA_SOURCE_DIR") + QStringLiteral("/tests/data/schema/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no schema fixture %s", qPrintable(name));
    return QString::fromUtf8(f.readAll());
}

} // namespace

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
            std::string create = schemasql::CreatePhone;
            create = create.substr(0, create.rfind(",\n    nowbirthday")) + ")";
            db.exec(create);
            db.exec(schemasql::CreateGroups);
            if (withRows)
                db.exec("insert into phone (friendid, mainid, 姓名) values ('friend1', 'main1', 'a')");
        }
        auto store = Store::open(old);
        QVERIFY(!store->hasNextBirthdayColumn());
        store->addNextBirthdayColumn();
        QVERIFY(store->hasNextBirthdayColumn());
    }

    // --- schema versions ----------------------------------------------------------------------------

    // Files written by every earlier build (from the statements those builds ran, tests/data/schema)
    // and the specified file are brought to the current version: every value stays, the program's
    // triggers and indexes are those of a new file, each contact has a UID (the one its cards carried),
    // and the file as it was is copied aside first. The next open writes nothing.
    void earlierShapesKeepEveryValue_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("uidOfFirst"); // the UID the first contact must have afterwards
        QTest::newRow("specified file") << "directory.sql" << "";
        QTest::newRow("specified file, next-birthday column") << "directory-nowbirthday.sql" << "";
        QTest::newRow("pinyin keys") << "pinyin.sql" << "";
        QTest::newRow("import and export") << "exchange.sql" << "zinteva-0f1e2d3c-friend1";
        QTest::newRow("lunar birthdays, sync") << "lunar-sync.sql" << "";
        QTest::newRow("uid, kept, first recently deleted") << "deleted-first.sql"
                                                           << "6b0c1c1e-1111-4a4a-9b9b-000000000001";
        QTest::newRow("last build without a version") << "" << "";
    }
    void earlierShapesKeepEveryValue() {
        QFETCH(QString, fixture);
        QFETCH(QString, uidOfFirst);
        QTemporaryDir folder;
        const QString file = folder.filePath("tavrel.mdb");
        if (fixture.isEmpty()) {
            // The last build before versions wrote exactly what step 1 makes, and no version.
            Store::createEmpty(file);
            auto store = Store::open(file);
            ContactFields f;
            f.groupKey = store->addGroup("朋友");
            f.name = "张三";
            f.lunarBirthday = LunarBirthday{1985, 1, 5, false};
            store->addContact(f);
            store.reset();
            SQLite::Database(file.toStdString(), SQLite::OPEN_READWRITE).exec("pragma user_version = 0");
        } else {
            SQLite::Database(file.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
                .exec(schemaFixture(fixture).toStdString());
        }
        Columns before;
        Values values;
        {
            SQLite::Database db(file.toStdString(), SQLite::OPEN_READONLY);
            before = columnsOf(db);
            values = valuesOf(db, before);
        }
        QVERIFY(!values.value("phone").isEmpty());
        Rows newFile;
        {
            const QString other = folder.filePath("new.mdb");
            Store::createEmpty(other);
            SQLite::Database db(other.toStdString(), SQLite::OPEN_READONLY);
            newFile = codeOf(db);
        }

        auto store = Store::open(file);
        QCOMPARE(store->droppedSchema(), QStringList()); // an earlier build's own objects are no news
        QCOMPARE(store->copiedAside(), file + ".v0.bak");
        QCOMPARE(userVersion(file), schema::currentVersion());
        {
            SQLite::Database& db = storeDb(*store);
            QCOMPARE(valuesOf(db, before), values);
            Rows code = codeOf(db);
            if (!before.value("phone").contains("nowbirthday")) {
                // The next-birthday column and its indexes come with the first next-birthday pass.
                for (const QString& row : Rows(newFile))
                    if (row.contains("nowbirthday"))
                        newFile.remove(row);
            }
            QCOMPARE(code, newFile);
            const Columns now = columnsOf(db);
            for (const QString& table : now.keys())
                QVERIFY2(now.value(table).size() >= before.value(table).size(), qPrintable(table));
            QCOMPARE(now.value("zinteva_deleted").mid(7), (QStringList{"uid", "kept", "typed"}));
        }
        if (!uidOfFirst.isEmpty())
            QCOMPARE(store->uids().uidOf("friend1", false), uidOfFirst);
        QVERIFY(!store->uids().uidOf("friend1", false).isEmpty());
        // The file works: a person added and deleted keeps the others.
        ContactFields f;
        f.groupKey = "main1";
        f.name = "新人";
        store->deleteContact(store->addContact(f));
        QCOMPARE(valuesOf(storeDb(*store), Columns{{"phone", before.value("phone")}}).value("phone"),
                 values.value("phone"));
        store.reset();

        // The copy aside is the file as it was, private.
        QCOMPARE(QFileInfo(file + ".v0.bak").permissions() & 0x0077, QFileDevice::Permissions());
        {
            SQLite::Database copy((file + ".v0.bak").toStdString(), SQLite::OPEN_READONLY);
            QCOMPARE(valuesOf(copy, before), values);
            QCOMPARE(copy.execAndGet("pragma user_version").getInt(), 0);
        }
        // Now at the current version: opened again, nothing is written and nothing copied.
        const QByteArray bytes = bytesOf(file);
        QCOMPARE(Store::open(file)->copiedAside(), QString());
        QCOMPARE(bytesOf(file), bytes);
        QCOMPARE(QDir(folder.path()).entryList({"*.bak"}, QDir::Files).size(), 1);
    }

    // A file of a newer version is refused with a clear message and never written, opened for
    // writing or read-only.
    void newerVersionIsRefusedUntouched_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("for writing") << false;
        QTest::newRow("read-only") << true;
    }
    void newerVersionIsRefusedUntouched() {
        QFETCH(bool, readOnly);
        QTemporaryDir folder;
        const QString file = folder.filePath("tavrel.mdb");
        Store::createEmpty(file);
        {
            SQLite::Database db(file.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("pragma user_version = " + std::to_string(schema::currentVersion() + 1));
            db.exec("create trigger zinteva_future after insert on phone begin select 1; end");
        }
        const QByteArray bytes = bytesOf(file);
        try {
            Store::open(file, OpenOptions{nullptr, readOnly});
            QFAIL("a newer file was opened");
        } catch (const StoreError& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("数据文件是较新版本的本程序写的（结构版本 %1，本程序只认识到版本 %2），"
                                    "为了不损坏它，本程序不打开它。请使用新版本的程序。")
                         .arg(schema::currentVersion() + 1)
                         .arg(schema::currentVersion()));
        }
        QCOMPARE(bytesOf(file), bytes);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"tavrel.mdb"});
    }

    // A step that fails (here a table of the program's name that is not the program's) is rolled
    // back and says so; the file keeps its version and every value, and the copy aside is named.
    void failedMigrationRollsBack() {
        QTemporaryDir folder;
        const QString file = folder.filePath("tavrel.mdb");
        {
            SQLite::Database db(file.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec(schemaFixture("directory.sql").toStdString());
            db.exec("create table zinteva_kept (id integer primary key, note text)");
            db.exec("insert into zinteva_kept (note) values ('别人的')");
        }
        Values values;
        Columns columns;
        {
            SQLite::Database db(file.toStdString(), SQLite::OPEN_READONLY);
            columns = columnsOf(db);
            values = valuesOf(db, columns);
        }
        try {
            Store::open(file);
            QFAIL("the migration did not fail");
        } catch (const StoreError& e) {
            QVERIFY2(e.message().startsWith("数据文件的结构从版本 0 升级到版本 1 没有成功，这一步已经撤销，文件保持原样: "),
                     qPrintable(e.message()));
            QVERIFY2(e.message().endsWith("\n升级前的副本: " + file + ".v0.bak"), qPrintable(e.message()));
        }
        SQLite::Database db(file.toStdString(), SQLite::OPEN_READONLY);
        QCOMPARE(db.execAndGet("pragma user_version").getInt(), 0);
        QCOMPARE(columnsOf(db), columns);
        QCOMPARE(valuesOf(db, columns), values);
        QVERIFY(QFileInfo::exists(file + ".v0.bak"));
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
