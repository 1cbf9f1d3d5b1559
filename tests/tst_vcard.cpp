// The vCard and CSV readers and writers on their own: every reading rule, the five shared fixtures,
// broken cards, and the exact form of what the writers produce.
#include "core/exchange/BirthdayText.h"
#include "core/exchange/Csv.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/KeptText.h"
#include "core/exchange/VCardReader.h"
#include "core/store/FieldCatalogue.h"
#include "core/exchange/VCardWriter.h"

#include "support/TestFiles.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTest>
#include <QUrl>

namespace {

QByteArray fixture(const QString& name) {
    QFile file(vcardFixturePath(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

// A card of the given version around the given content lines (joined with CRLF).
QByteArray card(const QByteArray& version, const QByteArray& lines) {
    QByteArray body = lines;
    body.replace("\n", "\r\n");
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "\r\nEND:VCARD\r\n";
}

ImportRecord readOne(const QByteArray& data) {
    const ImportBatch batch = VCardReader::read(data);
    if (batch.records.size() != 1)
        qFatal("expected one card, got %d", int(batch.records.size()));
    return batch.records.front();
}

QString realworldFixtureFolder() {
    return QDir(qEnvironmentVariable("ZINTEVA_SOURCE_DIR")).absoluteFilePath(QStringLiteral("../shared/fixtures/realworld"));
}

// Everything a record carries, as one text, so that two readings of a file can be compared whole.
QString described(const ImportRecord& r) {
    QStringList parts{QString::number(r.number), r.error, r.groupName, r.uid, QString::fromLatin1(r.photoData.toBase64()),
                      r.photoExtension, r.photoReference, r.warnings.join(u'/'),
                      QString::number(r.ownCard) + QString::number(r.version4)};
    for (const KeptProperty& k : r.kept)
        parts << k.field + u'=' + k.line + u'=' + k.value;
    return parts.join(u'|');
}

// A file in memory that counts what is read from it: the furthest byte, every byte (a seek back reads
// some twice) and the largest read asked for.
class CountingDevice : public QIODevice {
public:
    explicit CountingDevice(QByteArray data) : data_(std::move(data)) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return data_.size(); }
    qint64 furthest = 0, total = 0, largestAsk = 0;

protected:
    qint64 readData(char* out, qint64 maxSize) override {
        largestAsk = std::max(largestAsk, maxSize);
        const qint64 n = std::clamp<qint64>(data_.size() - pos(), 0, maxSize);
        memcpy(out, data_.constData() + pos(), size_t(n));
        furthest = std::max(furthest, pos() + n);
        total += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
};

// The CSV reader's sizes for one test, put back afterwards.
struct CsvSizes {
    CsvSizes(qint64 piece, qint64 window, qsizetype openField) {
        csvdetail::readPiece = piece;
        csvdetail::windowBytes = window;
        csvdetail::openFieldChars = openField;
    }
    ~CsvSizes() {
        csvdetail::readPiece = 64 * 1024;
        csvdetail::windowBytes = 16 << 20;
        csvdetail::openFieldChars = 4 << 20;
    }
};

QString isoOrEmpty(const std::optional<QDate>& date) {
    return date ? date->toString(Qt::ISODate) : QString();
}

// A field of a record by a short name, so that data-driven rows can name what they check.
QString fieldOf(const ImportRecord& r, const QString& which) {
    const ContactFields& f = r.fields;
    if (which == u"name")
        return f.name;
    if (which == u"birthday")
        return isoOrEmpty(f.birthday);
    if (which == u"mobile")
        return f.mobile;
    if (which == u"work")
        return f.workPhone;
    if (which == u"home")
        return f.homePhone;
    if (which == u"fax")
        return f.fax;
    if (which == u"address")
        return f.address;
    if (which == u"postcode")
        return f.postcode;
    if (which == u"qq")
        return f.qq;
    if (which == u"icq")
        return f.icq;
    if (which == u"msn")
        return f.msn;
    if (which == u"email")
        return f.email;
    if (which == u"nickname")
        return f.nickname;
    if (which == u"remarks")
        return f.remarks;
    if (which == u"photo")
        return f.photo;
    if (which == u"group")
        return r.groupName;
    if (which == u"uid")
        return r.uid;
    if (which == u"photoData")
        return QString::fromLatin1(r.photoData.toHex());
    if (which == u"photoExtension")
        return r.photoExtension;
    if (which == u"error")
        return r.error;
    if (which == u"warnings")
        return r.warnings.join(u'|');
    if (which == u"values") {
        QStringList values;
        for (const TypedValue& value : f.values)
            values.append(QStringLiteral("%1:%2:%3").arg(QLatin1String(catalogue::info(value.field).id), value.label,
                                                         value.value));
        return values.join(u'|');
    }
    if (which == u"kept") {
        QStringList lines;
        for (const KeptProperty& kept : r.kept) {
            if (kept.field.isEmpty())
                lines.append(kept.line);
        }
        return lines.join(u'|');
    }
    qFatal("unknown field %s", qPrintable(which));
}

ContactFields everyField() {
    ContactFields f;
    f.name = QStringLiteral("张三, \"the\"; \\ name");
    f.birthday = QDate(1990, 5, 17);
    f.mobile = QStringLiteral("13800138000");
    f.workPhone = QStringLiteral("010-12345678,1"); // a pause in the number
    f.homePhone = QStringLiteral("010-87654321");
    f.fax = QStringLiteral("010-12345679");
    f.address = QStringLiteral("北京市海淀区中关村大街1号; 3层");
    f.postcode = QStringLiteral("100080");
    f.qq = QStringLiteral("123456789");
    f.icq = QStringLiteral("12345678");
    f.msn = QStringLiteral("zhangsan@hotmail.com");
    f.email = QStringLiteral("zs@example.com");
    f.nickname = QStringLiteral("小张");
    f.remarks = QStringLiteral("第一行\n第二行, 含逗号; 分号 \\ 反斜杠 ") + QString(300, QChar(u'长'));
    return f;
}

} // namespace

class TestVCard : public QObject {
    Q_OBJECT

private slots:
    // ---- the five fixtures of the issue ------------------------------------------------------

    void fixtureFull30() {
        const ImportRecord r = readOne(fixture(QStringLiteral("v30-full.vcf")));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("张三"));
        QCOMPARE(r.fields.nickname, QStringLiteral("小张"));
        QCOMPARE(r.fields.birthday, std::optional<QDate>(QDate(1990, 5, 17)));
        QCOMPARE(r.fields.qq, QStringLiteral("123456789"));
        QCOMPARE(r.fields.icq, QStringLiteral("12345678"));
        QCOMPARE(r.fields.msn, QStringLiteral("zhangsan@hotmail.com"));
        QCOMPARE(r.fields.mobile, QStringLiteral("13800138000"));
        QCOMPARE(r.fields.workPhone, QStringLiteral("010-12345678"));
        QCOMPARE(r.fields.fax, QStringLiteral("010-12345679")); // WORK,FAX is a fax
        QCOMPARE(r.fields.homePhone, QString());
        QCOMPARE(r.fields.address, QStringLiteral("人民路1号, 北京, 中国"));
        QCOMPARE(r.fields.postcode, QStringLiteral("100000"));
        QCOMPARE(r.fields.email, QStringLiteral("zs@example.com"));
        QCOMPARE(r.groupName, QStringLiteral("同学"));
        QCOMPARE(r.fields.remarks, QStringLiteral("备注, 含逗号\n第二行"));
        QCOMPARE(r.fields.photo, QString());
        QVERIFY(r.photoData.isEmpty());
        QCOMPARE(r.warnings, QStringList());
    }

    void fixtureQuotedPrintableSoftBreak21() {
        const ImportRecord r = readOne(fixture(QStringLiteral("v21-qp-softbreak.vcf")));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("张三"));
        QCOMPARE(r.fields.mobile, QStringLiteral("13800138000"));
        // 号 is split across the soft break (=E5=8F= / =B7): joined before decoding, it comes out whole.
        QCOMPARE(r.fields.address, QStringLiteral("人民路1号人民路1号, 北京"));
        QCOMPARE(r.fields.postcode, QStringLiteral("100000"));
        QCOMPARE(r.fields.qq, QStringLiteral("123456789"));
        QVERIFY(!r.fields.address.contains(QChar(QChar::ReplacementCharacter)));
    }

    void fixtureGb2312() {
        const ImportRecord r = readOne(fixture(QStringLiteral("v21-gb2312.vcf")));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("张三")); // from N, family name first without a blank
        QCOMPARE(r.fields.mobile, QStringLiteral("13800138000"));
    }

    void fixtureImpp40() {
        const ImportRecord r = readOne(fixture(QStringLiteral("v40-impp.vcf")));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("李四"));
        QCOMPARE(r.fields.birthday, std::optional<QDate>(QDate(1604, 5, 17)));
        QVERIFY(birthday::isYearless(*r.fields.birthday));
        QCOMPARE(r.fields.icq, QStringLiteral("12345678"));
        QCOMPARE(r.fields.msn, QStringLiteral("lisi@hotmail.com"));
        QCOMPARE(r.fields.qq, QStringLiteral("123456789"));
        QCOMPARE(r.fields.mobile, QStringLiteral("+86-138-0013-8000"));
        QCOMPARE(r.fields.email, QString()); // xmpp: has no place
    }

    void fixtureFoldedApple30() {
        const ImportRecord r = readOne(fixture(QStringLiteral("v30-folded-apple.vcf")));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("王五"));
        QCOMPARE(r.fields.remarks,
                 QStringLiteral("第一部分;分号 and a long line that is folded across two lines 中文折行"));
        QCOMPARE(r.fields.birthday, std::optional<QDate>(QDate(1604, 5, 17)));
        QCOMPARE(r.groupName, QStringLiteral("同学")); // the first of two categories
        QCOMPARE(r.photoData, QByteArray::fromBase64("R0lGODlhAQABAAAAADs="));
        QCOMPARE(r.photoExtension, QStringLiteral("gif"));
        QCOMPARE(r.fields.qq, QStringLiteral("123456")); // item1.IMPP: the group prefix is ignored
    }

    // ---- one rule per row ----------------------------------------------------------------------

    void mappingRules_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const QByteArray& data, const char* field, const QString& expected) {
            QTest::newRow(name) << data << QString::fromLatin1(field) << expected;
        };
        // names
        row("FN wins over N", card("3.0", "N:Smith;John;;;\nFN:Johnny"), "name", "Johnny");
        row("N when FN missing, latin", card("3.0", "N:Smith;John;Q;Dr.;Jr."), "name", "Dr. John Q Smith Jr.");
        row("N when FN missing, chinese", card("3.0", "N:欧阳;修;;;"), "name", "欧阳修");
        row("N when FN empty", card("3.0", "FN:\nN:李;四;;;"), "name", "李四");
        row("ORG when no name", card("3.0", "ORG:Acme\\, Inc.;Sales"), "name", "Acme, Inc.");
        row("escaped semicolon in N", card("3.0", "N:A\\;B;C;;;"), "name", "C A;B");
        row("FN keeps its blanks", card("3.0", "FN: 张三 "), "name", " 张三 ");
        // birthdays
        row("BDAY ISO", card("3.0", "FN:x\nBDAY:1990-05-17"), "birthday", "1990-05-17");
        row("BDAY basic", card("4.0", "FN:x\nBDAY:19900517"), "birthday", "1990-05-17");
        row("BDAY date-time", card("3.0", "FN:x\nBDAY:1990-05-17T08:30:00Z"), "birthday", "1990-05-17");
        row("BDAY basic date-time", card("4.0", "FN:x\nBDAY:19900517T083000"), "birthday", "1990-05-17");
        row("BDAY year-less basic", card("4.0", "FN:x\nBDAY:--0517"), "birthday", "1604-05-17");
        row("BDAY year-less extended", card("3.0", "FN:x\nBDAY:--05-17"), "birthday", "1604-05-17");
        row("BDAY year-less 29 Feb", card("4.0", "FN:x\nBDAY:--0229"), "birthday", "1604-02-29");
        row("BDAY Apple omit year", card("3.0", "FN:x\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-05-17"), "birthday",
            "1604-05-17");
        row("BDAY Apple other omit year", card("3.0", "FN:x\nBDAY;X-APPLE-OMIT-YEAR=1900:1900-05-17"), "birthday",
            "1604-05-17");
        row("BDAY Apple omit year, other year", card("3.0", "FN:x\nBDAY;X-APPLE-OMIT-YEAR=1604:1985-05-17"), "birthday",
            "1985-05-17");
        row("BDAY not a date", card("4.0", "FN:x\nBDAY;VALUE=text:circa 1800"), "birthday", "");
        row("BDAY not a date warns", card("4.0", "FN:x\nBDAY;VALUE=text:circa 1800"), "warnings",
            "生日 circa 1800 无法识别，已保存在其它资料中");
        // telephones
        row("TEL bare CELL", card("2.1", "FN:x\nTEL;CELL:1"), "mobile", "1");
        row("TEL TYPE=CELL", card("3.0", "FN:x\nTEL;TYPE=CELL:1"), "mobile", "1");
        row("TEL lower-case cell", card("4.0", "FN:x\nTEL;TYPE=cell:1"), "mobile", "1");
        row("TEL TYPE=a,b", card("3.0", "FN:x\nTEL;TYPE=WORK,VOICE:2"), "work", "2");
        row("TEL repeated TYPE=", card("3.0", "FN:x\nTEL;TYPE=HOME;TYPE=VOICE:3"), "home", "3");
        row("TEL quoted TYPE list", card("4.0", "FN:x\nTEL;TYPE=\"home,voice\":3"), "home", "3");
        row("TEL WORK,FAX is fax", card("3.0", "FN:x\nTEL;TYPE=WORK,FAX:4"), "fax", "4");
        row("TEL WORK,FAX not work", card("3.0", "FN:x\nTEL;TYPE=WORK,FAX:4"), "work", "");
        row("TEL HOME,FAX is fax", card("2.1", "FN:x\nTEL;HOME;FAX:4"), "fax", "4");
        row("TEL HOME,FAX not home", card("2.1", "FN:x\nTEL;HOME;FAX:4"), "home", "");
        row("TEL plain FAX", card("3.0", "FN:x\nTEL;TYPE=FAX:4"), "fax", "4");
        row("TEL 4.0 uri", card("4.0", "FN:x\nTEL;VALUE=uri;TYPE=cell:tel:+86-1"), "mobile", "+86-1");
        // A number fills only the column of its own kind; one of no column's kind is a typed value.
        row("TEL untyped fills no column", card("3.0", "FN:x\nTEL:5"), "mobile", "");
        row("TEL untyped a typed value", card("3.0", "FN:x\nTEL:5\nTEL;TYPE=CELL:1"), "values", "phone:其他:5");
        row("TEL untyped not work", card("3.0", "FN:x\nTEL:5\nTEL;TYPE=CELL:1"), "work", "");
        row("TEL CAR not home", card("3.0", "FN:x\nTEL;TYPE=CAR:6"), "home", "");
        row("TEL CAR a car phone", card("3.0", "FN:x\nTEL;TYPE=CAR:6"), "values", "phone:车载电话:6");
        row("TEL work pager not work", card("3.0", "FN:x\nTEL;TYPE=WORK,PAGER:7"), "work", "");
        row("TEL PREF alone not mobile", card("3.0", "FN:x\nTEL;TYPE=PREF,VOICE:8"), "mobile", "");
        row("TEL Apple label not home",
            card("3.0", "FN:x\nitem1.TEL;type=pref:9\nitem1.X-ABLabel:微信\nTEL;TYPE=HOME:3"), "home", "3");
        row("TEL Apple label 微信", card("3.0", "FN:x\nitem1.TEL;type=pref:9\nitem1.X-ABLabel:微信"), "values",
            "wechat::9");
        row("TEL preferred cell first", card("3.0", "FN:x\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL,PREF:2"), "mobile", "2");
        row("TEL 4.0 PREF param", card("4.0", "FN:x\nTEL;TYPE=cell:1\nTEL;TYPE=cell;PREF=1:2"), "mobile", "2");
        row("TEL second cell is a typed value", card("3.0", "FN:x\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL:2"), "values",
            "phone:手机:2");
        row("typed values leave the kept ones", card("3.0", "FN:x\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL:2\nORG:甲"), "kept", "");
        row("car phone", card("3.0", "FN:x\nTEL;TYPE=CELL:1\nTEL;TYPE=CAR:3"), "values", "phone:车载电话:3");
        row("WeChat", card("3.0", "FN:x\nX-WECHAT:wx_zhang"), "values", "wechat::wx_zhang");
        row("WeChat by IMPP", card("4.0", "FN:x\nIMPP:weixin:wx_li"), "values", "wechat::wx_li");
        row("WeChat by Apple's label", card("3.0", "FN:x\nitem1.TEL:wx1\nitem1.X-ABLabel:微信"), "values",
            "wechat::wx1");
        row("own label", card("3.0", "FN:x\nTEL;TYPE=CELL:1\nitem2.TEL:5\nitem2.X-ABLabel:老家"), "values",
            "phone:老家:5");
        row("Skype", card("3.0", "FN:x\nX-SKYPE:zw.skype"), "values", "im:skype:zw.skype");
        row("company and title", card("3.0", "FN:x\nORG:腾讯;研发部\nTITLE:工程师"), "values",
            "org::腾讯;研发部|title::工程师");
        row("second e-mail and address", card("3.0", "FN:x\nEMAIL:a@x.cn\nEMAIL;TYPE=WORK:b@x.cn\nADR:;;甲;;;;\n"
                                                     "ADR;TYPE=WORK:;;乙路1号;杭州;浙江;310000;中国"),
            "values", "otheremail:工作:b@x.cn|otheraddress:工作:;;乙路1号;杭州;浙江;310000;中国");
        row("TEL grouped", card("3.0", "FN:x\nitem2.TEL;TYPE=HOME:7\nitem2.X-ABLabel:home"), "home", "7");
        // addresses
        row("ADR joined", card("3.0", "FN:x\nADR:PO 1;Apt 2;1 Main St;Springfield;IL;62701;USA"), "address",
            "PO 1, Apt 2, 1 Main St, Springfield, IL, USA");
        row("ADR postcode", card("3.0", "FN:x\nADR:;;1 Main St;Springfield;IL;62701;USA"), "postcode", "62701");
        row("ADR escaped separators", card("3.0", "FN:x\nADR:;;Main St\\; Unit 1\\, rear;;;;"), "address",
            "Main St; Unit 1, rear");
        row("ADR preferred", card("3.0", "FN:x\nADR:;;a;;;;\nADR;TYPE=PREF:;;b;;;;"), "address", "b");
        row("ADR postcode only", card("3.0", "FN:x\nADR:;;;;;100000;"), "postcode", "100000");
        // the rest
        row("EMAIL", card("3.0", "FN:x\nEMAIL;TYPE=INTERNET:a@b.c"), "email", "a@b.c");
        row("EMAIL preferred", card("3.0", "FN:x\nEMAIL:a@b.c\nEMAIL;TYPE=INTERNET,PREF:p@b.c"), "email", "p@b.c");
        row("NICKNAME", card("3.0", "FN:x\nNICKNAME:小\\,张"), "nickname", "小,张");
        row("NOTE newline", card("3.0", "FN:x\nNOTE:a\\nb\\Nc"), "remarks", "a\nb\nc");
        row("NOTE two notes", card("3.0", "FN:x\nNOTE:a\nNOTE:b"), "remarks", "a\nb");
        row("NOTE 2.1 keeps backslash n", card("2.1", "FN:x\nNOTE:C:\\new"), "remarks", "C:\\new");
        row("CATEGORIES first", card("3.0", "FN:x\nCATEGORIES:同学,朋友"), "group", "同学");
        row("CATEGORIES escaped comma", card("3.0", "FN:x\nCATEGORIES:a\\,b,c"), "group", "a,b");
        row("CATEGORIES skips empty", card("3.0", "FN:x\nCATEGORIES:,c"), "group", "c");
        row("UID", card("3.0", "FN:x\nUID:zinteva-abc-friend1"), "uid", "zinteva-abc-friend1");
        // QQ, ICQ, MSN
        row("X-QQ", card("3.0", "FN:x\nX-QQ:1"), "qq", "1");
        row("X-ICQ", card("3.0", "FN:x\nX-ICQ:2"), "icq", "2");
        row("X-MSN", card("3.0", "FN:x\nX-MSN:m@h.com"), "msn", "m@h.com");
        row("X-MS-IMADDRESS", card("2.1", "FN:x\nX-MS-IMADDRESS:m@h.com"), "msn", "m@h.com");
        row("X-MS-IMADDRESS as URI", card("2.1", "FN:x\nX-MS-IMADDRESS:msnim:m@h.com"), "msn", "m@h.com");
        row("X-MSN kept as written", card("3.0", "FN:x\nX-MSN:msnim:m@h.com"), "msn", "msnim:m@h.com");
        row("IMPP qq:", card("4.0", "FN:x\nIMPP:qq:1"), "qq", "1");
        row("IMPP icq:", card("4.0", "FN:x\nIMPP:icq:2"), "icq", "2");
        row("IMPP aim: ICQ", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=ICQ:aim:2"), "icq", "2");
        row("IMPP aim: alone is AIM", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=AIM:aim:2"), "icq", "");
        row("IMPP msn:", card("4.0", "FN:x\nIMPP:msn:m@h.com"), "msn", "m@h.com");
        row("IMPP msnim:", card("4.0", "FN:x\nIMPP:msnim:m@h.com"), "msn", "m@h.com");
        row("IMPP msnim: chat", card("4.0", "FN:x\nIMPP:msnim:chat?contact=m@h.com"), "msn", "m@h.com");
        row("IMPP x-apple: QQ", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=QQ:x-apple:1"), "qq", "1");
        row("IMPP x-apple: ICQ", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=ICQ:x-apple:2"), "icq", "2");
        row("IMPP x-apple: MSN", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=MSN:x-apple:m@h.com"), "msn", "m@h.com");
        row("IMPP TYPE=QQ", card("3.0", "FN:x\nIMPP;TYPE=QQ:qq:1"), "qq", "1");
        row("IMPP TYPE=QQ bare handle", card("3.0", "FN:x\nIMPP;TYPE=QQ:1"), "qq", "1");
        row("IMPP percent-encoded", card("3.0", "FN:x\nIMPP;X-SERVICE-TYPE=MSN:msnim:m%40h.com"), "msn", "m@h.com");
        row("IMPP xmpp ignored", card("4.0", "FN:x\nIMPP:xmpp:a@b.c"), "warnings", "");
        row("X-QQ and IMPP agree", card("3.0", "FN:x\nX-QQ:1\nIMPP;X-SERVICE-TYPE=QQ:x-apple:1"), "warnings", "");
        row("second QQ kept", card("3.0", "FN:x\nX-QQ:1\nX-QQ:9"), "kept", "X-QQ:9");
        // photos
        row("PHOTO 3.0 b", card("3.0", "FN:x\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4A=="), "photoData", "ffd8ffe0");
        row("PHOTO 3.0 b extension", card("3.0", "FN:x\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4A=="), "photoExtension", "jpg");
        row("PHOTO 2.1 BASE64 bare type", card("2.1", "FN:x\nPHOTO;JPEG;ENCODING=BASE64:/9j/\n 4A==\n"), "photoData",
            "ffd8ffe0");
        row("PHOTO 2.1 unindented base64", card("2.1", "FN:x\nPHOTO;ENCODING=BASE64;TYPE=GIF:R0lGODlh\nAQABAAAAADs="),
            "photoExtension", "gif");
        row("PHOTO 4.0 data", card("4.0", "FN:x\nPHOTO:data:image/png;base64,iVBORw0KGgo="), "photoExtension", "png");
        row("PHOTO 4.0 data bytes", card("4.0", "FN:x\nPHOTO:data:image/png;base64,iVBORw0KGgo="), "photoData",
            "89504e470d0a1a0a");
        // a photo given by reference is never read: it stays a kept property, the 照片 column empty
        row("PHOTO uri kept", card("3.0", "FN:x\nPHOTO;VALUE=uri:http://example.com/a.jpg"), "kept",
            "PHOTO;VALUE=uri:http://example.com/a.jpg");
        row("PHOTO 4.0 uri kept", card("4.0", "FN:x\nPHOTO:https://example.com/a.jpg"), "kept",
            "PHOTO:https://example.com/a.jpg");
        row("PHOTO file uri not read", card("3.0", "FN:x\nPHOTO;VALUE=uri:file:///etc/passwd"), "photo", "");
        row("PHOTO file uri kept", card("3.0", "FN:x\nPHOTO;VALUE=uri:file:///etc/passwd"), "kept",
            "PHOTO;VALUE=uri:file:///etc/passwd");
        row("PHOTO path not read", card("3.0", "FN:x\nPHOTO;VALUE=uri:/proc/self/environ"), "photo", "");
        row("PHOTO bad base64 keeps the card", card("3.0", "FN:x\nPHOTO;ENCODING=b:@@@@"), "kept",
            "PHOTO;ENCODING=b:@@@@");
        row("PHOTO stray padding", card("2.1", "FN:x\nPHOTO;ENCODING=BASE64;TYPE=GIF:R0lGODlhAQABAAAAADs==\n="),
            "photoExtension", "gif");
        // encodings
        row("QP soft break in a character",
            card("2.1", "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=\n=A0=E4=B8=89"), "name", "张三");
        row("QP bare parameter", card("2.1", "FN;QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=BC=A0"), "name", "张");
        row("QP newline", card("2.1", "FN:x\nNOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab"), "remarks", "a\r\nb");
        row("QP lower-case hex", card("2.1", "FN;CHARSET=utf-8;ENCODING=quoted-printable:=e5=bc=a0"), "name", "张");
        row("CHARSET GBK", card("2.1", QByteArray("FN;CHARSET=GBK:\xD5\xC5\xC8\xFD")), "name", "张三");
        row("CHARSET GB18030 QP", card("2.1", "FN;CHARSET=GB18030;ENCODING=QUOTED-PRINTABLE:=D5=C5=C8=FD"), "name",
            "张三");
        row("CHARSET Big5", card("2.1", QByteArray("FN;CHARSET=Big5:\xB1\x69\xA4\x54")), "name", "張三");
        row("no CHARSET, GBK bytes", card("2.1", QByteArray("FN:\xD5\xC5\xC8\xFD")), "name", "张三");
        row("quoted parameter value", card("4.0", "FN:x\nTEL;TYPE=\"cell\";X-NOTE=\"a:b;c\":1"), "mobile", "1");
        row("folded 3.0 drops one blank", card("3.0", "FN:ab\n  cd"), "name", "ab cd");
        row("folded 2.1 keeps the blank", card("2.1", "FN:ab\n cd"), "name", "ab cd");
        row("folded tab", card("3.0", "FN:ab\n\tcd"), "name", "abcd");
        row("lower-case names", card("3.0", "fn:x\ntel;type=cell:1"), "mobile", "1");
        row("LF line ends", QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:lf\nEND:VCARD\n"), "name", "lf");
        row("CR line ends", QByteArray("BEGIN:VCARD\rVERSION:3.0\rFN:cr\rEND:VCARD\r"), "name", "cr");
        // names of cards without one, and the limits of the record form's boxes
        row("named from nickname", card("3.0", "NICKNAME:小王\nORG:公司\nEMAIL:a@b"), "name", "小王");
        row("named from ORG", card("3.0", "FN:\nN:;;;;\nORG:腾讯\nTEL;TYPE=CELL:1"), "name", "腾讯");
        row("named from e-mail", card("3.0", "EMAIL:a@b\nTEL:1"), "name", "a@b");
        row("named from phone", card("3.0", "TEL:1"), "name", "1");
        row("naming is told", card("3.0", "TEL:1"), "warnings", "没有姓名，以电话号码命名");
        row("nothing at all", card("3.0", "UID:1\nFN:"), "error", "名片中没有任何资料");
        row("long name cut", card("3.0", "FN:" + QByteArray(25, 'n')), "name", QString(20, u'n'));
        row("long name told", card("3.0", "FN:" + QByteArray(25, 'n')), "warnings",
            "姓名超过 20 个字，多出的部分保存在其它资料中");
        row("long email cut", card("3.0", "FN:x\nEMAIL:" + QByteArray(60, 'e')), "email", QString(50, u'e'));
        row("long name loses blank ends first", card("4.0", "FN:" + QByteArray(67, '\v') + "李四"), "name", "李四");
        row("trimmed long name not told", card("4.0", "FN:" + QByteArray(67, '\v') + "李四"), "warnings", "");
        row("long nickname of blanks", card("3.0", "FN:x\nNICKNAME:" + QByteArray(31, ' ') + "y"), "nickname", "y");
        row("no END is a warning", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\n", "warnings",
            "缺少 END:VCARD，名片可能不完整");
        row("CRLF marker", card("3.0", "FN:x\nNOTE;X-ZINTEVA-EOL=CRLF:a\\nb"), "remarks", "a\r\nb");
    }
    void mappingRules() {
        QFETCH(QByteArray, data);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        const ImportRecord r = readOne(data);
        if (field != u"error")
            QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(fieldOf(r, field), expected);
    }

    // Whole files: how many cards, their names, and the encoding assumed for undeclared 8-bit text.
    void fileRules_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("encoding");
        auto utf16 = [](const QString& text, bool bigEndian) {
            QByteArray out;
            for (const QChar c : text) {
                const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
                out +=
                    bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1} : QByteArray{&low, 1} + QByteArray{&high, 1};
            }
            return out;
        };
        const QString plain = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zoë 张\r\nEND:VCARD\r\n");
        QTest::newRow("nested: outer kept, inner own cards")
            << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:parent\nBEGIN:VCARD\nVERSION:2.1\nN:a\nEND:VCARD\n"
                          "BEGIN:VCARD\nN:b\nEND:VCARD\nTEL:1\nEND:VCARD\n")
            << "parent|a|b"
            << "";
        QTest::newRow("AGENT card is a card")
            << card("2.1", "FN:outer\nAGENT:\nBEGIN:VCARD\nFN:inner\nEND:VCARD\nTEL;CELL:1") << "outer|inner"
            << "";
        QTest::newRow("truncated card, then another")
            << QByteArray("BEGIN:VCARD\nFN:one\nBEGIN:VCARD\nFN:two\nEND:VCARD\n") << "one|two"
            << "";
        QTest::newRow("NUL padding before BEGIN")
            << QByteArray(64, '\0') + QByteArray("BEGIN:VCARD\r\nFN:x\r\nEND:VCARD\r\n") << "x"
            << "";
        QTest::newRow("UTF-16BE without BOM") << utf16(plain, true) << "Zoë 张"
                                              << "UTF-16";
        QTest::newRow("UTF-16LE without BOM") << utf16(plain, false) << "Zoë 张"
                                              << "UTF-16";
        QTest::newRow("windows-1252 without CHARSET")
            << card("2.1", "FN:Piotr Iksi\xF1ski\nADR:;;L\xE4mmerweg 12;M\xFCnchen;;;Deutschland\n"
                           "NOTE:Gr\xFC\xDF"
                           "e aus M\xFCnchen, sch\xF6ne Gr\xFC\xDF"
                           "e an die Familie M\xFCller")
            << "Piotr Iksiñski"
            << "windows-1252";
        QTest::newRow("GBK without CHARSET")
            << card("2.1", "FN:\xD5\xC5\xC8\xFD\nNOTE:\xCE\xD2\xC3\xC7\xB5\xC4\xC5\xF3\xD3\xD1\xD4\xDA\xB1\xB1\xBE\xA9")
            << "张三"
            << "GB18030";
    }
    void fileRules() {
        QFETCH(QByteArray, data);
        QFETCH(QString, names);
        QFETCH(QString, encoding);
        const ImportBatch batch = VCardReader::read(data);
        QStringList read;
        for (const ImportRecord& r : batch.records) {
            QVERIFY2(r.ok(), qPrintable(r.error));
            read.append(r.fields.name);
        }
        QCOMPARE(read.join(u'|'), names);
        QCOMPARE(batch.assumedEncoding, encoding);
    }

    // A file read from a device, a few bytes at a time (lines and CR LF pairs cut everywhere), gives
    // what the same bytes read whole give: records, their order, the encoding found.
    void streamedReadIsTheWholeRead_data() {
        fileRules_data();
        const QString text = QString::fromUtf8(card("3.0", "FN:张三\nNOTE:备注"));
        QStringEncoder le(QStringConverter::Utf16LE);
        QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + text.toUtf8() << "张三" << "";
        QTest::newRow("UTF-16LE BOM") << "\xFF\xFE" + QByteArray(le(text)) << "张三" << "UTF-16";
        QTest::newRow("UTF-8 cards, then GBK without CHARSET")
            << card("3.0", "FN:李四\nNOTE:一二三") + card("2.1", "FN:\xD5\xC5\xC8\xFD\nNOTE:\xCE\xD2\xC3\xC7\xB5\xC4")
            << "李四|张三" << "GB18030";
        QTest::newRow("lone CR line breaks") << QByteArray("BEGIN:VCARD\rVERSION:3.0\rFN:a\r b\rEND:VCARD\r") << "ab"
                                             << "";
        QTest::newRow("quoted-printable soft breaks")
            << card("2.1", "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=\n=E4=B8=89") << "张三" << "";
        QDir corpus(realworldFixtureFolder());
        for (const QString& name : corpus.entryList({QStringLiteral("*.vcf")}, QDir::Files)) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable(name)) << file.readAll() << QString() << QString();
        }
    }
    void streamedReadIsTheWholeRead() {
        QFETCH(QByteArray, data);
        const ImportBatch whole = VCardReader::read(data);
        for (const qint64 piece : {qint64(1), qint64(7), qint64(1) << 20}) {
            vcarddetail::readPiece = piece;
            QBuffer device(&data);
            QVERIFY(device.open(QIODevice::ReadOnly));
            std::vector<ImportRecord> records;
            const ImportBatch streamed =
                VCardReader::read(device, [&](ImportRecord&& record) { records.push_back(std::move(record)); });
            QVERIFY(streamed.error.isEmpty());
            QCOMPARE(streamed.assumedEncoding, whole.assumedEncoding);
            QCOMPARE(records.size(), whole.records.size());
            for (size_t i = 0; i < records.size(); ++i) {
                QCOMPARE(described(records[i]), described(whole.records[i]));
                QVERIFY(records[i].fields == whole.records[i].fields);
            }
            device.seek(0);
            QCOMPARE(VCardReader::countCards(device), int(whole.records.size()));
        }
        vcarddetail::readPiece = 1 << 20;
    }

    // A large file is not read whole before its first card comes out.
    void streamedReadHandsCardsOnEarly() {
        QByteArray data;
        for (int i = 0; i < 40000; ++i)
            data += card("3.0", "FN:王" + QByteArray::number(i) + "\nTEL;TYPE=CELL:139" + QByteArray::number(i));
        QBuffer device(&data);
        QVERIFY(device.open(QIODevice::ReadOnly));
        qint64 readAtFirst = -1;
        int cards = 0;
        VCardReader::read(device, [&](ImportRecord&&) {
            if (cards++ == 0)
                readAtFirst = device.pos();
        });
        QCOMPARE(cards, 40000);
        QVERIFY(readAtFirst > 0);
        QVERIFY2(readAtFirst <= (qint64(1) << 20) + 64 * 1024, qPrintable(QString::number(readAtFirst)));
        QVERIFY(data.size() > 2 * (qint64(1) << 20));
    }

    void byteOrderMarks_data() {
        QTest::addColumn<QByteArray>("data");
        const QString text = QString::fromUtf8(card("3.0", "FN:张三\nNOTE:备注"));
        QStringEncoder le(QStringConverter::Utf16LE), be(QStringConverter::Utf16BE);
        QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + text.toUtf8();
        QTest::newRow("UTF-16LE BOM") << "\xFF\xFE" + QByteArray(le(text));
        QTest::newRow("UTF-16BE BOM") << "\xFE\xFF" + QByteArray(be(text));
        QTest::newRow("none") << text.toUtf8();
    }
    void byteOrderMarks() {
        QFETCH(QByteArray, data);
        const ImportRecord r = readOne(data);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, QStringLiteral("张三"));
        QCOMPARE(r.fields.remarks, QStringLiteral("备注"));
    }

    // ---- broken cards ----------------------------------------------------------------------------

    // Cards other readers accept come in, with a warning for what could not be taken.
    void lenientCards_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("warning");
        QTest::newRow("missing END at end of file") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\n") << "张三"
                                                    << "缺少 END:VCARD，名片可能不完整";
        QTest::newRow("bad base64") << card("3.0", "FN:李四\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/*4A==") << "李四"
                                    << "照片的 base64 数据有误，未导入，已保存在其它资料中";
        QTest::newRow("bad data uri") << card("4.0", "FN:李四\nPHOTO:data:image/png;base64,@@@@") << "李四"
                                      << "照片的 base64 数据有误，未导入，已保存在其它资料中";
        QTest::newRow("unknown charset") << card("2.1", "FN:王五\nNOTE;CHARSET=X-NOWHERE-9:abc") << "王五"
                                         << "未知的字符集 X-NOWHERE-9，按 UTF-8 读取";
        QTest::newRow("unknown charset on the name") << card("2.1", "FN;CHARSET=X-NOWHERE-9:abc") << "abc"
                                                     << "未知的字符集 X-NOWHERE-9，按 UTF-8 读取";
    }
    void lenientCards() {
        QFETCH(QByteArray, data);
        QFETCH(QString, name);
        QFETCH(QString, warning);
        const ImportRecord r = readOne(data);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.name, name);
        QCOMPARE(r.warnings, QStringList{warning});
    }

    void goodAndDamagedMixed() {
        QByteArray data;
        data += card("3.0", "FN:一");
        data += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:二\r\n"; // no END: the cards after it are its own cards
        data += card("3.0", "FN:三\nPHOTO;ENCODING=b:###");
        data += "junk between cards\r\n";
        data += card("2.1", "FN:四\nNOTE;CHARSET=KLINGON:x");
        data += card("3.0", "FN:五");
        const ImportBatch batch = VCardReader::read(data);
        QCOMPARE(batch.records.size(), size_t(5));
        QStringList good;
        for (const ImportRecord& r : batch.records) {
            QVERIFY2(r.ok(), qPrintable(r.error));
            good.append(QStringLiteral("%1 %2").arg(r.number).arg(r.fields.name));
        }
        QCOMPARE(good, QStringList({"1 一", "2 二", "3 三", "4 四", "5 五"}));
        QCOMPARE(batch.records[1].warnings, QStringList{QStringLiteral("缺少 END:VCARD，名片可能不完整")});
        QCOMPARE(batch.records[2].photoData, QByteArray());
    }

    void emptyAndForeignFiles() {
        QVERIFY(VCardReader::read(QByteArray()).records.empty());
        QVERIFY(VCardReader::read("姓名,生日\r\n张三,1990-05-17\r\n").records.empty());
        QVERIFY(!VCardReader::looksLikeVCard("姓名,生日\r\n"));
        QVERIFY(VCardReader::looksLikeVCard("\xEF\xBB\xBF\r\nbegin:vcard\r\n"));
    }

    // A 10 MB note, folded as a writer would fold it, and once in a single line: read in linear time.
    void tenMegabyteNote_data() {
        QTest::addColumn<bool>("fold");
        QTest::newRow("folded") << true;
        QTest::newRow("one line") << false;
    }
    void tenMegabyteNote() {
        QFETCH(bool, fold);
        QString note;
        note.reserve(9'100'000);
        const QString chunk = QStringLiteral("长备注 with text\\, commas and escapes\\n");
        while (note.size() < 9'000'000)
            note += chunk;
        const QByteArray line = "NOTE:" + note.toUtf8();
        QByteArray data = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:长\r\n";
        data += fold ? VCardWriter::folded(line) : line + "\r\n";
        data += "END:VCARD\r\n";
        QVERIFY(data.size() > 10'000'000);
        const ImportRecord r = readOne(data);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.fields.remarks.size(),
                 note.size() - note.count(QStringLiteral("\\,")) - note.count(QStringLiteral("\\n")));
        QVERIFY(r.fields.remarks.startsWith(QStringLiteral("长备注 with text, commas and escapes\n")));
    }

    void manyCards() {
        QByteArray data;
        for (int i = 0; i < 10000; ++i)
            data += card("3.0",
                         QStringLiteral("FN:联系人%1\nTEL;TYPE=CELL:138%2").arg(i).arg(i, 8, 10, QChar(u'0')).toUtf8());
        const ImportBatch batch = VCardReader::read(data);
        QCOMPARE(batch.records.size(), size_t(10000));
        QCOMPARE(batch.records.back().fields.name, QStringLiteral("联系人9999"));
        QCOMPARE(batch.records.back().number, 10000);
    }

    // ---- birthdays --------------------------------------------------------------------------------

    void birthdayForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("iso") << "1990-05-17"
                             << "1990-05-17";
        QTest::newRow("basic") << "19900517"
                               << "1990-05-17";
        QTest::newRow("slashes") << "1990/5/7"
                                 << "1990-05-07";
        QTest::newRow("dots") << "1990.05.17"
                              << "1990-05-17";
        QTest::newRow("chinese") << "1990年5月17日"
                                 << "1990-05-17";
        QTest::newRow("chinese year-less") << "5月17日"
                                           << "1604-05-17";
        QTest::newRow("year 0000") << "0000-05-17"
                                   << "1604-05-17";
        QTest::newRow("date-time with zone") << "1990-05-17T23:30:00+08:00"
                                             << "1990-05-17";
        QTest::newRow("date and time with blank") << "1990-05-17 00:00:00"
                                                  << "1990-05-17";
        QTest::newRow("year-less basic") << "--0517"
                                         << "1604-05-17";
        QTest::newRow("year-less extended") << "--05-17"
                                            << "1604-05-17";
        QTest::newRow("year-less with time") << "--0517T120000"
                                             << "1604-05-17";
        QTest::newRow("no such day") << "1990-02-30"
                                     << "";
        QTest::newRow("no such year-less day") << "--0230"
                                               << "";
        QTest::newRow("year only") << "1990"
                                   << "";
        QTest::newRow("year and month") << "1990-05"
                                        << "";
        QTest::newRow("day only") << "---17"
                                  << "";
        QTest::newRow("words") << "tomorrow"
                               << "";
    }
    void birthdayForms() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(isoOrEmpty(birthday::parse(text)), expected);
    }

    void birthdayWrittenForms() {
        QCOMPARE(birthday::format(QDate(1990, 5, 17), birthday::Style::Extended), QStringLiteral("1990-05-17"));
        QCOMPARE(birthday::format(QDate(1990, 5, 17), birthday::Style::Basic), QStringLiteral("19900517"));
        QCOMPARE(birthday::format(QDate(1604, 5, 17), birthday::Style::Extended), QStringLiteral("--05-17"));
        QCOMPARE(birthday::format(QDate(1604, 2, 29), birthday::Style::Basic), QStringLiteral("--0229"));
        QCOMPARE(birthday::format(QDate(987, 1, 2), birthday::Style::Extended), QStringLiteral("0987-01-02"));
    }

    // ---- the writer --------------------------------------------------------------------------------

    void writes30Exactly() {
        ContactFields f;
        f.name = QStringLiteral("张三");
        f.birthday = QDate(1990, 5, 17);
        f.mobile = QStringLiteral("13800138000");
        f.workPhone = QStringLiteral("010-1");
        f.homePhone = QStringLiteral("010-2");
        f.fax = QStringLiteral("010-3");
        f.address = QStringLiteral("人民路1号");
        f.postcode = QStringLiteral("100000");
        f.qq = QStringLiteral("123");
        f.icq = QStringLiteral("456");
        f.msn = QStringLiteral("a@b.c");
        f.email = QStringLiteral("zs@example.com");
        f.nickname = QStringLiteral("小张");
        f.remarks = QStringLiteral("a,b;c\nd");
        ExportCard c{f, QStringLiteral("同学"), QStringLiteral("zinteva-0123456789abcdef-friend1"),
                     QByteArray::fromBase64("R0lGODlhAQABAAAAADs="), QString()};
        const QByteArray expected = "BEGIN:VCARD\r\n"
                                    "VERSION:3.0\r\n"
                                    "PRODID:-//zinteva//zinteva//ZH\r\n"
                                    "FN:张三\r\n"
                                    "N:张三;;;;\r\n"
                                    "NICKNAME:小张\r\n"
                                    "BDAY:1990-05-17\r\n"
                                    "TEL;TYPE=CELL:13800138000\r\n"
                                    "TEL;TYPE=WORK,VOICE:010-1\r\n"
                                    "TEL;TYPE=HOME,VOICE:010-2\r\n"
                                    "TEL;TYPE=FAX:010-3\r\n"
                                    "ADR:;;人民路1号;;;100000;\r\n"
                                    "EMAIL;TYPE=INTERNET:zs@example.com\r\n"
                                    "X-QQ:123\r\n"
                                    "IMPP;X-SERVICE-TYPE=QQ:x-apple:123\r\n"
                                    "X-ICQ:456\r\n"
                                    "IMPP;X-SERVICE-TYPE=ICQ:aim:456\r\n"
                                    "X-MSN:a@b.c\r\n"
                                    "IMPP;X-SERVICE-TYPE=MSN:msnim:a@b.c\r\n"
                                    "NOTE:a\\,b\\;c\\nd\r\n"
                                    "CATEGORIES:同学\r\n"
                                    "PHOTO;ENCODING=b;TYPE=GIF:R0lGODlhAQABAAAAADs=\r\n"
                                    "UID:zinteva-0123456789abcdef-friend1\r\n"
                                    "END:VCARD\r\n";
        QCOMPARE(VCardWriter::write(c, VCardVersion::V30), expected);
    }

    void writes40Exactly() {
        ContactFields f;
        f.name = QStringLiteral("李四");
        f.birthday = QDate(1604, 5, 17);
        f.mobile = QStringLiteral("1");
        f.fax = QStringLiteral("2");
        f.email = QStringLiteral("l@s.cn");
        ExportCard c{f, QString(), QString(), QByteArray::fromBase64("iVBORw0KGgo="), QString()};
        const QByteArray expected = "BEGIN:VCARD\r\n"
                                    "VERSION:4.0\r\n"
                                    "PRODID:-//zinteva//zinteva//ZH\r\n"
                                    "FN:李四\r\n"
                                    "N:李四;;;;\r\n"
                                    "BDAY:--0517\r\n"
                                    "TEL;TYPE=cell:1\r\n"
                                    "TEL;TYPE=fax:2\r\n"
                                    "EMAIL:l@s.cn\r\n"
                                    "PHOTO:data:image/png;base64,iVBORw0KGgo=\r\n"
                                    "END:VCARD\r\n";
        QCOMPARE(VCardWriter::write(c, VCardVersion::V40), expected);
    }

    void writesYearlessAndPhotoReferences() {
        ContactFields f;
        f.name = QStringLiteral("x");
        f.birthday = QDate(1604, 2, 29);
        f.photo = QStringLiteral("/no/such/照片.jpg");
        ExportCard c{f, {}, {}, {}, {}};
        const QByteArray v3 = VCardWriter::write(c, VCardVersion::V30);
        QVERIFY(v3.contains("\r\nBDAY:--02-29\r\n"));
        QVERIFY(v3.contains("\r\nPHOTO;VALUE=uri:file:///no/such/%E7%85%A7%E7%89%87.jpg\r\n"));
        const QByteArray v4 = VCardWriter::write(c, VCardVersion::V40);
        QVERIFY(v4.contains("\r\nBDAY:--0229\r\n"));
        QVERIFY(v4.contains("\r\nPHOTO:file:///no/such/%E7%85%A7%E7%89%87.jpg\r\n"));
        c.fields.photo = QStringLiteral("C:/照片/a.jpg"); // a Windows path, not the scheme "c"
        QVERIFY(VCardWriter::write(c, VCardVersion::V30)
                    .contains("\r\nPHOTO;VALUE=uri:file:///C:/%E7%85%A7%E7%89%87/a.jpg\r\n"));
        c.fields.photo = QStringLiteral("http://example.com/a.jpg");
        QVERIFY(VCardWriter::write(c, VCardVersion::V30).contains("\r\nPHOTO;VALUE=uri:http://example.com/a.jpg\r\n"));
        // read back: the year-less birthday comes back; the path is never read, it stays a kept property
        for (VCardVersion version : {VCardVersion::V30, VCardVersion::V40}) {
            c.fields.photo = QStringLiteral("/no/such/照片.jpg");
            const ImportRecord r = readOne(VCardWriter::write(c, version));
            QCOMPARE(r.fields.photo, QString());
            QVERIFY(fieldOf(r, QStringLiteral("kept")).contains(QStringLiteral("file:///no/such/")));
            QCOMPARE(r.fields.birthday, c.fields.birthday);
        }
    }

    // Cards and rows are built as UTF-8 in place: the bytes are those of the text made first and
    // converted after, for every kind of character (a lone surrogate becomes '?' either way).
    void bytesBuiltInPlaceAsTheText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("escapes") << QStringLiteral("a;b,c\\d\r\ne\rf\ng");
        QTest::newRow("long Chinese, folded") << QString(60, QChar(u'长')) + QStringLiteral("é");
        QTest::newRow("pairs") << QStringLiteral("𠀀😀x");
        QTest::newRow("lone high, then text") << QString(QChar(0xD800)) + QStringLiteral("ab");
        QTest::newRow("lone low") << QStringLiteral("a") + QChar(0xDC00);
        QTest::newRow("high at the end") << QStringLiteral("a") + QChar(0xD83D);
        QTest::newRow("quotes and formula") << QStringLiteral("=\"x\", y ");
        QTest::newRow("leading blank, number") << QStringLiteral(" -5");
        QTest::newRow("IMPP percent") << QStringLiteral("a b/c@d+é~_");
    }
    void bytesBuiltInPlaceAsTheText() {
        QFETCH(QString, text);
        ContactFields f;
        f.name = text;
        f.remarks = text;
        f.msn = text;
        const QByteArray card = VCardWriter::write(ExportCard{f, text, {}, {}, {}}, VCardVersion::V30);
        for (const QString& line :
             {"FN:" + VCardWriter::escapedText(text), "NOTE:" + VCardWriter::escapedText(text),
              "CATEGORIES:" + VCardWriter::escapedText(text),
              "IMPP;X-SERVICE-TYPE=MSN:msnim:" + QString::fromLatin1(QUrl::toPercentEncoding(text, "@.-_~+"))})
            QVERIFY2(card.contains("\r\n" + VCardWriter::folded(line.toUtf8())), qPrintable(line));
        const CsvContact row{f, text, text};
        QCOMPARE(CsvFile::headBytes(CsvFile::Encoding::Utf8WithBom) +
                     *CsvFile::rowBytes(row, CsvFile::Encoding::Utf8WithBom),
                 CsvFile::write({row}));
    }

    void foldsAt75OctetsWithoutSplittingCharacters_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("ascii") << QString(500, QChar(u'a'));
        QTest::newRow("chinese") << QString(200, QChar(u'长'));
        QTest::newRow("mixed offset 1") << QStringLiteral("a") + QString(200, QChar(u'长'));
        QTest::newRow("mixed offset 2") << QStringLiteral("ab") + QString(200, QChar(u'长'));
        QTest::newRow("four-byte") << QString::fromUtf8("\xF0\xA0\x80\x80").repeated(100) + u'x';
        QTest::newRow("exactly 75") << QString(70, QChar(u'a'));
        QTest::newRow("short") << QStringLiteral("a");
    }
    void foldsAt75OctetsWithoutSplittingCharacters() {
        QFETCH(QString, value);
        const QByteArray line = "NOTE:" + value.toUtf8();
        const QByteArray out = VCardWriter::folded(line);
        QVERIFY(out.endsWith("\r\n"));
        const QList<QByteArray> lines = out.chopped(2).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QByteArray l = lines[i];
            if (i + 1 < lines.size()) {
                QVERIFY(l.endsWith('\r'));
                l.chop(1);
            }
            QVERIFY2(l.size() <= 75, qPrintable(QString::number(l.size())));
            if (i > 0)
                QVERIFY(l.startsWith(' '));
            QVERIFY(!QString::fromUtf8(l).contains(QChar(QChar::ReplacementCharacter)));
        }
        QVERIFY(!out.contains("\n\n") && !out.contains("\r\r"));
        // unfolded, it is the line again
        QByteArray unfolded = out;
        unfolded.replace("\r\n ", "");
        QCOMPARE(unfolded, line + "\r\n");
    }

    void escapesText() {
        QCOMPARE(VCardWriter::escapedText(QStringLiteral("a\\b,c;d\ne\r\nf")),
                 QStringLiteral("a\\\\b\\,c\\;d\\ne\\nf"));
    }

    // Whatever the writer writes, the reader reads back as it was.
    void writerReaderRoundTrip_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("3.0") << int(VCardVersion::V30);
        QTest::newRow("4.0") << int(VCardVersion::V40);
    }
    void writerReaderRoundTrip() {
        QFETCH(int, version);
        std::vector<ExportCard> cards;
        ContactFields full = everyField();
        cards.push_back({full, QStringLiteral("同学, 朋友; 其他"), QStringLiteral("uid-1"),
                         QByteArray::fromBase64("/9j/4AAQSkZJRgABAQ") + QByteArray(3000, '\x7f'), QString()});
        ContactFields sparse;
        sparse.name = QStringLiteral("只有名字");
        sparse.birthday = QDate(1604, 12, 31);
        cards.push_back({sparse, {}, {}, {}, {}});
        ContactFields weird;
        weird.name = QString();
        weird.postcode = QStringLiteral("100000");
        weird.qq = QStringLiteral("a b/c?d");
        weird.msn = QStringLiteral("x,y@z");
        weird.photo = QStringLiteral("https://example.com/p.jpg?a=1,2;b");
        cards.push_back({weird, {}, {}, {}, {}});

        const QByteArray data = VCardWriter::write(cards, VCardVersion(version));
        const ImportBatch batch = VCardReader::read(data);
        QCOMPARE(batch.records.size(), cards.size());
        for (size_t i = 0; i < cards.size(); ++i) {
            const ImportRecord& r = batch.records[i];
            QVERIFY2(r.ok(), qPrintable(r.error));
            ContactFields expected = cards[i].fields;
            expected.photo.clear(); // a photo by reference is not read back
            QCOMPARE(r.fields, expected);
            QCOMPARE(r.groupName, cards[i].groupName);
            QCOMPARE(r.uid, cards[i].uid);
            QCOMPARE(r.photoData, cards[i].photoData);
            if (cards[i].fields.photo.isEmpty())
                QCOMPARE(r.warnings, QStringList());
        }
    }

    // Kept properties as the "其它资料" list shows them.
    void keptPropertiesShown_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::newRow("organisation") << "ORG:腾讯;研发部" << "单位" << "腾讯, 研发部";
        QTest::newRow("typed phone") << "item1.TEL;TYPE=WORK,VOICE:+86 10 1234" << "电话（工作）" << "+86 10 1234";
        QTest::newRow("escapes undone") << "NOTE:a\\,b\\nc" << "备注" << "a,b\nc";
        QTest::newRow("address parts") << "ADR;TYPE=HOME:;;Lämmerweg 12;München;;80331;" << "地址（家庭）"
                                       << "Lämmerweg 12, München, 80331";
        QTest::newRow("a CSV column") << "X-ZINTEVA-CSV;X-COLUMN=\"Yomi Name\":ヤマダ" << "Yomi Name" << "ヤマダ";
        QTest::newRow("instant messaging") << "IMPP;X-SERVICE-TYPE=WeChat:x-apple:wxid" << "即时通讯（WeChat）"
                                           << "x-apple:wxid";
        QTest::newRow("binary") << "LOGO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=" << "标志（PNG）" << "（8 字节的数据）";
        QTest::newRow("unknown name") << "X-FOO:bar" << "X-FOO" << "bar";
    }
    void keptPropertiesShown() {
        QFETCH(QString, line);
        QFETCH(QString, label);
        QFETCH(QString, text);
        const kepttext::Shown shown = kepttext::describe({QString(), line, QString()});
        QCOMPARE(shown.label, label);
        QCOMPARE(shown.text, text);
    }

    // ---- CSV --------------------------------------------------------------------------------------

    void csvHeaderIsTheListsTitles() {
        QCOMPARE(CsvFile::header(),
                 QStringList({"姓名", "生日", "移动电话", "工作电话", "家庭电话", "传真号码", "地址", "邮政编码",
                              "QQ号码", "ICQ号码", "MSN", "邮件地址", "昵称", "备注", "农历生日", "分组", "照片", "UID"}));
        const QByteArray bytes = CsvFile::write({});
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF姓名,生日,移动电话,"));
        QVERIFY(bytes.endsWith("分组,照片,UID\r\n"));
    }

    void csvQuoting() {
        const std::vector<QStringList> rows =
            CsvFile::parse(QStringLiteral("a,\"b,c\",\"d\"\"e\",\"f\r\ng\",,h\r\n\r\nlast,\"\""));
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows[0], QStringList({"a", "b,c", "d\"e", "f\r\ng", "", "h"}));
        QCOMPARE(rows[1], QStringList({""}));
        QCOMPARE(rows[2], QStringList({"last", ""}));
    }

    void csvRoundTrip_data() {
        QTest::addColumn<int>("encoding");
        QTest::newRow("UTF-8 with BOM") << int(CsvFile::Encoding::Utf8WithBom);
        QTest::newRow("GBK") << int(CsvFile::Encoding::Gbk);
    }
    void csvRoundTrip() {
        QFETCH(int, encoding);
        ContactFields full = everyField();
        full.remarks = QStringLiteral("第一行\r\n第二行, \"引号\"");
        full.photo = QStringLiteral("/tmp/照片.jpg");
        ContactFields yearless;
        yearless.name = QStringLiteral(" 空格 ");
        yearless.birthday = QDate(1604, 5, 17);
        yearless.mobile = QStringLiteral("+86 138");
        const std::vector<CsvContact> contacts = {{full, QStringLiteral("同学")}, {yearless, QString()}};
        const QByteArray bytes = CsvFile::write(contacts, CsvFile::Encoding(encoding));
        if (CsvFile::Encoding(encoding) == CsvFile::Encoding::Gbk) {
            QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
            QVERIFY(bytes.startsWith("\xD0\xD5\xC3\xFB,")); // 姓名 in GBK
        }
        const ImportBatch batch = CsvFile::read(bytes);
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.records.size(), contacts.size());
        for (size_t i = 0; i < contacts.size(); ++i) {
            QCOMPARE(batch.records[i].number, int(i + 1));
            ContactFields expected = contacts[i].fields;
            QCOMPARE(batch.records[i].photoReference, expected.photo); // taken by the importer, if at all
            expected.photo.clear();
            QCOMPARE(batch.records[i].fields, expected);
            QCOMPARE(batch.records[i].groupName, contacts[i].groupName);
        }
        QVERIFY(bytes.contains("--05-17"));
    }

    // Cells a spreadsheet would run as formulas get a leading ', plain and telephone numbers excepted; this
    // program's own CSV comes back exactly.
    void csvFormulasNeutralised_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("written");
        QTest::newRow("equals") << "=HYPERLINK(\"http://x\")" << "'=HYPERLINK(\"http://x\")";
        QTest::newRow("plus text") << "+cmd|' /C calc'!A0" << "'+cmd|' /C calc'!A0";
        QTest::newRow("minus") << "-x" << "'-x";
        QTest::newRow("sum after minus") << "-3+4" << "'-3+4";
        QTest::newRow("cell after minus") << "-A1" << "'-A1";
        QTest::newRow("sum after plus") << "+1+1" << "'+1+1";
        QTest::newRow("negative number") << "-5" << "-5";
        QTest::newRow("negative fraction") << "-0.5" << "-0.5";
        QTest::newRow("lone minus") << "-" << "-";
        QTest::newRow("birthday without its year") << "--05-17" << "--05-17";
        QTest::newRow("mobile with country code") << "+86 138 0000 0000" << "+86 138 0000 0000";
        QTest::newRow("at") << "@SUM(1)" << "'@SUM(1)";
        QTest::newRow("tab") << "\tx" << "'\tx";
        QTest::newRow("quote") << "'kept" << "''kept";
        QTest::newRow("phone number") << "+86 (10) 1234-5678" << "+86 (10) 1234-5678";
        QTest::newRow("plain") << "张三" << "张三";
    }
    void csvFormulasNeutralised() {
        QFETCH(QString, cell);
        QFETCH(QString, written);
        CsvContact c;
        c.fields.name = QStringLiteral("x");
        c.fields.remarks = cell;
        c.fields.mobile = cell;
        const QByteArray bytes = CsvFile::write({c});
        const std::vector<QStringList> rows = CsvFile::parse(QString::fromUtf8(bytes.mid(3)));
        QCOMPARE(rows.at(1).at(13), written); // 备注
        const ImportBatch batch = CsvFile::read(bytes);
        QCOMPARE(batch.records.size(), size_t(1));
        QCOMPARE(batch.records[0].fields.remarks, cell);
        QCOMPARE(batch.records[0].fields.mobile, cell.left(30));
    }

    void csvUnclosedQuoteBreaksOneRow() {
        std::vector<size_t> broken;
        const std::vector<QStringList> rows =
            CsvFile::parse(QStringLiteral("姓名,备注\r\n甲,\"open\r\n乙,2\r\n丙,3\r\n"), u',', &broken);
        QCOMPARE(rows.size(), size_t(4));
        QCOMPARE(broken, std::vector<size_t>{1});
        QCOMPARE(rows[2], QStringList({"乙", "2"}));
        const ImportBatch batch = CsvFile::read("姓名,备注\r\n甲,\"open\r\n乙,2\r\n丙,3\r\n");
        QCOMPARE(batch.records.size(), size_t(3));
        QVERIFY(!batch.records[0].ok());
        QCOMPARE(batch.records[1].fields.name, QStringLiteral("乙"));
        QCOMPARE(batch.records[2].fields.name, QStringLiteral("丙"));
    }

    void csvGbkIsStrict() {
        CsvContact chinese, german;
        chinese.fields.name = QStringLiteral("张三");
        german.fields.name = QStringLiteral("Jürgen Äßñ");
        QCOMPARE(CsvFile::unencodable({chinese, german}, CsvFile::Encoding::Gbk), std::vector<size_t>{1});
        QVERIFY(CsvFile::unencodable({chinese, german}, CsvFile::Encoding::Gb18030).empty());
    }

    // One invalid byte does not make the whole file GB18030: the detector reads it as a whole.
    void csvEncodingDetected() {
        QByteArray latin = "Name,Notes\r\nJ\xFCrgen M\xFCller,Sch\xF6ne Gr\xFC\xDF" "e aus M\xFCnchen und K\xF6ln\r\n";
        const ImportBatch batch = CsvFile::read(latin);
        QCOMPARE(batch.assumedEncoding, QStringLiteral("windows-1252"));
        QCOMPARE(batch.records.at(0).fields.name, QStringLiteral("Jürgen Müller"));
    }

    // Most rows decide: a UTF-8 file with one stray byte stays UTF-8 (that row says so), a GBK file
    // stays GBK although one of its rows happens to be valid UTF-8.
    void csvEncodingByMostRows_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("assumed");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("warned");
        QByteArray utf8 = "姓名,备注\r\n";
        QStringList names;
        for (int i = 0; i < 5; ++i) {
            utf8 += "张三" + QByteArray::number(i) + ",北京\r\n";
            names << QStringLiteral("张三%1").arg(i);
        }
        utf8.replace("张三3,", "\xFF\xFE" "3,");
        names[3] = QStringLiteral("\uFFFD\uFFFD3");
        QTest::newRow("UTF-8, one stray byte") << utf8 << QString() << names << 3;
        QStringEncoder gbk("GBK");
        QByteArray chinese = gbk(QStringLiteral("Name,Notes\r\n张三,北京市朝阳区建国路八十八号\r\n"));
        chinese += "\xC3\xA4,2\r\n"; // 盲 in GBK, ä in UTF-8
        chinese += gbk(QStringLiteral("李四,上海市浦东新区世纪大道一百号\r\n王五,广州市天河区体育西路\r\n"));
        QTest::newRow("GBK, one row valid as UTF-8")
            << chinese << "GB18030" << QStringList({"张三", "盲", "李四", "王五"}) << -1;
    }
    void csvEncodingByMostRows() {
        QFETCH(QByteArray, data);
        QFETCH(QString, assumed);
        QFETCH(QStringList, names);
        QFETCH(int, warned);
        const ImportBatch batch = CsvFile::read(data);
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.assumedEncoding, assumed);
        QCOMPARE(int(batch.records.size()), int(names.size()));
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(batch.records[size_t(i)].fields.name, names[i]);
            QCOMPARE(batch.records[size_t(i)].warnings.size(), i == warned ? 1 : 0);
        }
    }

    void csvFromOtherPrograms() {
        const QByteArray semicolons = "Name;Mobile Phone;E-mail Address;Birthday;Notes;Whatever\r\n"
                                      "Ann;123;ann@x.org;1980/1/2;\"multi\nline\";ignored\r\n"
                                      ";;;;;\r\n"
                                      "Bob;456\r\n";
        const ImportBatch batch = CsvFile::read(semicolons);
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.records.size(), size_t(2));
        QCOMPARE(batch.records[0].fields.name, QStringLiteral("Ann"));
        QCOMPARE(batch.records[0].fields.mobile, QStringLiteral("123"));
        QCOMPARE(batch.records[0].fields.email, QStringLiteral("ann@x.org"));
        QCOMPARE(batch.records[0].fields.birthday, std::optional<QDate>(QDate(1980, 1, 2)));
        QCOMPARE(batch.records[0].fields.remarks, QStringLiteral("multi\nline"));
        QCOMPARE(batch.records[1].number, 3); // the blank row keeps its place
        QCOMPARE(batch.records[1].fields.mobile, QStringLiteral("456"));

        const QByteArray gbk = QByteArray("\xD0\xD5\xC3\xFB,\xCA\xD6\xBB\xFA\r\n\xD5\xC5\xC8\xFD,1\r\n"); // 姓名,手机
        const ImportBatch g = CsvFile::read(gbk);
        QCOMPARE(g.records.size(), size_t(1));
        QCOMPARE(g.records[0].fields.name, QStringLiteral("张三"));
        QCOMPARE(g.records[0].fields.mobile, QStringLiteral("1"));

        QVERIFY(!CsvFile::read("a,b\r\n1,2\r\n").error.isEmpty()); // no name column
        QVERIFY(!CsvFile::read("").error.isEmpty());
    }

    // The rows come out the same whatever the pieces the file is read in: line breaks, quote pairs and
    // characters cut between pieces, open quoted fields longer than what is held.
    void csvReadInPiecesGivesTheSameRecords_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("records");
        ContactFields full = everyField();
        full.remarks = QStringLiteral("第一行\r\n第二行, \"引号\"");
        ContactFields other;
        other.name = QStringLiteral("李四");
        other.remarks = QStringLiteral("\"\"\n'=1");
        const std::vector<CsvContact> contacts = {{full, QStringLiteral("同学")}, {other, QString()}};
        QTest::newRow("own, UTF-8") << CsvFile::write(contacts) << 2;
        QTest::newRow("own, GBK") << CsvFile::write(contacts, CsvFile::Encoding::Gbk) << 2;
        const QString ascii = QStringLiteral("Name,Notes\r\nAnn,\"multi\r\nline \"\"q\"\"\"\r\nBob,x\r\n\r\nCy,\"\"\r\n");
        QStringEncoder le(QStringConverter::Utf16LE), be(QStringConverter::Utf16BE), le32(QStringConverter::Utf32LE);
        QTest::newRow("UTF-16LE with mark") << "\xFF\xFE" + QByteArray(le(ascii)) << 3;
        QTest::newRow("UTF-16BE without") << QByteArray(be(ascii)) << 3;
        QTest::newRow("UTF-32LE with mark") << QByteArray("\xFF\xFE\0\0", 4) + QByteArray(le32(ascii)) << 3;
        QTest::newRow("unclosed quote") << QByteArray("姓名,备注\r\n甲,\"open\r\n乙,\"\"\r\n丙,3\r\n") << 3;
        QTest::newRow("unclosed at the end") << QByteArray("姓名,备注\r\n甲,1\r\n乙,\"open") << 2;
        QTest::newRow("quote at the very end") << QByteArray("姓名,备注\r\n甲,\"") << 1;
        QTest::newRow("lone CRs, semicolons") << QByteArray("姓名;备注\r甲;\"a\"\"b\"\r\r乙;\"c\rd\"\r") << 2;
        QTest::newRow("long quoted field") << QByteArray("姓名,备注\r\n甲,\"0123456789\r\nabcdef\"\r\n乙,2") << 2;
        QTest::newRow("windows-1252") << QByteArray("Name,Notes\r\nJ\xFCrgen M\xFCller,Sch\xF6ne Gr\xFC\xDF" "e aus K\xF6ln\r\n")
                                      << 1;
    }
    void csvReadInPiecesGivesTheSameRecords() {
        QFETCH(QByteArray, data);
        QFETCH(int, records);
        const ImportBatch whole = CsvFile::read(data);
        QCOMPARE(whole.error, QString());
        QCOMPARE(int(whole.records.size()), records);
        const struct {
            qint64 piece;
            qsizetype openField;
        } sizes[] = {{1, 4 << 20}, {2, 3}, {3, 1}, {5, 8}, {7, 4 << 20}};
        for (const auto& size : sizes) {
            const CsvSizes set(size.piece, 16 << 20, size.openField);
            CountingDevice device(data);
            QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
            CsvReader reader(device);
            QCOMPARE(reader.assumedEncoding(), whole.assumedEncoding);
            QCOMPARE(reader.countRecords(), records);
            std::vector<ImportRecord> read;
            QVERIFY(reader.readRecords([&](ImportRecord&& r) { read.push_back(std::move(r)); }));
            QCOMPARE(read.size(), whole.records.size());
            for (size_t i = 0; i < read.size(); ++i) {
                QCOMPARE(described(read[i]), described(whole.records[i]));
                QVERIFY(read[i].fields == whole.records[i].fields);
            }
            QVERIFY(device.largestAsk <= std::max<qint64>(size.piece, 4096)); // the start is looked at once
        }
    }

    // What the rows hold, read in pieces of 1 to 3 bytes with an open field cut at 2 characters.
    void csvRowsAcrossPieces() {
        const CsvSizes set(3, 16 << 20, 2);
        std::vector<size_t> broken;
        const std::vector<QStringList> rows = CsvFile::parse(
            QStringLiteral("a,\"b,c\",\"d\"\"e\",\"f\r\ng\",,h\r\n\r\n\"x\"\"\"\r\n张,\"un\r\n\"\"\r\nlast,\"\""), u',',
            &broken);
        QCOMPARE(rows.size(), size_t(6));
        QCOMPARE(rows[0], QStringList({"a", "b,c", "d\"e", "f\r\ng", "", "h"}));
        QCOMPARE(rows[1], QStringList({""}));
        QCOMPARE(rows[2], QStringList({"x\""}));
        QCOMPARE(rows[3], QStringList({"张", "un"})); // the quote's own line, nothing after it
        QCOMPARE(rows[4], QStringList({""}));
        QCOMPARE(rows[5], QStringList({"last", ""}));
        QCOMPARE(broken, std::vector<size_t>{3});
    }

    // A quote left open near the start of a file: its row is an error, every row after it is read, and
    // the file is read once more from that row on, not once per row.
    void csvUnclosedQuoteIsReadPastOnce() {
        QByteArray data = "姓名,备注\r\n甲,\"open\r\n";
        for (int i = 0; i < 300; ++i)
            data += "乙" + QByteArray::number(i) + ",\"\"\"\"\r\n"; // quotes that close only after a restart
        const CsvSizes set(16, 16 << 20, 4);
        CountingDevice device(data);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        CsvReader reader(device);
        std::vector<ImportRecord> read;
        QVERIFY(reader.readRecords([&](ImportRecord&& r) { read.push_back(std::move(r)); }));
        QCOMPARE(read.size(), size_t(301));
        QVERIFY(!read[0].ok());
        QCOMPARE(read[0].fields.name, QStringLiteral("甲"));
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(read[size_t(i) + 1].fields.name, QStringLiteral("乙%1").arg(i));
            QCOMPARE(read[size_t(i) + 1].fields.remarks, QStringLiteral("\""));
        }
        // The window that finds the encoding, the rows, once more from the open quote's next line on, and
        // the first 4 KiB looked at before.
        QVERIFY2(device.total <= 3 * data.size() + 4096, qPrintable(QString::number(device.total)));
    }

    // Beyond the window that found UTF-8, a row with bytes that are not UTF-8 says so; the others stay
    // UTF-8, and no encoding is assumed for the whole file.
    void csvBadByteAfterTheWindow() {
        QByteArray data = "姓名,备注\r\n";
        for (int i = 0; i < 20; ++i)
            data += "张" + QByteArray::number(i) + ",备注\r\n";
        data += "坏,a\xFF" "b\r\n李四,好\r\n";
        const CsvSizes set(8, 64, 4 << 20);
        QBuffer device(&data);
        QVERIFY(device.open(QIODevice::ReadOnly));
        CsvReader reader(device);
        QCOMPARE(reader.assumedEncoding(), QString());
        std::vector<ImportRecord> read;
        QVERIFY(reader.readRecords([&](ImportRecord&& r) { read.push_back(std::move(r)); }));
        QCOMPARE(read.size(), size_t(22));
        QCOMPARE(read[20].fields.name, QStringLiteral("坏"));
        QCOMPARE(read[20].fields.remarks, QStringLiteral("a\uFFFDb"));
        QCOMPARE(read[20].warnings.size(), 1);
        QVERIFY(read[20].warnings[0].contains(QStringLiteral("UTF-8")));
        QCOMPARE(read[21].fields.name, QStringLiteral("李四"));
        QVERIFY(read[21].warnings.isEmpty());
    }

    // A file many times larger than a piece and the window is never read far ahead of the row handed
    // over, asks for one piece at a time, and is read once (plus the window, the first line and the
    // first 4 KiB, each looked at once before).
    void csvReaderReadsAlongTheRows() {
        constexpr qint64 Piece = 4096, Window = 64 * 1024;
        QByteArray data = "\xEF\xBB\xBF姓名,移动电话,备注\r\n";
        std::vector<qint64> rowEnds;
        for (int i = 0; i < 6000; ++i) {
            data += "王" + QByteArray::number(i) + ",139" + QByteArray::number(i) + ",\"" +
                    QByteArray(200 + i % 300, 'x') + "\r\n第二行\"\r\n";
            rowEnds.push_back(data.size());
        }
        QVERIFY(data.size() > 20 * Window);
        const CsvSizes set(Piece, Window, 4 << 20);
        CountingDevice device(data);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        CsvReader reader(device);
        qint64 worstAhead = 0;
        int n = 0;
        QVERIFY(reader.readRecords([&](ImportRecord&& r) {
            QCOMPARE(r.number, n + 1);
            worstAhead = std::max(worstAhead, device.furthest - std::max(rowEnds[size_t(n)], Window));
            ++n;
        }));
        QCOMPARE(n, 6000);
        QVERIFY2(worstAhead <= 2 * Piece, qPrintable(QString::number(worstAhead)));
        QVERIFY(device.largestAsk <= 4096);
        QVERIFY2(device.total <= data.size() + Window + 2 * Piece + 4096,
                 qPrintable(QStringLiteral("%1 of %2").arg(device.total).arg(data.size())));
    }

    void base64IsStrict_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("padded") << QByteArray("QUJD") << true;
        QTest::newRow("unpadded") << QByteArray("QUI") << true;
        QTest::newRow("whitespace") << QByteArray(" QU\r\n JD\t") << true;
        QTest::newRow("bad char") << QByteArray("QU*D") << false;
        QTest::newRow("url-safe") << QByteArray("QU-D") << false;
        QTest::newRow("one left over") << QByteArray("QUJDR") << false;
        QTest::newRow("three pads") << QByteArray("Q===") << false;
        QTest::newRow("data after pad") << QByteArray("QQ==QUJD") << false;
        QTest::newRow("empty") << QByteArray() << true;
    }
    void base64IsStrict() {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QCOMPARE(photobytes::base64Strict(text).has_value(), valid);
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
