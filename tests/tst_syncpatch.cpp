// An edit in the program changes only the lines of the edited field in the server's card: cards
// written the way phones write them (several addresses, the preferred one not first, picture
// addresses, repeated categories, nicknames and messengers, texts longer than a column, structured
// names) keep everything else byte for byte. Against real Radicale and Xandikos on 127.0.0.1.
#include "core/store/FieldCatalogue.h"
#include "core/store/GroupNames.h"
#include "core/store/Store.h"
#include "core/sync/CardPatch.h"
#include "core/sync/SyncEngine.h"
#include "support/DavServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray card(const QByteArray& uid, const QByteArray& version, const QByteArray& body) {
    QByteArray text = "BEGIN:VCARD\r\nVERSION:" + version + "\r\nPRODID:-//Phone//Contacts//EN\r\nUID:" + uid + "\r\n";
    for (const QByteArray& line : body.split('\n'))
        text += line + "\r\n";
    return text + "END:VCARD\r\n";
}

// The content lines, unfolded.
QByteArrayList lines(const QByteArray& text) {
    QByteArrayList out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!out.isEmpty() && (line.startsWith(' ') || line.startsWith('\t')))
            out.last() += line.mid(1);
        else if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

QByteArray nameOf(const QByteArray& line) {
    QByteArray name = line.left(line.indexOf(':'));
    name = name.left(name.indexOf(';') < 0 ? name.size() : name.indexOf(';'));
    return name.mid(name.lastIndexOf('.') + 1).toUpper();
}

QByteArrayList without(const QByteArrayList& all, const QByteArrayList& names) {
    QByteArrayList out;
    for (const QByteArray& line : all) {
        if (!names.contains(nameOf(line)))
            out.append(line);
    }
    return out;
}

// A line as servers may rewrite it: Radicale writes names in upper case and reorders parameters.
QByteArray normal(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    QByteArrayList head = line.left(colon).toUpper().split(';');
    const QByteArray name = head.takeFirst();
    std::sort(head.begin(), head.end());
    head.prepend(name);
    return head.join(';') + line.mid(colon);
}

// The lines of one property, as normal() writes them.
QByteArrayList only(const QByteArrayList& all, const QByteArray& name) {
    QByteArrayList out;
    for (const QByteArray& line : all) {
        if (nameOf(line) == name)
            out.append(normal(line));
    }
    return out;
}

struct Copy {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("tavrel.db"));
    std::unique_ptr<Store> store;
    Copy() {
        Store::createEmpty(path);
        store = Store::open(path);
    }
    SyncReport sync(DavServer& server) {
        DavClient client(server.user(), server.password());
        SyncAccount account;
        account.url = server.addressBook().toString();
        account.user = server.user();
        return SyncEngine(*store, path, client, account).run();
    }
    // Each person's name and group's name, sorted.
    QStringList people() {
        QStringList out;
        GroupNames groups(*store);
        store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view name) {
            const std::optional<ContactFields> fields = store->loadContact(QString::fromUtf8(key));
            out.append(QString::fromUtf8(name) + u'|' + groups.nameOf(fields ? fields->groupKey : QString()));
        });
        out.sort();
        return out;
    }
    void move(const QString& name, const QString& group) {
        store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view n) {
            if (QString::fromUtf8(n) != name)
                return;
            ContactFields fields = *store->loadContact(QString::fromUtf8(key));
            fields.groupKey = GroupNames(*store).keyFor(group);
            store->updateContact(QString::fromUtf8(key), fields);
        });
    }
    QString only() {
        QStringList keys;
        store->forEachTreeContact(
            [&](std::string_view key, std::string_view, std::string_view) { keys.append(QString::fromUtf8(key)); });
        return keys.size() == 1 ? keys.first() : QString();
    }
};

} // namespace

class TestSyncPatch : public QObject {
    Q_OBJECT

private slots:
    void oneEditChangesOneField_data() {
        QTest::addColumn<int>("server");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("field"); // the field's id, as the catalogue names it
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArrayList>("changed"); // the properties whose lines may differ
        QTest::addColumn<QByteArrayList>("expected"); // lines the new card has

        const QByteArray addresses = "FN:李雷\nN:李;雷;;;\nTEL;TYPE=CELL:13800000001\n"
                                     "ADR;TYPE=WORK:;;工作路1号;上海;;200000;中国\n"
                                     "ADR;TYPE=HOME,PREF:;;家园路2号;北京;;100000;中国";
        const QByteArray photoUri = "FN:韩冰\nN:韩;冰;;;\nPHOTO;VALUE=uri:https://photos.example.com/han.jpg\n"
                                    "X-PHONE-RINGTONE:bell";
        const QByteArray repeated = "FN:韩梅梅\nN:韩;梅梅;;;\nCATEGORIES:家人,VIP\nCATEGORIES:旧同学\nNICKNAME:梅子\n"
                                    "NICKNAME:小梅\nX-QQ:10001\nX-QQ:10002\nIMPP;X-SERVICE-TYPE=QQ:x-apple:10001\n"
                                    "X-WECHAT:meimei\nX-ANDROID-CUSTOM:vnd.android.cursor.item/relation;王五;1";
        const QByteArray longTexts = "FN:中国工商银行股份有限公司北京市分行营业部客户服务中心\n"
                                     "N:中国工商银行股份有限公司北京市分行营业部客户服务中心;;;;\n"
                                     "EMAIL;TYPE=INTERNET:customer-service-department-beijing-branch@"
                                     "icbc-example.com.cn\nORG:中国工商银行";
        const QByteArray western = "FN:Dr. John Quincy Smith Jr.\nN:Smith;John;Quincy;Dr.;Jr.\n"
                                   "EMAIL;TYPE=INTERNET,PREF:john@old.example\nEMAIL;TYPE=WORK:john@work.example\n"
                                   "TEL;TYPE=HOME:+1 555 0100\nBDAY:1980-02-29";
        const QByteArray chinese = "FN:王小明\nN:王;小明;;;\nTEL;TYPE=WORK:010-12345678\nTEL;TYPE=CELL:13800000005\n"
                                   "NOTE:第一行\\n第二行";
        const QByteArray grouped = "FN:Anna\nN:;Anna;;;\nitem1.TEL;TYPE=CELL:111\nitem1.X-ABLabel:_$!<Mobile>!$_\n"
                                   "item2.EMAIL;TYPE=INTERNET:anna@example.com\nitem2.X-ABLabel:私人";
        const QByteArray four = "FN:赵四\nN:赵;四;;;\nTEL;VALUE=uri;TYPE=cell:tel:+86-138-0000-0003\n"
                                "X-SOCIALPROFILE;TYPE=weibo:zhaosi";
        using L = QByteArrayList;
        struct Row {
            const char* tag;
            QByteArray version, body;
            const char* field;
            QString value;
            L changed, expected;
        };
        const Row rows[] = {
            {"second address preferred, mobile", "3.0", addresses, "mobile", QStringLiteral("13900000002"), {"TEL"},
             {"TEL;TYPE=CELL:13900000002"}},
            {"second address preferred, address", "3.0", addresses, "address", QStringLiteral("家园路3号, 北京, 中国"),
             {"ADR"},
             {"ADR;TYPE=WORK:;;工作路1号;上海;;200000;中国", "ADR;TYPE=HOME,PREF:;;家园路3号;北京;;100000;中国"}},
            {"second address preferred, postcode", "3.0", addresses, "postcode", QStringLiteral("100101"), {"ADR"},
             {"ADR;TYPE=HOME,PREF:;;家园路2号;北京;;100101;中国"}},
            {"photo address, remarks", "3.0", photoUri, "remarks", QStringLiteral("新备注"), {"NOTE"}, {"NOTE:新备注"}},
            {"repeated properties, qq", "3.0", repeated, "qq", QStringLiteral("20001"), {"X-QQ", "IMPP"},
             {"X-QQ:20001", "X-QQ:10002", "IMPP;X-SERVICE-TYPE=QQ:x-apple:20001"}},
            {"repeated properties, group", "3.0", repeated, "group", QStringLiteral("同事"), {"CATEGORIES"},
             {"CATEGORIES:同事,VIP", "CATEGORIES:旧同学"}},
            {"repeated properties, nickname", "3.0", repeated, "nickname", QStringLiteral("阿梅"), {"NICKNAME"},
             {"NICKNAME:阿梅", "NICKNAME:小梅"}},
            {"long name and e-mail, new mobile", "3.0", longTexts, "mobile", QStringLiteral("95588"), {"TEL"},
             {"TEL;TYPE=CELL:95588"}},
            {"structured name, e-mail", "3.0", western, "email", QStringLiteral("john@new.example"), {"EMAIL"},
             {"EMAIL;TYPE=INTERNET,PREF:john@new.example", "EMAIL;TYPE=WORK:john@work.example"}},
            {"structured name, name", "3.0", western, "name", QStringLiteral("Dr. John Q. Smith Jr."), {"FN", "N"},
             {"FN:Dr. John Q. Smith Jr.", "N:Smith;John;Q.;Dr.;Jr."}},
            {"structured name, birthday", "3.0", western, "birthday", QStringLiteral("1981-03-01"), {"BDAY"},
             {"BDAY:1981-03-01"}},
            {"chinese name, name", "3.0", chinese, "name", QStringLiteral("王大明"), {"FN", "N"},
             {"FN:王大明", "N:王;大明;;;"}},
            {"chinese name, work phone emptied", "3.0", chinese, "workphone", QString(), {"TEL"},
             {"TEL;TYPE=CELL:13800000005"}},
            {"grouped lines, mobile", "3.0", grouped, "mobile", QStringLiteral("222"), {"TEL"},
             {"item1.TEL;TYPE=CELL:222", "item1.X-ABLabel:_$!<Mobile>!$_"}},
            {"vcard 4.0, mobile", "4.0", four, "mobile", QStringLiteral("+86-139-0000-0004"), {"TEL"},
             {"TEL;VALUE=uri;TYPE=cell:tel:+86-139-0000-0004"}},
        };
        for (const int server : {int(DavServer::Kind::Radicale), int(DavServer::Kind::Xandikos)}) {
            for (const Row& row : rows)
                QTest::addRow("%s: %s", server == int(DavServer::Kind::Radicale) ? "radicale" : "xandikos", row.tag)
                    << server << row.version << row.body << QString::fromLatin1(row.field) << row.value << row.changed
                    << row.expected;
        }
    }

    void oneEditChangesOneField() {
        QFETCH(int, server);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, body);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QByteArrayList, changed);
        QFETCH(QByteArrayList, expected);
        DavServer& dav = this->server(DavServer::Kind(server));
        if (!dav.missing().isEmpty())
            QSKIP(qPrintable(dav.missing()));
        const QString href = QStringLiteral("phone-%1.vcf").arg(++cards_);
        // Each row's card alone in the address book, whatever the row's end.
        const std::unique_ptr<void, std::function<void(void*)>> removal(
            this, [&](void*) { dav.request("DELETE", dav.addressBook().resolved(QUrl(href))); });
        QCOMPARE(dav.put(href, card("phone-" + QByteArray::number(cards_), version, body)).status / 100, 2);
        const QByteArray before = dav.card(href);

        Copy copy;
        SyncReport report = copy.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        const QString key = copy.only();
        QVERIFY(!key.isEmpty());
        ContactFields fields = *copy.store->loadContact(key);
        const catalogue::FieldInfo* info = catalogue::byId(field);
        QVERIFY(info);
        if (info->field == catalogue::Field::Group)
            fields.groupKey = GroupNames(*copy.store).keyFor(value);
        else if (info->field == catalogue::Field::Birthday)
            fields.birthday = QDate::fromString(value, Qt::ISODate);
        else
            fields.*info->text = value;
        copy.store->updateContact(key, fields);
        report = copy.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        QCOMPARE(report.uploaded, 1);
        const QByteArray after = dav.card(href);

        // Every line of another property is the same, in the same order; the field's lines changed.
        QCOMPARE(without(lines(after), changed), without(lines(before), changed));
        QVERIFY(lines(after) != lines(before));
        QByteArrayList written;
        for (const QByteArray& line : lines(after))
            written.append(normal(line));
        for (const QByteArray& line : expected)
            QVERIFY2(written.contains(normal(line)), (line + "\n--\n" + after).constData());
        // The card read back is what the program holds: the next sync has nothing to send.
        report = copy.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        QCOMPARE(report.uploaded + report.downloaded, 0);
        QCOMPARE(*copy.store->loadContact(key), fields);
    }

    // Groups' cards of both kinds are groups with their members, never people; a move or a rename
    // here goes back into the cards in the form they have. A group's name longer than a name here may
    // be stays whole on the server while the group is not renamed here.
    void groupCards_data() {
        QTest::addColumn<int>("server");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("kind");   // the line that makes a group's card
        QTest::addColumn<QByteArray>("member"); // the property naming a member
        for (const int server : {int(DavServer::Kind::Radicale), int(DavServer::Kind::Xandikos)}) {
            const char* name = server == int(DavServer::Kind::Radicale) ? "radicale" : "xandikos";
            QTest::addRow("%s: apple", name) << server << QByteArray("3.0")
                                             << QByteArray("X-ADDRESSBOOKSERVER-KIND:group")
                                             << QByteArray("X-ADDRESSBOOKSERVER-MEMBER");
            QTest::addRow("%s: kind", name) << server << QByteArray("4.0") << QByteArray("KIND:group")
                                            << QByteArray("MEMBER");
        }
    }
    void groupCards() {
        QFETCH(int, server);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, member);
        DavServer& dav = this->server(DavServer::Kind(server));
        if (!dav.missing().isEmpty())
            QSKIP(qPrintable(dav.missing()));
        const QString tag = QString::number(++cards_);
        QStringList hrefs;
        const std::unique_ptr<void, std::function<void(void*)>> removal(this, [&](void*) {
            for (const QString& href : hrefs)
                dav.request("DELETE", dav.addressBook().resolved(QUrl(href)));
        });
        auto put = [&](const QString& name, const QByteArray& text) {
            hrefs.append(name + tag + QStringLiteral(".vcf"));
            QCOMPARE(dav.put(hrefs.last(), text).status / 100, 2);
        };
        put(QStringLiteral("p1-"), card("p1", "3.0", "FN:张三\nN:张;三;;;\nTEL;TYPE=CELL:111"));
        put(QStringLiteral("p2-"), card("p2", "3.0", "FN:李四\nN:李;四;;;"));
        put(QStringLiteral("p3-"), card("p3", "3.0", "FN:王五\nN:王;五;;;"));
        put(QStringLiteral("g1-"), card("g1", version,
                                        "FN:同事\nN:同事;;;;\n" + kind + "\n" + member + ":urn:uuid:p1\n" + member +
                                            ":urn:uuid:p2"));
        const QString familyThere = QStringLiteral("家人") + QString(34, u'亲');
        const QString family = catalogue::cut(familyThere, catalogue::info(catalogue::Field::Group).limit);
        QVERIFY(family != familyThere);
        put(QStringLiteral("g2-"), card("g2", version,
                                        "FN:" + familyThere.toUtf8() + "\nN:" + familyThere.toUtf8() + ";;;;\n" + kind +
                                            "\n" + member + ":urn:uuid:p3"));
        QByteArrayList before;
        for (const QString& href : hrefs)
            before.append(dav.card(href));

        Copy a;
        SyncReport report = a.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        QCOMPARE(a.people(), (QStringList{"张三|同事", "李四|同事", "王五|" + family}));

        a.move(QStringLiteral("张三"), family);
        QVERIFY(a.store->renameGroup(GroupNames(*a.store).keyFor(QStringLiteral("同事")), QStringLiteral("同学")));
        report = a.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        // The people's cards are as they were; the groups' cards say who is where, in their own form.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lines(dav.card(hrefs[i])), lines(before[i]));
        const QByteArrayList colleagues = lines(dav.card(hrefs[3]));
        const QByteArrayList relatives = lines(dav.card(hrefs[4]));
        QCOMPARE(without(colleagues, {"FN", "N", member}), without(lines(before[3]), {"FN", "N", member}));
        QCOMPARE(only(colleagues, "FN"), QByteArrayList{"FN:同学"});
        QCOMPARE(only(colleagues, member), QByteArrayList{normal(member + ":urn:uuid:p2")});
        QCOMPARE(without(relatives, {member}), without(lines(before[4]), {member}));
        QCOMPARE(only(relatives, member),
                 (QByteArrayList{normal(member + ":urn:uuid:p3"), normal(member + ":urn:uuid:p1")}));
        QCOMPARE(dav.cards().size(), 5);

        // Nothing more to send; another copy reads the same groups.
        report = a.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        QCOMPARE(report.uploaded + report.downloaded, 0);
        Copy b;
        QVERIFY(b.sync(dav).ok);
        QCOMPARE(b.people(), (QStringList{"张三|" + family, "李四|同学", "王五|" + family}));
        QCOMPARE(a.people(), b.people());
    }

    // A picture this side cannot send (its file gone, no picture in it, over the size limit) leaves
    // the server's picture as it is and never puts a path of this computer into a card, neither in a
    // new card nor in one the server has.
    void noPathLeaves_data() {
        QTest::addColumn<bool>("onServer");
        QTest::addColumn<QByteArray>("content"); // empty: no file
        const QByteArray big = "\x89PNG\r\n\x1a\n" + QByteArray(17 * 1024 * 1024, 'p');
        for (const bool onServer : {false, true}) {
            const char* where = onServer ? "card on the server" : "new card";
            QTest::addRow("%s, file gone", where) << onServer << QByteArray();
            QTest::addRow("%s, no picture", where) << onServer << QByteArray("not a picture\n");
            QTest::addRow("%s, over the limit", where) << onServer << big;
        }
    }
    void noPathLeaves() {
        QFETCH(bool, onServer);
        QFETCH(QByteArray, content);
        DavServer& dav = server(DavServer::Kind::Xandikos);
        if (!dav.missing().isEmpty())
            QSKIP(qPrintable(dav.missing()));
        const QString href = QStringLiteral("photo-%1.vcf").arg(++cards_);
        const std::unique_ptr<void, std::function<void(void*)>> removal(this, [&](void*) {
            for (const QString& card : dav.cards())
                dav.request("DELETE", dav.addressBook().resolved(QUrl(card)));
        });
        const QByteArray picture = "PHOTO;ENCODING=b;TYPE=PNG:" + QByteArray("\x89PNG\r\n\x1a\nserver picture").toBase64();
        Copy copy;
        QString key;
        if (onServer) {
            QCOMPARE(dav.put(href, card("photo-" + QByteArray::number(cards_), "3.0", "FN:照片\n" + picture)).status / 100,
                     2);
            QVERIFY(copy.sync(dav).ok);
            key = copy.only();
        } else {
            ContactFields f;
            f.groupKey = copy.store->addGroup(QStringLiteral("家人"));
            f.name = QStringLiteral("照片");
            key = copy.store->addContact(f);
        }
        const QString path = copy.dir.filePath(QStringLiteral("picture.png"));
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
        ContactFields f = *copy.store->loadContact(key);
        f.photo = path;
        f.mobile = QStringLiteral("13900000000");
        copy.store->updateContact(key, f);
        const SyncReport report = copy.sync(dav);
        QVERIFY2(report.ok, qPrintable(report.text()));
        QCOMPARE(report.uploaded, 1);
        const QStringList cards = dav.cards();
        QCOMPARE(cards.size(), 1);
        const QByteArray up = dav.card(cards.first());
        QVERIFY(up.contains("13900000000"));
        QVERIFY2(!up.contains("file:") && !up.contains(copy.dir.path().toUtf8()), up.constData());
        // The server's picture stays as it was; a new card has none.
        QCOMPARE(only(lines(up), "PHOTO"), onServer ? QByteArrayList{normal(picture)} : QByteArrayList{});
    }

    // The structured name made for a name the user typed.
    void structuredName_data() {
        QTest::addColumn<QStringList>("old");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("expected");
        const QStringList none = {{}, {}, {}, {}, {}};
        QTest::newRow("chinese, family kept") << QStringList{"王", "小明", "", "", ""} << "王大明"
                                              << QStringList{"王", "大明", "", "", ""};
        QTest::newRow("chinese, all in one part") << QStringList{"王小明", "", "", "", ""} << "李小明"
                                                  << QStringList{"李", "小明", "", "", ""};
        QTest::newRow("chinese, two-character family") << none << "欧阳娜娜" << QStringList{"欧阳", "娜娜", "", "", ""};
        QTest::newRow("chinese, new family of two") << QStringList{"王", "小明", "", "", ""} << "司马小明"
                                                    << QStringList{"司马", "小明", "", "", ""};
        QTest::newRow("chinese, cannot tell") << none << "中国工商银行股份有限公司"
                                              << QStringList{"中国工商银行股份有限公司", "", "", "", ""};
        QTest::newRow("western, prefix and suffix kept")
            << QStringList{"Smith", "John", "Quincy", "Dr.", "Jr."} << "Dr. John Q. Smith Jr."
            << QStringList{"Smith", "John", "Q.", "Dr.", "Jr."};
        QTest::newRow("western, suffix dropped") << QStringList{"Smith", "John", "Quincy", "Dr.", "Jr."}
                                                 << "Dr. John Smith" << QStringList{"Smith", "John", "", "Dr.", ""};
        QTest::newRow("western, family of words") << QStringList{"van der Berg", "Anna", "", "", ""}
                                                  << "Anne van der Berg"
                                                  << QStringList{"van der Berg", "Anne", "", "", ""};
        QTest::newRow("western, one word") << none << "Anna" << QStringList{"", "Anna", "", "", ""};
        QTest::newRow("emptied") << QStringList{"王", "小明", "", "", ""} << "" << none;
    }
    void structuredName() {
        QFETCH(QStringList, old);
        QFETCH(QString, name);
        QFETCH(QStringList, expected);
        QCOMPARE(cardpatch::structuredName(old, name), expected);
    }

private:
    DavServer& server(DavServer::Kind kind) {
        std::unique_ptr<DavServer>& slot = kind == DavServer::Kind::Radicale ? radicale_ : xandikos_;
        if (!slot)
            slot = std::make_unique<DavServer>(kind);
        return *slot;
    }
    std::unique_ptr<DavServer> radicale_, xandikos_;
    int cards_ = 0;
};

QTEST_GUILESS_MAIN(TestSyncPatch)
#include "tst_syncpatch.moc"
