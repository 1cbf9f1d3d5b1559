// Import and export against a real data file: groups, UIDs, photos, the one transaction, progress,
// round trips, and the command-line modes with their exit codes.
#include "core/app/CommandLine.h"
#include "core/exchange/ContactUid.h"
#include "core/exchange/Csv.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"
#include "core/rules/Duplicates.h"
#include "core/store/SamePerson.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/Store.h"

#include "support/StatementCounter.h"
#include "support/StoreProbe.h"
#include "support/TestFiles.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QUuid>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

const QStringList Fixtures = {"v30-full.vcf", "v21-qp-softbreak.vcf", "v21-gb2312.vcf", "v40-impp.vcf",
                              "v30-folded-apple.vcf"};

QByteArray card(const QByteArray& lines) {
    QByteArray body = lines;
    body.replace("\n", "\r\n");
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "\r\nEND:VCARD\r\n";
}

// A contact as the user sees it, independent of the data file's keys: its group by name and its
// photo by content.
struct Seen {
    ContactFields fields;
    QString group;
    QByteArray photo;
    friend bool operator==(const Seen&, const Seen&) = default;
};

std::vector<Seen> everything(Store& store, bool photoByContent) {
    QHash<QString, QString> groupNames;
    for (const GroupRow& g : store.groups())
        groupNames.insert(g.key, g.name);
    RowTable rows;
    store.listAll(rows);
    std::vector<Seen> seen;
    for (int i = 0; i < rows.rowCount(); ++i) {
        Seen s;
        s.fields = store.loadContact(rows.key(i)).value();
        s.group = groupNames.value(s.fields.groupKey);
        s.fields.groupKey.clear();
        if (photoByContent && QFileInfo(s.fields.photo).isFile()) {
            s.photo = bytesOf(s.fields.photo);
            s.fields.photo.clear();
        }
        seen.push_back(s);
    }
    return seen;
}

char* toString(const Seen& s) {
    return qstrdup(qPrintable(QStringLiteral("%1 [%2] %3 %4 %5 photo=%6/%7")
                                  .arg(s.fields.name, s.group, s.fields.mobile, s.fields.remarks.left(30),
                                       s.fields.birthday ? s.fields.birthday->toString(Qt::ISODate) : QString())
                                  .arg(s.fields.photo)
                                  .arg(s.photo.size())));
}

// A person as the same-person cases compare them: every value they have, and what is kept beside.
QString who(Store& store, const QString& key) {
    const ContactFields f = store.loadContact(key).value();
    QStringList parts{f.name};
    const std::pair<const char*, QString> values[] = {
        {"手机", f.mobile},   {"工作", f.workPhone}, {"家庭", f.homePhone},
        {"邮件", f.email},    {"QQ", f.qq},          {"备注", f.remarks},
        {"生日", f.birthday ? f.birthday->toString(Qt::ISODate) : QString()},
        {"农历", f.lunarBirthday ? lunarBirthdayValue(*f.lunarBirthday) : QString()}};
    for (const auto& [label, value] : values) {
        if (!value.isEmpty())
            parts << QString::fromUtf8(label) + u'=' + value;
    }
    for (const TypedValue& value : f.values) {
        const QString field = QString::fromUtf16(catalogue::info(value.field).label);
        parts << (value.label.isEmpty() ? field : QStringLiteral("%1（%2）").arg(field, value.label)) + u'=' +
                     value.value;
    }
    for (const KeptProperty& kept : store.keptTable().load(key)) {
        if (kept.field.isEmpty())
            parts << QStringLiteral("其它=") + kept.line;
    }
    return parts.join(u' ');
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;

    // A new empty data file in a folder of its own (photos go beside it).
    QString freshPath() {
        const QString folder = dir.filePath(QStringLiteral("data%1").arg(++files));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/tavrel.mdb");
        Store::createEmpty(path);
        return path;
    }

    // A data file with every kind of contact the round trips must carry.
    QString populated() {
        const QString path = freshPath();
        auto store = Store::open(path);
        const QString classmates = store->addGroup(QStringLiteral("同学"));
        const QString friends = store->addGroup(QStringLiteral("朋友, \"好\"; 的"));
        store->addGroup(QStringLiteral("空的分组"));
        const QString picture = QFileInfo(path).absolutePath() + QStringLiteral("/my picture.jpg");
        writeBytes(picture, QByteArray::fromBase64("/9j/4AAQSkZJRgABAQ") + QByteArray(5000, '\x5a'));

        ContactFields f;
        f.groupKey = classmates;
        f.name = QStringLiteral("张三");
        f.birthday = QDate(1990, 5, 17);
        f.mobile = QStringLiteral("13800138000");
        f.workPhone = QStringLiteral("010-12345678");
        f.homePhone = QStringLiteral("010-87654321");
        f.fax = QStringLiteral("010-12345679");
        f.address = QStringLiteral("北京市海淀区中关村大街1号, 3层; 东");
        f.postcode = QStringLiteral("100080");
        f.qq = QStringLiteral("123456789");
        f.icq = QStringLiteral("12345678");
        f.msn = QStringLiteral("zhangsan@hotmail.com");
        f.email = QStringLiteral("zs@example.com");
        f.nickname = QStringLiteral("小张");
        f.remarks = QStringLiteral("第一行\n第二行\\反斜杠, 逗号; 分号 ") + QString(200, QChar(u'长'));
        f.photo = picture;
        store->addContact(f);

        ContactFields yearless;
        yearless.groupKey = friends;
        yearless.name = QStringLiteral("李四");
        yearless.birthday = QDate(1604, 2, 29);
        yearless.photo = QStringLiteral("/no/such/folder/照片.bmp"); // a path whose file is gone
        store->addContact(yearless);

        ContactFields bare;
        bare.groupKey = friends;
        bare.name = QStringLiteral("O'Brien");
        bare.photo = QStringLiteral("https://example.com/ob.png");
        store->addContact(bare);

        ContactFields nameless;
        nameless.groupKey = classmates;
        nameless.mobile = QStringLiteral("555");
        store->addContact(nameless);
        return path;
    }

    static ImportSummary importBytes(const QString& dataFile, const QByteArray& bytes, bool csv = false,
                                     const ImportOptions& options = {}) {
        auto store = Store::open(dataFile);
        Importer importer(*store, dataFile);
        return importer.run(csv ? CsvFile::read(bytes) : VCardReader::read(bytes), options);
    }

    static QByteArray exportBytes(const QString& dataFile, ExportFormat format,
                                  const ExportSelection& selection = ExportSelection::all()) {
        auto store = Store::open(dataFile);
        return Exporter(*store).build(selection, format);
    }

    static std::pair<int, QString> run(const QStringList& arguments, const QString& dataFile) {
        QString text;
        QTextStream out(&text);
        const std::optional<int> code =
            runCommandLine(QStringList{QStringLiteral("zinteva")} + arguments, dataFile, out);
        return {code.value_or(-1), text};
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // ---- importing ----------------------------------------------------------------------------------

    void fiveFixturesImportWithEveryField() {
        // Each fixture into a data file of its own: three of them are one person (张三 with one mobile
        // number), whom a later import into the same file completes instead of adding again.
        std::vector<Seen> seen;
        QString path;
        std::unique_ptr<Store> store;
        for (const QString& name : Fixtures) {
            store.reset();
            path = freshPath();
            store = Store::open(path);
            store->addGroup(QStringLiteral("默认"));
            const ImportSummary summary = Importer(*store, path).runFile(vcardFixturePath(name), {});
            QVERIFY2(summary.complete(), qPrintable(summary.text()));
            QCOMPARE(summary.added, 1);
            seen.push_back(everything(*store, false).front());
            if (name == Fixtures[3]) {
                RowTable rows;
                store->listAll(rows);
                QCOMPARE(rows.qtext(0, RowTable::BirthdayColumn), QStringLiteral("1604-05-17"));
            }
        }
        QCOMPARE(seen.size(), size_t(5));

        // v30-full
        QCOMPARE(seen[0].group, QStringLiteral("同学"));
        QCOMPARE(seen[0].fields.name, QStringLiteral("张三"));
        QCOMPARE(seen[0].fields.birthday, std::optional<QDate>(QDate(1990, 5, 17)));
        QCOMPARE(seen[0].fields.fax, QStringLiteral("010-12345679"));
        QCOMPARE(seen[0].fields.remarks, QStringLiteral("备注, 含逗号\n第二行"));
        // v21-qp-softbreak: no CATEGORIES, the default (first) group
        QCOMPARE(seen[1].group, QStringLiteral("默认"));
        QCOMPARE(seen[1].fields.address, QStringLiteral("人民路1号人民路1号, 北京"));
        // v21-gb2312
        QCOMPARE(seen[2].fields.name, QStringLiteral("张三"));
        QCOMPARE(seen[2].fields.mobile, QStringLiteral("13800138000"));
        // v40-impp: year-less, stored with 1604
        QCOMPARE(seen[3].fields.birthday, std::optional<QDate>(QDate(1604, 5, 17)));
        QCOMPARE(seen[3].fields.qq, QStringLiteral("123456789"));
        // v30-folded-apple: the photo is a file in "photos" beside the data file
        QCOMPARE(seen[4].group, QStringLiteral("同学"));
        const QString photo = seen[4].fields.photo;
        QCOMPARE(QFileInfo(photo).absolutePath(), QFileInfo(path).absolutePath() + QStringLiteral("/photos"));
        QVERIFY(photo.endsWith(QStringLiteral(".gif")));
        QCOMPARE(bytesOf(photo), QByteArray::fromBase64("R0lGODlhAQABAAAAADs="));
        // All five into one file: 张三 once, completed by the two other cards of his; 同学 made once.
        store.reset();
        path = freshPath();
        store = Store::open(path);
        store->addGroup(QStringLiteral("默认"));
        int added = 0, samePeople = 0;
        for (const QString& name : Fixtures) {
            const ImportSummary summary = Importer(*store, path).runFile(vcardFixturePath(name), {});
            added += summary.added;
            samePeople += summary.samePeople;
        }
        QCOMPARE(added, 3);
        QCOMPARE(samePeople, 2);
        int classmates = 0;
        for (const GroupRow& g : store->groups())
            classmates += g.name == u"同学";
        QCOMPARE(classmates, 1);
    }

    // Without a known UID a card is a person of the data file only by the same name with the same
    // mobile number or their own e-mail address, and nothing that contradicts: people of one name who
    // share an office number or a family's address stay apart, nobody is lost and nobody's values go
    // into another's record.
    void samePersonOnlyByWhatIsTheirs_data() {
        QTest::addColumn<QByteArray>("before"); // the data file's people (each added as they are)
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("counts"); // added, updated, unchanged, same people, possible duplicates
        QTest::addColumn<QStringList>("people");
        QTest::addColumn<QString>("line"); // in the summary
        const QByteArray a = card("FN:张伟\nTEL;TYPE=CELL:13800000001\nTEL;TYPE=WORK:010-88886666\n"
                                  "BDAY:1980-03-01\nEMAIL:zw@example.cn");
        const QString whoA = QStringLiteral("张伟 手机=13800000001 工作=010-88886666 邮件=zw@example.cn 生日=1980-03-01");
        const QByteArray son = card("FN:张伟\nTEL;TYPE=CELL:13800000001\nEMAIL:family@example.cn\nBDAY:2005-06-01");
        const QString whoSon = QStringLiteral("张伟 手机=13800000001 邮件=family@example.cn 生日=2005-06-01");
        const QString possible = QStringLiteral("新增的联系人中有 1 个与已有的联系人同名，但不能确定是同一个人，已分别保存；"
                                                "如是同一个人，请用“查询 ▸ 查找重复”合并。");

        QTest::newRow("shared office phone")
            << a << card("FN:张伟\nTEL;TYPE=WORK:010-88886666\nTEL;TYPE=HOME:010-55554444\nX-QQ:12345\nORG:某公司")
            << QList<int>{1, 0, 0, 0, 1}
            << QStringList{whoA, QStringLiteral("张伟 工作=010-88886666 家庭=010-55554444 QQ=12345 单位=某公司")}
            << possible;
        QTest::newRow("family e-mail, another birthday")
            << son << card("FN:张伟\nEMAIL:family@example.cn\nBDAY:1975-02-02\nTEL;TYPE=HOME:010-55554444")
            << QList<int>{1, 0, 0, 0, 1}
            << QStringList{whoSon, QStringLiteral("张伟 家庭=010-55554444 邮件=family@example.cn 生日=1975-02-02")}
            << possible;
        QTest::newRow("family e-mail, the mother has it too")
            << son + card("FN:李娜\nEMAIL:family@example.cn")
            << card("FN:张伟\nEMAIL:Family@example.cn\nNOTE:父亲") << QList<int>{1, 0, 0, 0, 1}
            << QStringList{whoSon, QStringLiteral("李娜 邮件=family@example.cn"),
                           QStringLiteral("张伟 邮件=Family@example.cn 备注=父亲")}
            << possible;
        QTest::newRow("own e-mail, another mobile")
            << a << card("FN:张伟\nEMAIL:ZW@Example.cn\nTEL;TYPE=CELL:13900000002") << QList<int>{1, 0, 0, 0, 1}
            << QStringList{whoA, QStringLiteral("张伟 手机=13900000002 邮件=ZW@Example.cn")} << possible;
        QTest::newRow("same mobile, another birthday")
            << a << card("FN:张伟\nTEL;TYPE=CELL:+86 138-0000-0001\nBDAY:1981-03-01") << QList<int>{1, 0, 0, 0, 1}
            << QStringList{whoA, QStringLiteral("张伟 手机=+86 138-0000-0001 生日=1981-03-01")} << possible;
        QTest::newRow("same mobile, another lunar birthday")
            << card("FN:张伟\nTEL;TYPE=CELL:13800000001\nX-ZINTEVA-LUNAR-BIRTHDAY:1950-12-08")
            << card("FN:张伟\nTEL;TYPE=CELL:0086 138 0000 0001\nX-ZINTEVA-LUNAR-BIRTHDAY:1950-11-08")
            << QList<int>{1, 0, 0, 0, 1}
            << QStringList{QStringLiteral("张伟 手机=13800000001 生日=1951-01-15 农历=1950-12-08"),
                           QStringLiteral("张伟 手机=0086 138 0000 0001 生日=1950-12-16 农历=1950-11-08")}
            << possible;
        QTest::newRow("B then A")
            << a
            << card("FN:张伟\nTEL;TYPE=WORK:010-88886666\nTEL;TYPE=HOME:010-55554444") +
                   card("FN:张伟\nTEL;TYPE=CELL:0086 13800000001\nTEL;TYPE=WORK:010-88886666")
            << QList<int>{1, 0, 1, 1, 1}
            << QStringList{whoA, QStringLiteral("张伟 工作=010-88886666 家庭=010-55554444")} << possible;
        QTest::newRow("same mobile completes, another office number kept beside")
            << a << card("FN:张伟\nTEL;TYPE=CELL:+86 138 0000 0001\nTEL;TYPE=WORK:010-77776666\nNOTE:老同学")
            << QList<int>{0, 1, 0, 1, 0}
            << QStringList{QStringLiteral("张伟 手机=13800000001 工作=010-88886666 邮件=zw@example.cn 备注=老同学 "
                                          "生日=1980-03-01 电话（工作）=010-77776666")}
            << QStringLiteral("更新的资料：备注 1 个，电话 1 个。");
        QTest::newRow("own e-mail completes, case aside")
            << a << card("FN:张伟\nEMAIL:ZW@EXAMPLE.CN\nTEL;TYPE=HOME:010-55554444") << QList<int>{0, 1, 0, 1, 0}
            << QStringList{QStringLiteral("张伟 手机=13800000001 工作=010-88886666 家庭=010-55554444 "
                                          "邮件=zw@example.cn 生日=1980-03-01")}
            << QStringLiteral("更新的资料：家庭电话 1 个。");
        QTest::newRow("the same card again") << a << a << QList<int>{0, 0, 1, 1, 0} << QStringList{whoA}
                                             << QStringLiteral("未变 1 个");
        QTest::newRow("a birthday without a year agrees")
            << a << card("FN:张伟\nTEL;TYPE=CELL:13800000001\nBDAY:--03-01") << QList<int>{0, 0, 1, 1, 0}
            << QStringList{whoA} << QString();
    }
    void samePersonOnlyByWhatIsTheirs() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, counts);
        QFETCH(QStringList, people);
        QFETCH(QString, line);
        const QString path = freshPath();
        {
            auto store = Store::open(path);
            const QString group = store->addGroup(QStringLiteral("默认"));
            for (const ImportRecord& record : VCardReader::read(before).records) {
                ContactFields fields = record.fields;
                fields.groupKey = group;
                store->addContact(fields);
            }
        }
        const ImportSummary summary = importBytes(path, file);
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        const QList<int> got{summary.added, summary.updated, summary.unchanged, summary.samePeople,
                             summary.possibleDuplicates};
        QCOMPARE(got, counts);
        auto store = Store::open(path);
        RowTable rows;
        store->listAll(rows);
        QStringList everybody;
        for (int i = 0; i < rows.rowCount(); ++i)
            everybody << who(*store, rows.key(i));
        QCOMPARE(everybody, people);
        QVERIFY2(summary.text().contains(line), qPrintable(summary.text()));
        // 查找重复 lists the possible duplicates the summary points to.
        if (summary.possibleDuplicates > 0) {
            std::vector<DuplicateCandidate> candidates;
            for (int i = 0; i < rows.rowCount(); ++i) {
                const ContactFields f = store->loadContact(rows.key(i)).value();
                candidates.push_back({rows.key(i), f.name, f.mobile, f.email});
            }
            QVERIFY(!findDuplicates(candidates).empty());
        }
    }

    // The rule itself, for the cases the import does not reach: numbers as the importer normalises
    // them, an address held by somebody else, birthdays without a year.
    void samePersonRule_data() {
        QTest::addColumn<QString>("person"); // name|mobile|email|birthday
        QTest::addColumn<QString>("card");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<int>("likeness"); // Likeness
        const int other = int(Likeness::Other), possible = int(Likeness::Possible), same = int(Likeness::Same);
        QTest::newRow("+86, spaces, dashes") << "张伟|13800000001||" << "张伟|+86 138-0000-0001||" << false << same;
        QTest::newRow("0086, spaces around the name") << " 张伟|+8613800000001||" << "张伟 |0086 13800000001||" << false
                                                      << same;
        QTest::newRow("another mobile") << "张伟|13800000001|a@b.cn|" << "张伟|13800000002|a@b.cn|" << false << possible;
        QTest::newRow("e-mail, case aside") << "张伟||A@b.cn|" << "张伟||a@B.CN|" << false << same;
        QTest::newRow("e-mail somebody else has") << "张伟||a@b.cn|" << "张伟||a@b.cn|1975-02-02" << true << possible;
        QTest::newRow("mobile beats a shared e-mail")
            << "张伟|13800000001|a@b.cn|" << "张伟|13800000001|a@b.cn|" << true << same;
        QTest::newRow("another birthday") << "张伟|13800000001||1980-03-01" << "张伟|13800000001||1980-03-02" << false
                                          << possible;
        QTest::newRow("yearless agrees") << "张伟|13800000001||1604-03-01" << "张伟|13800000001||1980-03-01" << false
                                         << same;
        QTest::newRow("yearless differs") << "张伟|13800000001||1604-03-02" << "张伟|13800000001||1980-03-01" << false
                                          << possible;
        QTest::newRow("short numbers differ") << "张伟|123|a@b.cn|" << "张伟|124|a@b.cn|" << false << possible;
        QTest::newRow("only the name") << "张伟|||" << "张伟|||" << false << same;
        QTest::newRow("another name") << "张伟|13800000001||" << "张卫|13800000001||" << false << other;
    }
    void samePersonRule() {
        QFETCH(QString, person);
        QFETCH(QString, card);
        QFETCH(bool, shared);
        QFETCH(int, likeness);
        auto fields = [](const QString& text) {
            const QStringList parts = text.split(u'|');
            ContactFields f;
            f.name = parts[0];
            f.mobile = parts[1];
            f.email = parts[2];
            if (!parts[3].isEmpty())
                f.birthday = QDate::fromString(parts[3], Qt::ISODate);
            return f;
        };
        QCOMPARE(int(::likeness(fields(person), fields(card), shared)), likeness);
    }

    // Cards other readers take come in: a card without its END (the cards after it are cards of their
    // own), a photo that does not decode, an unknown charset, a second mobile number, no name.
    void awkwardCardsAllComeIn() {
        const QString path = freshPath();
        QByteArray data;
        data += card("FN:一\nCATEGORIES:甲");
        data += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:二\r\n";
        data += card("FN:三\nPHOTO;ENCODING=b:###");
        data += card("FN:四\nNOTE;CHARSET=KLINGON:x");
        data += card("FN:五\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL:2");
        data += card("TEL:9");
        const ImportSummary summary = importBytes(path, data);
        QCOMPARE(summary.total, 6);
        QCOMPARE(summary.added, 6);
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        // the photo that did not decode (a second mobile and a number of no kind are typed values)
        QCOMPARE(summary.keptProperties, 1);
        const QString text = summary.text();
        QVERIFY2(
            text.startsWith(QStringLiteral("共 6 个联系人：导入 6 个（新增 6 个，更新 0 个，未变 0 个），跳过 0 个。")),
            qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("另有 1 项资料没有对应的栏目")));
        QVERIFY(text.contains(QStringLiteral("第 2 张名片（二）：缺少 END:VCARD，名片可能不完整")));
        QVERIFY(text.contains(QStringLiteral("第 3 张名片（三）：照片的 base64 数据有误，未导入，已保存在其它资料中")));
        QVERIFY(text.contains(QStringLiteral("第 4 张名片（四）：未知的字符集 KLINGON")));
        QVERIFY(text.contains(QStringLiteral("第 6 张名片（9）：没有姓名，以电话号码命名")));

        auto store = Store::open(path);
        const std::vector<Seen> seen = everything(*store, false);
        QCOMPARE(seen.size(), size_t(6));
        QCOMPARE(seen[4].fields.name, QStringLiteral("五"));
        QCOMPARE(seen[4].fields.mobile, QStringLiteral("1"));
        QCOMPARE(seen[5].fields.name, QStringLiteral("9"));
        // the second number comes back on export
        const QByteArray exported = Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard30);
        QVERIFY(exported.contains("TEL;TYPE=CELL:2\r\n"));
    }

    void groupChoice() {
        const QString path = freshPath();
        QString chosen;
        {
            auto store = Store::open(path);
            store->addGroup(QStringLiteral("第一"));
            chosen = store->addGroup(QStringLiteral("选中的"));
        }
        ImportOptions byKey;
        byKey.defaultGroupKey = chosen;
        QCOMPARE(importBytes(path, card("FN:a"), false, byKey).added, 1);
        ImportOptions byName;
        byName.defaultGroupName = QStringLiteral("新的");
        const ImportSummary named = importBytes(path, card("FN:b") + card("FN:c\nCATEGORIES:第一,其他"), false, byName);
        QCOMPARE(named.createdGroups, QStringList({"新的"}));
        ImportOptions missingKey;
        missingKey.defaultGroupKey = QStringLiteral("main999");
        QCOMPARE(importBytes(path, card("FN:d"), false, missingKey).added, 1);

        auto store = Store::open(path);
        const std::vector<Seen> seen = everything(*store, false);
        QCOMPARE(seen[0].group, QStringLiteral("选中的"));
        QCOMPARE(seen[1].group, QStringLiteral("新的"));
        QCOMPARE(seen[2].group, QStringLiteral("第一"));
        QCOMPARE(seen[3].group, QStringLiteral("第一")); // no such key: the first group
    }

    // All cards in one transaction: a failure on the third leaves the data file as it was, groups and
    // all.
    void oneTransaction() {
        const QString path = freshPath();
        ImportSummary summary;
        {
            auto store = Store::open(path);
            store->addGroup(QStringLiteral("old"));
            // Planted after the open, which would drop it as not the program's own.
            storeDb(*store).exec("create trigger refuse before insert on phone when new.姓名 = 'boom' "
                                 "begin select raise(abort, 'refused by test'); end");
            Importer importer(*store, path);
            summary = importer.run(
                VCardReader::read(card("FN:a\nCATEGORIES:新") + card("FN:b") + card("FN:boom") + card("FN:c")), {});
        }
        QCOMPARE(summary.imported(), 0);
        QVERIFY(summary.failure.contains(QStringLiteral("refused by test")));
        QVERIFY(summary.text().startsWith(QStringLiteral("没有导入任何联系人")));
        auto store = Store::open(path);
        QCOMPARE(store->contactCount(), 0);
        QCOMPARE(store->groups().size(), size_t(1));
        // the file's UID part was not kept either
        QCOMPARE(ContactUid::filePart(*store, false), QString());
    }

    void progressAndCancel() {
        const QString path = freshPath();
        QByteArray data;
        for (int i = 0; i < 1000; ++i)
            data += card(QStringLiteral("FN:人%1").arg(i).toUtf8());
        const ImportBatch batch = VCardReader::read(data);
        std::vector<std::pair<int, int>> calls;
        {
            auto store = Store::open(path);
            const ImportSummary summary = Importer(*store, path).run(batch, {}, [&](int done, int total) {
                calls.emplace_back(done, total);
                return true;
            });
            QCOMPARE(summary.added, 1000);
        }
        QVERIFY(calls.size() >= 10 && calls.size() <= 102);
        QCOMPARE(calls.front(), std::make_pair(0, 1000));
        QCOMPARE(calls.back(), std::make_pair(1000, 1000));
        for (size_t i = 1; i < calls.size(); ++i)
            QVERIFY(calls[i].first > calls[i - 1].first);

        auto store = Store::open(path);
        const ImportSummary cancelled = Importer(*store, path).run(batch, {}, [](int done, int) { return done < 500; });
        QVERIFY(cancelled.cancelled);
        QCOMPARE(cancelled.imported(), 0);
        QCOMPARE(store->contactCount(), 1000);
    }

    void tenThousandCardsInOneTransaction() {
        const QString path = freshPath();
        QByteArray data;
        for (int i = 0; i < 10000; ++i)
            data += card(QStringLiteral("FN:联系人%1\nTEL;TYPE=CELL:138%2\nEMAIL:p%1@example.com\nCATEGORIES:组%3\n"
                                        "BDAY:1980-01-%4\nNOTE:备注\\n第二行")
                             .arg(i)
                             .arg(i, 8, 10, QChar(u'0'))
                             .arg(i % 20)
                             .arg(i % 28 + 1, 2, 10, QChar(u'0'))
                             .toUtf8());
        const QString file = dir.filePath(QStringLiteral("many.vcf"));
        writeBytes(file, data);
        auto store = Store::open(path);
        int progressCalls = 0;
        const ImportSummary summary = Importer(*store, path).runFile(file, {}, [&](int, int) {
            ++progressCalls;
            return true;
        });
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        QCOMPARE(summary.added, 10000);
        QCOMPARE(store->contactCount(), 10000);
        QCOMPARE(store->groups().size(), size_t(20));
        QVERIFY(progressCalls > 50);
    }

    void readOnlyDataFile() {
        const QString path = freshPath();
        OpenOptions options;
        options.readOnly = true;
        auto store = Store::open(path, options);
        const ImportSummary summary = Importer(*store, path).run(VCardReader::read(card("FN:a")), {});
        QVERIFY(!summary.failure.isEmpty());
        QVERIFY(!summary.complete());
    }

    void unreadableFiles() {
        const QString path = freshPath();
        auto store = Store::open(path);
        const ImportSummary missing = Importer(*store, path).runFile(dir.filePath(QStringLiteral("nope.vcf")), {});
        QVERIFY(missing.failure.contains(QStringLiteral("无法打开文件")));
        const QString csv = dir.filePath(QStringLiteral("bad.csv"));
        writeBytes(csv, "a,b\r\n1,2\r\n");
        const ImportSummary noName = Importer(*store, path).runFile(csv, {});
        QVERIFY(noName.failure.contains(QStringLiteral("姓名")));
        const QString empty = dir.filePath(QStringLiteral("empty.vcf"));
        writeBytes(empty, "");
        const ImportSummary none = Importer(*store, path).runFile(empty, {});
        QCOMPARE(none.total, 0);
        QVERIFY(!none.complete());
        QCOMPARE(none.text(), QStringLiteral("文件中没有联系人。"));
    }

    // ---- UIDs -----------------------------------------------------------------------------------------

    void uidsNameTheirContact() {
        const QString path = freshPath();
        QString key;
        QString part;
        QString uid;
        {
            auto store = Store::open(path);
            ContactFields f;
            f.groupKey = store->addGroup(QStringLiteral("g"));
            f.name = QStringLiteral("甲");
            key = store->addContact(f);
            part = ContactUid::filePart(*store, true);
            QCOMPARE(ContactUid::filePart(*store, false), part); // fixed for the file
            uid = store->uids().uidOf(key, false); // made with the contact
            QCOMPARE(store->uids().uidOf(key, true), uid);
            QCOMPARE(store->uids().contactOf(uid), key);
        }
        QCOMPARE(part.size(), 16);
        QVERIFY(!QUuid::fromString(uid).isNull()); // random, not made from the key
        QVERIFY(!uid.contains(key));
        // The older form of this file's UIDs finds nobody who was not given it.
        QCOMPARE(ContactUid::contactKeyOf(part, ContactUid::make(part, key)), key);
        ImportSummary legacy = importBytes(path, card("FN:旧\nUID:" + ContactUid::make(part, key).toUtf8()));
        QCOMPARE(legacy.added, 1);

        // the card with this file's UID updates; with another file's UID it is new
        ImportSummary s = importBytes(path, card("FN:甲乙\nTEL;TYPE=CELL:1\nUID:" + uid.toUtf8()));
        QCOMPARE(s.updated, 1);
        QCOMPARE(s.added, 0);
        s = importBytes(path, card("FN:甲乙\nTEL;TYPE=CELL:1\nUID:" + uid.toUtf8()));
        QCOMPARE(s.unchanged, 1);
        s = importBytes(path, card("FN:丙\nUID:zinteva-0123456789abcdef-" + key.toUtf8()));
        QCOMPARE(s.added, 1);
        // a UID met twice in one file: two people, both come in, and the summary says so; the same file
        // again finds each of them
        s = importBytes(path, card("FN:丁\nUID:foreign-1") + card("FN:丁二\nUID:foreign-1"));
        QCOMPARE(s.added, 2);
        QVERIFY(s.text().contains(QStringLiteral("第 2 张名片（丁二）：与第 1 张名片的 UID 相同，两张都已导入")));
        s = importBytes(path, card("FN:丁\nUID:foreign-1") + card("FN:丁二\nUID:foreign-1"));
        QCOMPARE(s.unchanged, 2);
        auto store = Store::open(path);
        QCOMPARE(store->loadContact(key)->name, QStringLiteral("甲乙"));
        QCOMPARE(store->loadContact(key)->mobile, QStringLiteral("1"));
        QCOMPARE(store->contactCount(), 5); // 甲乙, 旧, 丙, 丁 and 丁二
        // the first card of a new UID gives it to its person, who then needs no kept copy of it
        const QString ding = store->uids().contactOf(QStringLiteral("foreign-1"));
        QVERIFY(!ding.isEmpty());
        QCOMPARE(store->loadContact(ding)->name, QStringLiteral("丁"));
        QCOMPARE(store->keptTable().contactsWithUid(QStringLiteral("foreign-1")).size(), 1); // 丁二's
        // a deleted contact's UID adds it again, under a new key
        store->deleteContact(key);
        store.reset();
        s = importBytes(path, card("FN:甲乙\nUID:" + uid.toUtf8()));
        QCOMPARE(s.added, 1);
    }

    // ---- exporting ------------------------------------------------------------------------------------

    void exportSelections() {
        const QString path = populated();
        auto store = Store::open(path);
        const QString friends = store->groups()[1].key;
        Exporter exporter(*store);
        int count = 0;
        exporter.build(ExportSelection::all(), ExportFormat::VCard30, &count);
        QCOMPARE(count, 4);
        exporter.build(ExportSelection::group(QStringLiteral("root")), ExportFormat::VCard30, &count);
        QCOMPARE(count, 4);
        const QByteArray group = exporter.build(ExportSelection::group(friends), ExportFormat::VCard30, &count);
        QCOMPARE(count, 2);
        QVERIFY(group.contains("FN:李四\r\n") && group.contains("FN:O'Brien\r\n") && !group.contains("张三"));
        QVERIFY(group.contains("CATEGORIES:朋友\\, \"好\"\\; 的\r\n"));
        const QByteArray picked = exporter.build(ExportSelection::contacts({"friend3", "friend999", "friend1"}),
                                                 ExportFormat::VCard40, &count);
        QCOMPARE(count, 2);
        QVERIFY(picked.indexOf("FN:O'Brien") < picked.indexOf("FN:张三"));
        QVERIFY(picked.contains("VERSION:4.0\r\n"));
        // the embedded photo, the missing one kept as a reference
        const QByteArray all = exporter.build(ExportSelection::all(), ExportFormat::VCard30);
        QVERIFY(all.contains("PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgAB"));
        QVERIFY(all.contains("PHOTO;VALUE=uri:file:///no/such/folder/%E7%85%A7%E7%89%87.bmp\r\n"));
        QVERIFY(all.contains("BDAY:--02-29\r\n"));
        QVERIFY(all.contains("UID:" + store->uids().uidOf("friend1", false).toUtf8() + "\r\n"));
        for (const QByteArray& line : all.split('\n'))
            QVERIFY(line.size() <= 76); // 75 octets and the CR
        const QByteArray csv = exporter.build(ExportSelection::all(), ExportFormat::CsvUtf8);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF姓名,生日,"));
        QVERIFY(csv.contains("李四,--02-29,"));
    }

    // An import writes in one transaction: no savepoint per card (each would send every changed page
    // through SQLite's statement journal), one row and one set of keys per new card.
    void importWritesInOneTransaction_data() {
        QTest::addColumn<int>("cards");
        QTest::addColumn<bool>("withUids");
        QTest::newRow("new cards") << 40 << false;
        QTest::newRow("cards from another directory") << 25 << true;
    }
    void importWritesInOneTransaction() {
        QFETCH(int, cards);
        QFETCH(bool, withUids);
        QByteArray file;
        for (int i = 0; i < cards; ++i) {
            file += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张" + QByteArray::number(i) + "\r\nTEL;TYPE=CELL:1390000" +
                    QByteArray::number(i) + "\r\n";
            if (withUids)
                file += "UID:elsewhere-" + QByteArray::number(i) + "\r\n";
            file += "END:VCARD\r\n";
        }
        const QString path = freshPath();
        StatementCounter counter;
        const ImportSummary summary = importBytes(path, file);
        QCOMPARE(summary.added, cards);
        QCOMPARE(counter.count("savepoint"), 1);
        QCOMPARE(counter.count("release"), 1);
        QCOMPARE(counter.count("insert into phone"), cards);
        QCOMPARE(counter.count("insert or replace into pinyin"), cards);
        QCOMPARE(counter.count("rollback"), 0);
    }

    // However many cards an import writes or an export reads, each statement text is prepared once:
    // the cost of preparing (tens of microseconds) would otherwise be paid several times per card.
    void importAndExportPrepareEachTextOnce_data() {
        QTest::addColumn<bool>("withUids");
        QTest::newRow("new cards") << false;
        QTest::newRow("cards with UIDs and kept properties") << true;
    }
    void importAndExportPrepareEachTextOnce() {
        QFETCH(bool, withUids);
        std::vector<int> importing, exporting;
        for (const int cards : {3, 30}) {
            QByteArray file;
            for (int i = 0; i < cards; ++i) {
                file += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:王" + QByteArray::number(i) + "\r\nTEL;TYPE=CELL:1390000" +
                        QByteArray::number(i) + "\r\nCATEGORIES:同事\r\n";
                if (withUids)
                    file += "UID:elsewhere-" + QByteArray::number(i) + "\r\nX-WECHAT:w" + QByteArray::number(i) + "\r\n";
                file += "END:VCARD\r\n";
            }
            const QString path = freshPath();
            auto store = Store::open(path);
            const int before = StoreProbe::prepared(*store);
            QCOMPARE(Importer(*store, path).run(VCardReader::read(file), {}).added, cards);
            const int imported = StoreProbe::prepared(*store);
            int count = 0;
            const QByteArray out = Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard30, &count);
            QCOMPARE(count, cards);
            QCOMPARE(out.count("X-WECHAT"), withUids ? cards : 0);
            importing.push_back(imported - before);
            exporting.push_back(StoreProbe::prepared(*store) - imported);
        }
        QCOMPARE(importing[1], importing[0]);
        QCOMPARE(exporting[1], exporting[0]);
    }

    // An export writes as it reads, a piece of cards or rows at a time (one card or row each when
    // the pieces are tiny), and strict GBK writes nothing at all when a contact holds a character
    // outside it.
    void exportWritesAsItReads_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("outsideGbk");
        QTest::addColumn<bool>("tinyPieces");
        QTest::addColumn<int>("writes");
        QTest::newRow("vCard") << int(ExportFormat::VCard30) << false << true << 4;
        QTest::newRow("vCard, one piece") << int(ExportFormat::VCard30) << false << false << 1;
        QTest::newRow("CSV UTF-8") << int(ExportFormat::CsvUtf8) << false << true << 5;
        QTest::newRow("CSV UTF-8, head and one piece") << int(ExportFormat::CsvUtf8) << false << false << 2;
        QTest::newRow("CSV GB18030, 𠀀 too") << int(ExportFormat::CsvGb18030) << true << true << 6;
        QTest::newRow("CSV GBK") << int(ExportFormat::CsvGbk) << false << true << 5;
        QTest::newRow("CSV GBK, 𠀀 refused") << int(ExportFormat::CsvGbk) << true << true << 0;
    }
    void exportWritesAsItReads() {
        QFETCH(int, format);
        QFETCH(bool, outsideGbk);
        QFETCH(bool, tinyPieces);
        QFETCH(int, writes);
        const qsizetype usualPiece = exportdetail::pieceBytes;
        const auto restore = qScopeGuard([&] { exportdetail::pieceBytes = usualPiece; });
        if (tinyPieces)
            exportdetail::pieceBytes = 1;
        struct Counting : QBuffer {
            int writes = 0;
            qint64 writeData(const char* data, qint64 size) override {
                ++writes;
                return QBuffer::writeData(data, size);
            }
        } out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        const QString path = populated();
        auto store = Store::open(path);
        if (outsideGbk) {
            ContactFields rare;
            rare.groupKey = store->groups()[0].key;
            rare.name = QStringLiteral("𠀀先生");
            store->addContact(rare);
        }
        int count = -1;
        QString error;
        const bool written = Exporter(*store).write(out, ExportSelection::all(), ExportFormat(format), &count, &error);
        QCOMPARE(written, writes > 0);
        QCOMPARE(out.writes, writes);
        QCOMPARE(count, writes > 0 ? (outsideGbk ? 5 : 4) : 0);
        if (!written)
            QVERIFY(error.contains(QStringLiteral("𠀀先生")));
    }

    // A whole directory or a group is read by one statement, however many people it holds.
    void exportReadsOnce_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("wholeDirectory");
        QTest::newRow("vCard, everybody") << int(ExportFormat::VCard30) << true;
        QTest::newRow("CSV, everybody") << int(ExportFormat::CsvUtf8) << true;
        QTest::newRow("vCard, a group") << int(ExportFormat::VCard40) << false;
    }
    void exportReadsOnce() {
        QFETCH(int, format);
        QFETCH(bool, wholeDirectory);
        const QString path = populated();
        StatementCounter counter; // before the connection opens, so that it sees its statements
        auto store = Store::open(path);
        const ExportSelection selection =
            wholeDirectory ? ExportSelection::all() : ExportSelection::group(store->groups()[1].key);
        int count = 0;
        Exporter(*store).build(selection, ExportFormat(format), &count);
        QCOMPARE(count, wholeDirectory ? 4 : 2);
        QCOMPARE(counter.count("select friendid, mainid, 姓名"), 1);
        QCOMPARE(counter.count("select mainid, 姓名"), 0); // no contact read on its own
    }

    void exportWritesThroughSaveFile() {
        const QString path = populated();
        auto store = Store::open(path);
        Exporter exporter(*store);
        const QString target = dir.filePath(QStringLiteral("out.vcf"));
        writeBytes(target, "old content");
        int count = 0;
        QString error;
        QVERIFY(exporter.exportToFile(target, ExportSelection::all(), ExportFormat::VCard30, &count, &error));
        QCOMPARE(count, 4);
        QVERIFY(bytesOf(target).startsWith("BEGIN:VCARD\r\n"));
        QVERIFY(!exporter.exportToFile(dir.filePath(QStringLiteral("no/such/dir/out.vcf")), ExportSelection::all(),
                                       ExportFormat::VCard30, &count, &error));
        QVERIFY(error.contains(QStringLiteral("无法写入文件")));
        QCOMPARE(Exporter::formatFor(QStringLiteral("a.CSV"), VCardVersion::V40, true), ExportFormat::CsvGbk);
        QCOMPARE(Exporter::formatFor(QStringLiteral("a.vcf"), VCardVersion::V40), ExportFormat::VCard40);
    }

    // ---- round trips ------------------------------------------------------------------------------------

    void roundTripIntoAnEmptyDataFile_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("vCard 3.0") << int(ExportFormat::VCard30);
        QTest::newRow("vCard 4.0") << int(ExportFormat::VCard40);
        QTest::newRow("CSV") << int(ExportFormat::CsvUtf8);
        QTest::newRow("CSV GBK") << int(ExportFormat::CsvGbk);
    }
    void roundTripIntoAnEmptyDataFile() {
        QFETCH(int, format);
        const bool csv = format == int(ExportFormat::CsvUtf8) || format == int(ExportFormat::CsvGbk);
        const QString source = populated();
        const QByteArray bytes = exportBytes(source, ExportFormat(format));
        const QString target = freshPath();
        const ImportSummary summary = importBytes(target, bytes, csv);
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        QCOMPARE(summary.added, 4);
        // A photo given by a path or address (and every photo path of a CSV file) is not read.
        for (const ImportProblem& warning : summary.warnings)
            QVERIFY2(warning.reason.startsWith(QStringLiteral("照片")), qPrintable(warning.reason));

        auto before = Store::open(source);
        auto after = Store::open(target);
        // vCard carries the picture itself (a new file beside the new data file); a reference stays a kept
        // property of the card.
        std::vector<Seen> expected = everything(*before, !csv);
        for (Seen& seen : expected)
            seen.fields.photo.clear();
        const std::vector<Seen> actual = everything(*after, !csv);
        QCOMPARE(actual.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(actual[i], expected[i]);
        if (!csv) {
            const QString photo = after->loadContact(QStringLiteral("friend1"))->photo;
            QVERIFY(photo.startsWith(QFileInfo(target).absolutePath() + QStringLiteral("/photos/")));
            QVERIFY(photo.endsWith(QStringLiteral(".jpg")));
        }
    }

    void roundTripIntoTheSameDataFileChangesNothing_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("vCard 3.0") << int(ExportFormat::VCard30);
        QTest::newRow("vCard 4.0") << int(ExportFormat::VCard40);
    }
    void roundTripIntoTheSameDataFileChangesNothing() {
        QFETCH(int, format);
        const QString path = populated();
        const QByteArray bytes = exportBytes(path, ExportFormat(format));
        const QByteArray fileBefore = bytesOf(path);
        std::vector<Seen> before;
        size_t groupsBefore = 0;
        {
            auto store = Store::open(path);
            before = everything(*store, false);
            groupsBefore = store->groups().size();
        }
        const ImportSummary summary = importBytes(path, bytes);
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        QCOMPARE(summary.added, 0);
        QCOMPARE(summary.updated, 0);
        QCOMPARE(summary.unchanged, 4);
        auto store = Store::open(path);
        QCOMPARE(everything(*store, false), before);
        QCOMPARE(store->groups().size(), groupsBefore);
        QVERIFY(!QFileInfo::exists(QFileInfo(path).absolutePath() + QStringLiteral("/photos")));
        // not a byte of the data file changed
        store.reset();
        QCOMPARE(bytesOf(path), fileBefore);
    }

    // An exported card, changed elsewhere, comes back as an update of its contact.
    void editedCardUpdates() {
        const QString path = populated();
        QByteArray bytes = exportBytes(path, ExportFormat::VCard30);
        bytes.replace("TEL;TYPE=CELL:13800138000", "TEL;TYPE=CELL:13900000000");
        const ImportSummary summary = importBytes(path, bytes);
        QCOMPARE(summary.updated, 1);
        QCOMPARE(summary.unchanged, 3);
        auto store = Store::open(path);
        QCOMPARE(store->contactCount(), 4);
        QCOMPARE(store->loadContact(QStringLiteral("friend1"))->mobile, QStringLiteral("13900000000"));
    }

    // ---- the command line ---------------------------------------------------------------------------------

    void commandLineLeavesOtherArgumentsToTheWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("qt's own") << QStringList({"-platform", "offscreen"});
        QTest::newRow("a file") << QStringList({"something.txt"});
    }
    void commandLineLeavesOtherArgumentsToTheWindow() {
        QFETCH(QStringList, arguments);
        QString text;
        QTextStream out(&text);
        QVERIFY(!runCommandLine(QStringList{QStringLiteral("zinteva")} + arguments, freshPath(), out).has_value());
        QVERIFY(!runCommandLine({}, freshPath(), out).has_value());
        QVERIFY(text.isEmpty());
    }

    void commandLineUsageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("both") << QStringList({"--import", "a.vcf", "--export", "b.vcf"});
        QTest::newRow("group alone") << QStringList({"--group", "x"});
        QTest::newRow("vcard alone") << QStringList({"--vcard", "4.0"});
        QTest::newRow("bad version") << QStringList({"--export", "b.vcf", "--vcard", "5.0"});
        QTest::newRow("bad encoding") << QStringList({"--export", "b.csv", "--encoding", "latin1"});
        QTest::newRow("vcard on import") << QStringList({"--import", "a.vcf", "--vcard", "4.0"});
        QTest::newRow("missing value") << QStringList({"--import"});
        QTest::newRow("unknown option") << QStringList({"--import", "a.vcf", "--frobnicate"});
        QTest::newRow("extra argument") << QStringList({"--import", "a.vcf", "b.vcf"});
    }
    void commandLineUsageErrors() {
        QFETCH(QStringList, arguments);
        const auto [code, text] = run(arguments, freshPath());
        QCOMPARE(code, exitcode::Usage);
        QVERIFY(text.contains(QStringLiteral("用法")));
    }

    void commandLineImport() {
        const QString path = freshPath();
        // every card imported: 0
        auto [code, text] = run({"--import", vcardFixturePath(QStringLiteral("v30-full.vcf"))}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("新增 1 个")));
        // --group: the group of the cards without CATEGORIES, created when missing
        std::tie(code, text) =
            run({"--import", vcardFixturePath(QStringLiteral("v40-impp.vcf")), "--group", "导入的"}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("新建的分组：导入的")));
        // a broken card: 1, and the summary names it
        const QString mixed = dir.filePath(QStringLiteral("mixed.vcf"));
        writeBytes(mixed, card("FN:好") + card("FN:坏\nPHOTO;ENCODING=b:!!"));
        std::tie(code, text) = run({"--import", mixed}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("第 2 张名片（坏）：照片的 base64 数据有误，未导入")));
        // a CSV file
        const QString csv = dir.filePath(QStringLiteral("people.csv"));
        writeBytes(csv, "\xEF\xBB\xBF姓名,移动电话\r\n王五,1\r\n");
        std::tie(code, text) = run({"--import", csv}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("新增 1 个")));
        // no such file, no such data file, an empty file: 1
        QCOMPARE(run({"--import", dir.filePath(QStringLiteral("missing.vcf"))}, path).first, exitcode::Incomplete);
        std::tie(code, text) = run({"--import", mixed}, dir.filePath(QStringLiteral("missing.mdb")));
        QCOMPARE(code, exitcode::Incomplete);
        QVERIFY(text.contains(QStringLiteral("无法打开数据文件")));
        const QString empty = dir.filePath(QStringLiteral("empty2.vcf"));
        writeBytes(empty, "\r\n");
        QCOMPARE(run({"--import", empty}, path).first, exitcode::Incomplete);

        auto store = Store::open(path);
        const std::vector<Seen> seen = everything(*store, false);
        QCOMPARE(seen.size(), size_t(5));
        QCOMPARE(seen[1].group, QStringLiteral("导入的"));
        QCOMPARE(seen[2].fields.name, QStringLiteral("好"));
        QCOMPARE(seen[3].fields.name, QStringLiteral("坏")); // its photo left out, the card kept
        QCOMPARE(seen[4].fields.name, QStringLiteral("王五"));
    }

    void commandLineExport() {
        const QString path = populated();
        const QString v3 = dir.filePath(QStringLiteral("all.vcf"));
        auto [code, text] = run({"--export", v3}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("导出了 4 个联系人")));
        QVERIFY(bytesOf(v3).contains("VERSION:3.0"));

        const QString v4 = dir.filePath(QStringLiteral("friends.vcf"));
        std::tie(code, text) = run({"--export", v4, "--group", "朋友, \"好\"; 的", "--vcard", "4.0"}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY(text.contains(QStringLiteral("导出了 2 个联系人")));
        QVERIFY(bytesOf(v4).contains("VERSION:4.0"));
        QCOMPARE(VCardReader::read(bytesOf(v4)).records.size(), size_t(2));

        const QString csv = dir.filePath(QStringLiteral("all.csv"));
        QCOMPARE(run({"--export", csv, "--encoding", "gbk"}, path).first, exitcode::Success);
        QVERIFY(bytesOf(csv).startsWith("\xD0\xD5\xC3\xFB,")); // 姓名 in GBK

        std::tie(code, text) = run({"--export", v3, "--group", "没有这个"}, path);
        QCOMPARE(code, exitcode::Incomplete);
        QVERIFY(text.contains(QStringLiteral("没有名为“没有这个”的分组")));
        QCOMPARE(run({"--export", dir.filePath(QStringLiteral("no/such/dir/x.vcf"))}, path).first,
                 exitcode::Incomplete);

        // and back in: the command-line round trip changes nothing
        std::tie(code, text) = run({"--import", v3}, path);
        QCOMPARE(code, exitcode::Success);
        QVERIFY2(text.contains(QStringLiteral("未变 4 个")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
