// The CSV files of the address books people bring here, each in the shape its exporter writes, and
// where every value lands: the column of its own kind, or kept with what it was; groups' cards as
// groups, and the categories of a card beyond its group.
#include "core/exchange/Csv.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/Store.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A field of a read record by a short name, as the tables name it; "kept" is every line kept
// without a column (as a typed value or as what no field knows), one a line.
QString fieldOf(const ImportRecord& r, const QString& name) {
    const ContactFields& f = r.fields;
    if (name == u"name")
        return f.name;
    if (name == u"birthday")
        return f.birthday ? f.birthday->toString(Qt::ISODate) : QString();
    if (name == u"mobile")
        return f.mobile;
    if (name == u"work")
        return f.workPhone;
    if (name == u"home")
        return f.homePhone;
    if (name == u"fax")
        return f.fax;
    if (name == u"email")
        return f.email;
    if (name == u"address")
        return f.address;
    if (name == u"postcode")
        return f.postcode;
    if (name == u"remarks")
        return f.remarks;
    if (name == u"nickname")
        return f.nickname;
    if (name == u"qq")
        return f.qq;
    if (name == u"group")
        return r.groupName;
    if (name == u"kept") {
        QStringList lines;
        for (const TypedValue& value : f.values)
            lines << value.line;
        for (const KeptProperty& kept : r.kept) {
            if (kept.field.isEmpty())
                lines << kept.line;
        }
        return lines.join(u'\n');
    }
    qFatal("no field %s", qPrintable(name));
}

// "name=value" pairs, one a field.
using Expected = QStringList;

QByteArray card(const char* version, const QString& lines) {
    return "BEGIN:VCARD\r\nVERSION:" + QByteArray(version) + "\r\n" + lines.toUtf8().replace("\n", "\r\n") +
           "\r\nEND:VCARD\r\n";
}

// Everybody's values, person by person in name order: the columns, the lunar birthday, the group and
// each typed field's values with their labels, in the person's order.
QStringList everyValue(Store& store) {
    QHash<QString, QString> groups;
    for (const GroupRow& group : store.groups())
        groups.insert(group.key, group.name);
    QStringList people;
    store.forEachContact({}, [&](const QString&, ContactFields& f) {
        QStringList values{groups.value(f.groupKey), f.birthday ? f.birthday->toString(Qt::ISODate) : QString(),
                           f.lunarBirthday ? lunarBirthdayValue(*f.lunarBirthday) : QString()};
        for (const catalogue::FieldInfo* column : catalogue::texts())
            values << f.*column->text;
        for (const catalogue::FieldInfo& field : catalogue::all()) {
            for (const TypedValue& value : f.values) {
                if (value.field == field.field)
                    values << QStringLiteral("%1:%2=%3").arg(QLatin1String(field.id), value.label, value.value);
            }
        }
        people << f.name + QStringLiteral(": ") + values.join(u'|');
    });
    people.sort();
    return people;
}

// Everybody as "group: name", sorted.
QStringList peopleByGroup(Store& store) {
    QHash<QString, QString> names;
    for (const GroupRow& group : store.groups())
        names.insert(group.key, group.name);
    RowTable rows;
    store.listAll(rows);
    QStringList people;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const ContactFields f = store.loadContact(rows.key(i)).value();
        people << names.value(f.groupKey) + QStringLiteral(": ") + f.name;
    }
    people.sort();
    return people;
}

} // namespace

class TestExchangeLayouts : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;

    QString freshPath() {
        const QString folder = dir.filePath(QStringLiteral("data%1").arg(++files));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/tavrel.mdb");
        Store::createEmpty(path);
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // One file per exporter, with the headers it writes (each language it ships in that a user here
    // meets): the layout the summary names, each value's place, and the columns kept as unknown.
    // A value kept is checked by a line of the kept properties that holds it.
    void csvLayouts_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<Expected>("expected");
        QTest::addColumn<QStringList>("keptLines"); // each is one whole kept line
        QTest::addColumn<QStringList>("unknown");

        QTest::newRow("Outlook")
            << "Title,First Name,Middle Name,Last Name,Suffix,Company,Department,Job Title,Business Street,"
               "Business City,Business State,Business Postal Code,Business Country/Region,Home Street,Home City,"
               "Home Postal Code,Business Fax,Business Phone,Business Phone 2,Car Phone,Home Phone,Mobile Phone,"
               "Primary Phone,Birthday,Business Address PO Box,Categories,E-mail Address,E-mail Type,"
               "E-mail Display Name,E-mail 2 Address,Notes,Spouse,Web Page\r\n"
               "Dr.,John,Q,Doe,,Acme,Sales,Manager,1 Main St,Springfield,IL,62701,USA,,,,555-0109,,555-0102,"
               "555-0103,,,555-0105,3/4/1985,PO 7,Friends;Work,j@example.org,SMTP,John Doe (j@example.org),"
               "j2@example.org,\"line 1\r\nline 2\",Jane,http://example.org\r\n"
            << "Outlook"
            << Expected{"name=Dr. John Q Doe", "birthday=1985-03-04", "work=555-0102", "home=", "mobile=",
                        "fax=555-0109", "email=j@example.org", "address=PO 7, 1 Main St, Springfield, IL, USA",
                        "postcode=62701", "remarks=line 1\r\nline 2", "group=Friends"}
            << QStringList{"TEL;TYPE=CAR:555-0103", "TEL;TYPE=VOICE:555-0105",
                           "EMAIL;TYPE=INTERNET:j2@example.org", "ORG:Acme;Sales"}
            << QStringList{"E-mail Type", "E-mail Display Name", "Spouse"};

        QTest::newRow("Outlook in Chinese")
            << "称谓,名,中间名,姓,后缀,单位,部门,职务,商务地址 街道,商务地址 市/县,商务地址 省/市/自治区,"
               "商务地址 邮政编码,商务地址 国家/地区,商务传真,商务电话,商务电话 2,车载电话,住宅电话,移动电话,主要电话,"
               "生日,类别,电子邮件地址,电子邮件类型,电子邮件显示名称,附注,配偶\r\n"
               ",伟,,张,,腾讯,研发部,工程师,科技园路 1 号,深圳市,广东省,518000,中国,,,0755-1,0755-2,,,0755-3,"
               "1985/5/17,同事,zw@example.cn,SMTP,张伟 (zw@example.cn),老同学,李娜\r\n"
            << "Outlook（中文）"
            << Expected{"name=张伟", "birthday=1985-05-17", "work=0755-1", "home=", "mobile=",
                        "email=zw@example.cn", "address=科技园路 1 号, 深圳市, 广东省, 中国", "postcode=518000",
                        "remarks=老同学", "group=同事"}
            << QStringList{"TEL;TYPE=CAR:0755-2", "TEL;TYPE=VOICE:0755-3", "TITLE:工程师"}
            << QStringList{"电子邮件类型", "电子邮件显示名称", "配偶"};

        QTest::newRow("Google")
            << "First Name,Middle Name,Last Name,Phonetic First Name,Phonetic Middle Name,Phonetic Last Name,"
               "Name Prefix,Name Suffix,Nickname,File As,Organization Name,Organization Title,"
               "Organization Department,Birthday,Notes,Photo,Labels,E-mail 1 - Label,E-mail 1 - Value,"
               "Phone 1 - Label,Phone 1 - Value,Phone 2 - Label,Phone 2 - Value,Phone 3 - Label,Phone 3 - Value,"
               "Address 1 - Label,Address 1 - Formatted,Address 1 - Street,Address 1 - City,Address 1 - PO Box,"
               "Address 1 - Region,Address 1 - Postal Code,Address 1 - Country,Address 1 - Extended Address,"
               "Website 1 - Label,Website 1 - Value,Custom Field 1 - Label,Custom Field 1 - Value\r\n"
               "敏,,赵,,,,,,小敏,,,,,--05-17,,,同学 ::: * myContacts ::: 朋友,* Work,zm@example.cn ::: zm2@example.cn,"
               "Mobile,13800000001 ::: 13800000002,Main,010-1,微信,wx-1,Home,\"人民路 1 号\n杭州\",人民路 1 号,"
               "杭州,,浙江,310000,中国,,Blog,http://blog.example.cn,爱好,围棋\r\n"
            << "Google 通讯录"
            << Expected{"name=赵敏", "nickname=小敏", "birthday=1604-05-17", "mobile=13800000001", "work=",
                        "home=", "email=zm@example.cn", "address=人民路 1 号, 杭州, 浙江, 中国", "postcode=310000",
                        "group=同学"}
            << QStringList{"TEL;TYPE=CELL:13800000002", "TEL;TYPE=X-MAIN:010-1", "TEL;TYPE=微信:wx-1",
                           "EMAIL;TYPE=INTERNET,WORK:zm2@example.cn"}
            << QStringList{"Custom Field 1 - Label", "Custom Field 1 - Value"};

        QTest::newRow("Thunderbird")
            << "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,Work Phone,"
               "Home Phone,Fax Number,Pager Number,Mobile Number,Home Address,Home Address 2,Home City,Home State,"
               "Home ZipCode,Home Country,Work Address,Work Address 2,Work City,Work State,Work ZipCode,"
               "Work Country,Job Title,Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth Month,"
               "Birth Day,Custom 1,Custom 2,Custom 3,Custom 4,Notes,\r\n"
               "John,Doe,Johnny Doe,JD,j@example.org,j2@example.org,jdoe,555-0101,555-0102,555-0103,555-0104,"
               "555-0105,1 Home St,Flat 2,Hometown,HS,11111,USA,1 Work St,,Worktown,WS,22222,USA,Boss,IT,Acme,"
               "http://a.example,,1970,11,15,c1,,,,notes here,\r\n"
            << "Thunderbird"
            << Expected{"name=Johnny Doe", "nickname=JD", "birthday=1970-11-15", "mobile=555-0105",
                        "work=555-0101", "home=555-0102", "fax=555-0103", "email=j@example.org",
                        "address=1 Home St, Flat 2, Hometown, HS, USA", "postcode=11111", "remarks=notes here"}
            << QStringList{"TEL;TYPE=PAGER:555-0104", "ADR;TYPE=WORK:;;1 Work St;Worktown;WS;22222;USA"}
            << QStringList{"Screen Name", "Custom 1"};

        QTest::newRow("Thunderbird in Chinese")
            << "名字,姓氏,显示名称,昵称,主要电子邮件,备用电子邮件,工作电话,家庭电话,传真号码,寻呼机号码,移动电话号码,"
               "家庭地址,家庭地址 2,城市,省/自治区/直辖市,邮政编码,国家,工作地址,工作地址 2,城市,省/自治区/直辖市,"
               "邮政编码,国家,职务,部门,公司,网页 1,网页 2,出生年份,出生月份,出生日,定制 1,定制 2,定制 3,定制 4,"
               "注释\r\n"
               "敏,赵,,小敏,zm@example.cn,zm2@example.cn,0571-1,0571-2,0571-3,,13800000001,人民路 1 号,,杭州,"
               "浙江,310000,中国,文三路 2 号,,杭州,浙江,310012,中国,经理,市场部,某公司,,,1985,5,17,自定,,,,"
               "备注一\r\n"
            << "Thunderbird（中文）"
            << Expected{"name=赵敏", "nickname=小敏", "birthday=1985-05-17", "mobile=13800000001",
                        "work=0571-1", "home=0571-2", "fax=0571-3", "email=zm@example.cn",
                        "address=人民路 1 号, 杭州, 浙江, 中国", "postcode=310000", "remarks=备注一"}
            << QStringList{"ADR;TYPE=WORK:;;文三路 2 号;杭州;浙江;310012;中国", "EMAIL;TYPE=INTERNET:zm2@example.cn"}
            << QStringList{"定制 1"};

        QTest::newRow("a phone's CSV")
            << "姓名,手机,电话,邮箱,地址,邮编,备注,生日,微信,公司,职位,QQ,分组\r\n"
               "王芳,13900000000,010-66666666,wf@example.cn,北京市东城区,100010,大学同学,1990-01-02,wangfang88,"
               "某单位,会计,10001,同学\r\n"
            << "手机通讯录"
            << Expected{"name=王芳", "mobile=13900000000", "home=", "work=", "email=wf@example.cn",
                        "address=北京市东城区", "postcode=100010", "remarks=大学同学", "birthday=1990-01-02",
                        "qq=10001", "group=同学"}
            << QStringList{"TEL;TYPE=VOICE:010-66666666", "X-WECHAT:wangfang88", "ORG:某单位", "TITLE:会计"}
            << QStringList();

        ContactFields own;
        own.name = QStringLiteral("陈静");
        own.birthday = QDate(1988, 8, 8);
        own.mobile = QStringLiteral("13700000000");
        own.homePhone = QStringLiteral("020-1");
        own.address = QStringLiteral("天河路 3 号");
        own.postcode = QStringLiteral("510000");
        own.email = QStringLiteral("cj@example.cn");
        own.remarks = QStringLiteral("自己的");
        QTest::newRow("zinteva") << QString::fromUtf8(CsvFile::write({{own, QStringLiteral("家人"), QStringLiteral("u-1")}}))
                                 << "zinteva"
                                 << Expected{"name=陈静", "birthday=1988-08-08", "mobile=13700000000", "home=020-1",
                                             "address=天河路 3 号", "postcode=510000", "email=cj@example.cn",
                                             "remarks=自己的", "group=家人", "kept="}
                                 << QStringList() << QStringList();
    }
    void csvLayouts() {
        QFETCH(QString, file);
        QFETCH(QString, layout);
        QFETCH(Expected, expected);
        QFETCH(QStringList, keptLines);
        QFETCH(QStringList, unknown);
        const ImportBatch batch = CsvFile::read(file.toUtf8());
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.layout, layout);
        QCOMPARE(batch.records.size(), size_t(1));
        const ImportRecord& record = batch.records[0];
        QVERIFY2(record.ok(), qPrintable(record.error));
        QCOMPARE(record.warnings, QStringList());
        for (const QString& pair : expected) {
            const QString name = pair.section(u'=', 0, 0), value = pair.section(u'=', 1);
            QCOMPARE(fieldOf(record, name), value);
        }
        const QStringList kept = fieldOf(record, QStringLiteral("kept")).split(u'\n');
        for (const QString& line : keptLines)
            QVERIFY2(kept.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + kept.join(u'\n')));
        QCOMPARE(batch.unknownColumns, unknown);
    }

    // Every value comes back from this program's own CSV file: import the file, export it as CSV,
    // import that into an empty data file; nobody's value is lost or lands in another field. A vCard
    // with several values of every kind goes the same way.
    void csvRoundTrip_data() {
        csvLayouts_data();
        QTest::newRow("vCard with several values of each kind")
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:刘洋\r\nTEL;TYPE=CELL:13800000001\r\nTEL;TYPE=CELL:13800000002\r\n"
               "TEL;TYPE=WORK:010-1\r\nTEL;TYPE=WORK:010-2\r\nTEL;TYPE=CAR:010-3\r\nitem1.TEL:010-4\r\n"
               "item1.X-ABLabel:老家\r\nTEL;TYPE=WORK,FAX:010-5\r\nEMAIL;TYPE=INTERNET:a@example.cn\r\n"
               "EMAIL;TYPE=INTERNET,WORK:b@example.cn\r\nEMAIL;TYPE=INTERNET,HOME:c@example.cn\r\n"
               "ADR;TYPE=HOME:;;人民路 1 号;杭州;浙江;310000;中国\r\n"
               "ADR;TYPE=WORK:信箱 7;B 座;文三路 2 号\\, 3 楼;杭州;浙江;310012;中国\r\nADR:;;第二行\\n地址;;;;\r\n"
               "X-WECHAT:wx_liu\r\nX-WECHAT:wx_liu2\r\nIMPP;X-SERVICE-TYPE=skype:skype:liu.yang\r\n"
               "ORG:某公司;研发部\r\nTITLE:经理\r\nROLE:负责人\r\nURL;TYPE=WORK:https://a.example.cn\r\n"
               "URL:https://b.example.cn\r\nANNIVERSARY:2010-10-01\r\nGENDER:M\r\nRELATED:张三\r\n"
               "X-ZINTEVA-LUNAR-BIRTHDAY:1950-12-08\r\nEND:VCARD\r\n"
            << QString() << Expected() << QStringList() << QStringList();
    }
    void csvRoundTrip() {
        QFETCH(QString, file);
        const QByteArray bytes = file.toUtf8();
        const QString first = freshPath(), second = freshPath();
        auto a = Store::open(first);
        const ImportBatch batch = bytes.startsWith("BEGIN:VCARD") ? VCardReader::read(bytes) : CsvFile::read(bytes);
        QCOMPARE(Importer(*a, first).run(batch, {}).added, 1);
        const QString csv = dir.filePath(QStringLiteral("round%1.csv").arg(files));
        QString error;
        QVERIFY2(Exporter(*a).exportToFile(csv, ExportSelection::all(), ExportFormat::CsvUtf8, nullptr, &error),
                 qPrintable(error));
        auto b = Store::open(second);
        const ImportSummary summary = Importer(*b, second).runFile(csv, {});
        QVERIFY2(summary.complete() && summary.added == 1, qPrintable(summary.text()));
        const QStringList before = everyValue(*a);
        QCOMPARE(everyValue(*b), before);
        // The card has a value of every typed field (so a field added to the catalogue is tried).
        for (const catalogue::FieldInfo& field : catalogue::all()) {
            if (bytes.startsWith("BEGIN:VCARD") && field.storage == catalogue::Storage::Typed)
                QVERIFY2(before.join(u'|').contains(u'|' + QLatin1String(field.id) + u':'), field.id);
        }
    }

    // The summary of an import names the layout it read the file by and the columns it did not know,
    // whose values are kept; a column that held nothing is not named.
    void summaryNamesLayoutAndUnknownColumns() {
        const QString path = freshPath();
        auto store = Store::open(path);
        const QByteArray file = QStringLiteral("名字,姓氏,主要电子邮件,定制 1,定制 2\r\n敏,赵,zm@example.cn,自定,\r\n").toUtf8();
        const ImportSummary summary = Importer(*store, path).run(CsvFile::read(file), {});
        QVERIFY2(summary.complete(), qPrintable(summary.text()));
        const QStringList lines = summary.text().split(u'\n');
        QCOMPARE(lines.value(0), QStringLiteral("按 Thunderbird（中文） 的栏目读取。"));
        QVERIFY2(lines.contains(QStringLiteral("这些栏目不认识，其内容原样保存在各联系人的“其它资料”中：定制 1。")),
                 qPrintable(summary.text()));
        QCOMPARE(store->loadContact(QStringLiteral("friend1"))->name, QStringLiteral("赵敏"));
    }

    // Groups' cards (vCard 4.0's KIND:group with MEMBER, Apple's X-ADDRESSBOOKSERVER-KIND) become
    // groups with their members, found by UID in the file or the data file wherever the group's card
    // comes; they are never people.
    void groupCards_data() {
        QTest::addColumn<QByteArray>("before"); // imported first
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("people");
        QTest::addColumn<QStringList>("lines"); // of the summary of the second import

        const QByteArray zhang = card("4.0", "FN:张三\nUID:urn:uuid:aaaa-1\nCATEGORIES:同事");
        const QByteArray li = card("4.0", "FN:李四\nUID:urn:uuid:bbbb-2");
        const QByteArray classmates =
            card("4.0", "KIND:group\nFN:同学\nUID:urn:uuid:g-1\nMEMBER:urn:uuid:aaaa-1\nMEMBER:urn:uuid:bbbb-2");
        QTest::newRow("KIND:group after its members")
            << QByteArray() << zhang + li + classmates << QStringList{"同学: 张三", "同学: 李四"}
            << QStringList{"共 2 个联系人：导入 2 个（新增 2 个，更新 0 个，未变 0 个），跳过 0 个。",
                           "另有 1 张分组名片，已作为分组读取，成员放入其中：同学（2 人）。"};
        QTest::newRow("Apple's group before its members, UIDs in other case")
            << QByteArray()
            << card("3.0", "N:;家人;;;\nFN:家人\nX-ADDRESSBOOKSERVER-KIND:group\n"
                           "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:CCCC-3\nUID:g-2") +
                   card("3.0", "FN:王五\nUID:cccc-3") + card("3.0", "FN:赵六\nUID:dddd-4")
            << QStringList{"家人: 王五", "未分组: 赵六"}
            << QStringList{"共 2 个联系人：导入 2 个（新增 2 个，更新 0 个，未变 0 个），跳过 0 个。",
                           "另有 1 张分组名片，已作为分组读取，成员放入其中：家人（1 人）。"};
        QTest::newRow("members already in the data file")
            << zhang + li << classmates << QStringList{"同学: 张三", "同学: 李四"}
            << QStringList{"共 0 个联系人：导入 0 个（新增 0 个，更新 0 个，未变 0 个），跳过 0 个。",
                           "更新的资料：分组 2 个。"};
        QTest::newRow("a member nowhere, a member of two groups")
            << QByteArray()
            << zhang + classmates +
                   card("4.0", "KIND:group\nFN:球友\nMEMBER:urn:uuid:aaaa-1\nMEMBER:urn:uuid:eeee-5")
            << QStringList{"同学: 张三"}
            << QStringList{"另有 2 张分组名片，已作为分组读取，成员放入其中：同学（1 人）、球友（0 人）。",
                           "  第 2 张名片（同学）：分组名片的 1 个成员在文件和数据文件中都没有找到",
                           "  第 3 张名片（球友）：1 个成员已在前面的分组名片中，留在那个分组",
                           "  第 3 张名片（球友）：分组名片的 1 个成员在文件和数据文件中都没有找到"};
    }
    void groupCards() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, people);
        QFETCH(QStringList, lines);
        const QString path = freshPath();
        auto store = Store::open(path);
        Importer importer(*store, path);
        if (!before.isEmpty())
            QVERIFY(importer.run(VCardReader::read(before), {}).complete());
        const ImportSummary summary = importer.run(VCardReader::read(file), {});
        QVERIFY2(summary.failure.isEmpty() && summary.skipped.empty(), qPrintable(summary.text()));
        QCOMPARE(peopleByGroup(*store), people);
        // The category a member's own card in the file named is not lost to the group's card.
        const QByteArray exported = Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard30);
        if (file.contains("CATEGORIES:同事"))
            QVERIFY2(exported.contains("CATEGORIES:同事"), exported.constData());
        const QStringList text = summary.text().split(u'\n');
        for (const QString& line : lines)
            QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral("\nnot in:\n") + summary.text()));
    }

    // A card in several categories is in the first one's group and keeps the others: written back
    // as they came, and beside the new group once the person is moved, through a second data file.
    void severalCategoriesKeepTheOthers() {
        const QString path = freshPath();
        auto store = Store::open(path);
        Importer(*store, path).run(VCardReader::read(card("3.0", "FN:张三\nCATEGORIES:同学,朋友\\,老友,家人")), {});
        QCOMPARE(peopleByGroup(*store), QStringList{"同学: 张三"});
        const QByteArray first = Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard30);
        QVERIFY2(first.contains("\r\nCATEGORIES:同学,朋友\\,老友,家人\r\n"), first.constData());

        ContactFields moved = store->loadContact(QStringLiteral("friend1")).value();
        moved.groupKey = store->addGroup(QStringLiteral("同事"));
        store->updateContact(QStringLiteral("friend1"), moved);
        const QByteArray second = Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard40);
        QVERIFY2(second.contains("\r\nCATEGORIES:同事,朋友\\,老友,家人\r\n"), second.constData());
        QCOMPARE(second.count("CATEGORIES"), 1);

        const QString other = freshPath();
        auto again = Store::open(other);
        Importer(*again, other).run(VCardReader::read(second), {});
        QCOMPARE(peopleByGroup(*again), QStringList{"同事: 张三"});
        const QByteArray third = Exporter(*again).build(ExportSelection::all(), ExportFormat::VCard30);
        QVERIFY2(third.contains("\r\nCATEGORIES:同事,朋友\\,老友,家人\r\n"), third.constData());
    }

    // The summary says what was done and no more: a person recognised whose card brings nothing new
    // is not said to be completed; what was filled, kept beside, kept as unknown or skipped is named.
    void honestSummaries_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines"); // the whole summary
        const QByteArray wei = card("3.0", "FN:张伟\nTEL;TYPE=CELL:13800000001\nTEL;TYPE=WORK:010-1");
        QTest::newRow("recognised, nothing new")
            << wei << wei
            << QStringList{"共 1 个联系人：导入 1 个（新增 0 个，更新 0 个，未变 1 个），跳过 0 个。",
                           "有 1 个联系人按姓名和手机号码或电子邮件认出是已有的联系人，没有重复添加。"};
        QTest::newRow("recognised, an e-mail filled")
            << wei << card("3.0", "FN:张伟\nTEL;TYPE=CELL:13800000001\nEMAIL:zw@example.cn")
            << QStringList{"共 1 个联系人：导入 1 个（新增 0 个，更新 1 个，未变 0 个），跳过 0 个。",
                           "更新的资料：电子邮件 1 个。",
                           "有 1 个联系人按姓名和手机号码或电子邮件认出是已有的联系人，没有重复添加；其中 1 个补充了缺少的资料。"};
        QTest::newRow("recognised, another office number kept beside")
            << wei << card("3.0", "FN:张伟\nTEL;TYPE=CELL:13800000001\nTEL;TYPE=WORK:010-2")
            << QStringList{"共 1 个联系人：导入 1 个（新增 0 个，更新 1 个，未变 0 个），跳过 0 个。",
                           "更新的资料：电话 1 个。",
                           "有 1 个联系人按姓名和手机号码或电子邮件认出是已有的联系人，没有重复添加；1 个的不同号码和资料另存在其“其它资料”中。"};
        QTest::newRow("a duplicate by name, a card skipped, a company typed")
            << wei
            << card("3.0", "FN:张伟\nTEL;TYPE=CELL:13900000009\nORG:某公司") + card("3.0", "UID:x\nFN:")
            << QStringList{"共 2 个联系人：导入 1 个（新增 1 个，更新 0 个，未变 0 个），跳过 1 个。",
                           "新增的联系人中有 1 个与已有的联系人同名，但不能确定是同一个人，已分别保存；"
                           "如是同一个人，请用“查询 ▸ 查找重复”合并。",
                           "跳过的联系人：", "  第 2 张名片：名片中没有任何资料"};
    }
    void honestSummaries() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        const QString path = freshPath();
        auto store = Store::open(path);
        Importer importer(*store, path);
        QVERIFY(importer.run(VCardReader::read(before), {}).complete());
        const ImportSummary summary = importer.run(VCardReader::read(file), {});
        QCOMPARE(summary.text().split(u'\n'), lines);
    }
};

QTEST_GUILESS_MAIN(TestExchangeLayouts)
#include "tst_exchange_layouts.moc"
