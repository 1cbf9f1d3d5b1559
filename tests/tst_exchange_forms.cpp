// The written forms of what other programs exchange: the encodings of files that declare none, the
// ways people write a birthday, and the syntax of what this program writes for other readers.
#include "core/exchange/BirthdayText.h"
#include "core/exchange/Csv.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VersionSyntax.h"
#include "core/store/Store.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QStringEncoder>
#include <QTest>

namespace {

QByteArray encoded(const char* encoding, const QString& text) {
    QStringEncoder encoder(encoding);
    QByteArray bytes = encoder(text);
    if (!encoder.isValid() || encoder.hasError())
        qFatal("%s cannot hold the test's text", encoding);
    return bytes;
}

QByteArray vcard(const QByteArray& lines) {
    return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n";
}

QString isoOrEmpty(const std::optional<QDate>& date) {
    return date ? date->toString(Qt::ISODate) : QString();
}

QString corpusFile(const QString& name) {
    return QDir(qEnvironmentVariable("ZINTEVA_SOURCE_DIR")).absoluteFilePath(QStringLiteral("../shared/fixtures/realworld/") + name);
}

// Each card of a vCard file as Python's vobject reads it: FN, BDAY and the first TEL, one card a line
// (sorted); vobject's validation refuses a 3.0 card without FN.
QStringList readByVobject(const QString& path, QString* error) {
    const QString script = QStringLiteral(
        "import sys, vobject\n"
        "for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read(), validate=True):\n"
        "    get = lambda name: getattr(card, name).value if hasattr(card, name) else ''\n"
        "    print(get('fn') + '|' + str(get('bday')) + '|' + get('tel'))\n");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        *error = QString::fromUtf8(python.readAllStandardError()) + python.errorString() +
                 QStringLiteral(" (python3-vobject is listed in scripts/packages.txt)");
        return {};
    }
    QStringList cards = QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    cards.sort();
    return cards;
}

} // namespace

Q_DECLARE_METATYPE(birthday::Order)
Q_DECLARE_METATYPE(birthday::Reading::Kind)

class TestExchangeForms : public QObject {
    Q_OBJECT

private slots:
    // Files without a declared encoding: a short one that is valid GBK is Chinese, whatever a
    // detector guesses from a few bytes; a long one in another East Asian encoding, a European one,
    // and anything that declares its encoding are read as they are.
    void encodings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("assumed");
        const QString row = QStringLiteral("姓名,手机,备注\r\n张伟,13800000000,同事\r\n");
        QTest::newRow("GBK CSV") << encoded("GBK", row) << true << "张伟"
                                 << "同事"
                                 << "GB18030";
        QTest::newRow("the same CSV in UTF-8") << row.toUtf8() << true << "张伟"
                                               << "同事" << QString();
        QTest::newRow("GBK CSV, a rare character")
            << encoded("GBK", QStringLiteral("姓名,备注\r\n王喆,朋友\r\n")) << true << "王喆"
            << "朋友"
            << "GB18030";
        QTest::newRow("GBK vCard") << vcard("FN:" + encoded("GBK", QStringLiteral("张伟")) + "\r\nNOTE:" +
                                            encoded("GBK", QStringLiteral("同事")) + "\r\n")
                                   << false << "张伟"
                                   << "同事"
                                   << "GB18030";
        QTest::newRow("Shift_JIS declared")
            << vcard("FN;CHARSET=SHIFT_JIS:" + encoded("Shift_JIS", QStringLiteral("山田太郎")) + "\r\n") << false
            << "山田太郎" << QString() << QString();
        QTest::newRow("Big5 declared") << vcard("FN;CHARSET=BIG5:" + encoded("Big5", QStringLiteral("陳大文")) + "\r\n")
                                       << false << "陳大文" << QString() << QString();
        QTest::newRow("UTF-8 with a mark") << "\xEF\xBB\xBF" + row.toUtf8() << true << "张伟"
                                           << "同事" << QString();
        QTest::newRow("windows-1252 CSV") << QByteArray("Name,Notes\r\nJ\xFCrgen M\xFCller,K\xF6ln\r\n") << true
                                          << "Jürgen Müller"
                                          << "Köln"
                                          << "windows-1252";
        const QString taipei = QStringLiteral("台北市中正區重慶南路一段122號，我們的朋友陳大文先生是這裡的經理。").repeated(8);
        QTest::newRow("long Big5") << vcard("FN:" + encoded("Big5", QStringLiteral("陳大文")) + "\r\nNOTE:" +
                                            encoded("Big5", taipei) + "\r\n")
                                   << false << "陳大文" << taipei << "Big5";
        const QString tokyo =
            QStringLiteral("東京都千代田区丸の内一丁目、山田太郎さんはこの会社の社長です。よろしくお願いします。").repeated(6);
        QTest::newRow("long Shift_JIS") << vcard("FN:" + encoded("Shift_JIS", QStringLiteral("山田太郎")) +
                                                 "\r\nNOTE:" + encoded("Shift_JIS", tokyo) + "\r\n")
                                        << false << "山田太郎" << tokyo << "Shift_JIS";
    }
    void encodings() {
        QFETCH(QByteArray, file);
        QFETCH(bool, csv);
        QFETCH(QString, name);
        QFETCH(QString, note);
        QFETCH(QString, assumed);
        const ImportBatch batch = csv ? CsvFile::read(file) : VCardReader::read(file);
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.records.size(), size_t(1));
        QCOMPARE(batch.records[0].fields.name, name);
        QCOMPARE(batch.records[0].fields.remarks, note);
        QCOMPARE(batch.assumedEncoding, assumed);
    }

    // Every way a birthday is written, and what only the file's order of day and month decides.
    void birthdayReadings_data() {
        using Kind = birthday::Reading::Kind;
        using birthday::Order;
        QTest::addColumn<QString>("text");
        QTest::addColumn<Order>("order");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("date");
        QTest::newRow("ISO") << "1985-05-17" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("compact") << "19850517" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("year first, slashes") << "1985/5/17" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("month first") << "5/17/1985" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("month first, hyphens") << "05-17-1985" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("month first with a time") << "5/17/1985 0:00:00" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("day first, slashes") << "17/5/1985" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("day first, dots") << "17.05.1985" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("dots are day first") << "3.4.1985" << Order::Unknown << Kind::Date << "1985-04-03";
        QTest::newRow("年月日") << "1985年5月17日" << Order::Unknown << Kind::Date << "1985-05-17";
        QTest::newRow("月日") << "5月17日" << Order::Unknown << Kind::Date << "1604-05-17";
        QTest::newRow("--0517") << "--0517" << Order::Unknown << Kind::Date << "1604-05-17";
        QTest::newRow("same day and month") << "3/3/1985" << Order::Unknown << Kind::Date << "1985-03-03";
        QTest::newRow("ambiguous") << "3/4/1985" << Order::Unknown << Kind::Ambiguous << "";
        QTest::newRow("ambiguous, month first") << "3/4/1985" << Order::MonthFirst << Kind::Date << "1985-03-04";
        QTest::newRow("ambiguous, day first") << "3/4/1985" << Order::DayFirst << Kind::Date << "1985-04-03";
        QTest::newRow("order of no use") << "17/5/1985" << Order::MonthFirst << Kind::Date << "1985-05-17";
        QTest::newRow("Outlook's empty date") << "0/0/00" << Order::MonthFirst << Kind::Empty << "";
        QTest::newRow("zeros, ISO") << "0000-00-00" << Order::Unknown << Kind::Empty << "";
        QTest::newRow("zeros, dots") << "00.00.0000" << Order::Unknown << Kind::Empty << "";
        QTest::newRow("a lone zero") << "0" << Order::Unknown << Kind::Unknown << "";
        QTest::newRow("no such month") << "13/13/1985" << Order::Unknown << Kind::Unknown << "";
        QTest::newRow("no such day, dots") << "31.02.1985" << Order::Unknown << Kind::Unknown << "";
        QTest::newRow("two-digit year") << "5/17/85" << Order::MonthFirst << Kind::Unknown << "";
        QTest::newRow("a day alone") << "28" << Order::Unknown << Kind::Unknown << "";
    }
    void birthdayReadings() {
        QFETCH(QString, text);
        QFETCH(birthday::Order, order);
        QFETCH(birthday::Reading::Kind, kind);
        QFETCH(QString, date);
        const birthday::Reading read = birthday::read(text, order);
        QCOMPARE(read.kind, kind);
        QCOMPARE(isoOrEmpty(read.date), date);
    }

    // Birthdays in the CSV files of other programs: the file's order, Outlook's empty date,
    // Thunderbird's three columns (English and Chinese), and a date no order decides, which is kept
    // and named.
    void csvBirthdays_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("birthday");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<int>("kept");
        QTest::newRow("Outlook, month first")
            << "First Name,Last Name,E-mail Address,Birthday\r\nJohn,Doe,j@example.org,3/4/1985\r\n"
            << "1985-03-04" << QString() << 0;
        QTest::newRow("Outlook's empty date")
            << "First Name,Last Name,E-mail Address,Birthday\r\nJohn,Doe,j@example.org,0/0/00\r\n" << QString()
            << QString() << 0;
        QTest::newRow("a phone's CSV, day first") << "姓名,手机,生日\r\n张伟,13800000000,17.05.1985\r\n"
                                                  << "1985-05-17" << QString() << 0;
        QTest::newRow("出生日期 alone is the whole date") << "姓名,出生日期\r\n张伟,1985/5/17\r\n"
                                                          << "1985-05-17" << QString() << 0;
        QTest::newRow("no order known") << "姓名,生日\r\n张伟,3/4/1985\r\n" << QString()
                                        << "生日 3/4/1985 分不清月和日，已保存在其它资料中" << 1;
        QTest::newRow("Thunderbird")
            << "First Name,Last Name,Display Name,Primary Email,Birth Year,Birth Month,Birth Day\r\n"
               "John,Doe,John Doe,j@example.org,1985,5,17\r\n"
            << "1985-05-17" << QString() << 0;
        QTest::newRow("Thunderbird without the year")
            << "First Name,Last Name,Display Name,Primary Email,Birth Year,Birth Month,Birth Day\r\n"
               "John,Doe,John Doe,j@example.org,,5,17\r\n"
            << "1604-05-17" << QString() << 0;
        QTest::newRow("Thunderbird in Chinese") << "显示名称,出生年份,出生月份,出生日期\r\n赵敏,1985,5,17\r\n"
                                                << "1985-05-17" << QString() << 0;
        QTest::newRow("Thunderbird, no such day")
            << "Display Name,Birth Year,Birth Month,Birth Day\r\nJohn Doe,1985,2,30\r\n" << QString() << QString()
            << 3;
    }
    void csvBirthdays() {
        QFETCH(QString, file);
        QFETCH(QString, birthday);
        QFETCH(QString, warning);
        QFETCH(int, kept);
        const ImportBatch batch = CsvFile::read(file.toUtf8());
        QCOMPARE(batch.error, QString());
        QCOMPARE(batch.records.size(), size_t(1));
        const ImportRecord& record = batch.records[0];
        QCOMPARE(isoOrEmpty(record.fields.birthday), birthday);
        QCOMPARE(record.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
        int unknown = 0;
        for (const KeptProperty& property : record.kept)
            unknown += property.field.isEmpty() ? 1 : 0;
        QCOMPARE(unknown, kept);
    }

    // The birthdays of the shared real-world files, as their first contact has them.
    void corpusBirthdays_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("birthday");
        QTest::newRow("Thunderbird CSV") << "roundcube-tb_plain.csv" << "1970-11-15";
        QTest::newRow("Google CSV") << "roundcube-gmail.csv" << "1975-12-12";
        QTest::newRow("Android 2.1") << "aosp-v21_complicated.vcf" << "1980-01-01";
        QTest::newRow("Outlook vCard") << "ezvcard-John_Doe_MS_OUTLOOK.vcf" << "1980-03-22";
        QTest::newRow("without a year, 4.0") << "ezvcard-rfc6350-example.vcf" << "1604-02-03";
        QTest::newRow("date and time") << "kcontacts-vcard5.vcf" << "1955-07-19";
    }
    void corpusBirthdays() {
        QFETCH(QString, file);
        QFETCH(QString, birthday);
        QFile in(corpusFile(file));
        if (!in.open(QIODevice::ReadOnly))
            QSKIP("the shared real-world files are not beside the clone");
        const QByteArray bytes = in.readAll();
        const ImportBatch batch = file.endsWith(u".csv") ? CsvFile::read(bytes) : VCardReader::read(bytes);
        QVERIFY(!batch.records.empty());
        QCOMPARE(isoOrEmpty(batch.records[0].fields.birthday), birthday);
        for (const QString& warning : batch.records[0].warnings)
            QVERIFY2(!warning.startsWith(u"生日"), qPrintable(warning));
    }
    // People imported from files of other programs, exported as 3.0 and 4.0: Python's vobject reads
    // every card, each has FN (from N, the nickname or the organisation when there is no name), BDAY is
    // the date in the version's own form whatever it was typed as, and a 3.0 card has no 4.0 TEL URI.
    void exportsOtherProgramsRead_data() {
        QTest::addColumn<bool>("v4");
        QTest::addColumn<QStringList>("cards");
        QTest::newRow("3.0") << false
                             << QStringList{"Acme||", "Jane Doe|--05-17|+86-138-0000-0000", "John Doe|1985-05-17|",
                                            "Kiki|1985-05-17|", "张伟|1985-05-17|"};
        QTest::newRow("4.0") << true
                             << QStringList{"Acme||", "Jane Doe|--0517|tel:+86-138-0000-0000", "John Doe|19850517|",
                                            "Kiki|19850517|", "张伟|19850517|"};
    }
    void exportsOtherProgramsRead() {
        QFETCH(bool, v4);
        QFETCH(QStringList, cards);
        QTemporaryDir dir;
        const QString dataFile = dir.filePath(QStringLiteral("d.mdb"));
        Store::createEmpty(dataFile);
        auto store = Store::open(dataFile);
        Importer importer(*store, dataFile);
        const ImportSummary csv =
            importer.run(CsvFile::read("Given Name,Family Name,Birthday\r\nJohn,Doe,5/17/1985\r\n"), {});
        QCOMPARE(csv.added, 1);
        const ImportSummary vcf = importer.run(
            VCardReader::read("BEGIN:VCARD\r\nVERSION:4.0\r\nN:Doe;Jane;;;\r\nBDAY:--0517\r\n"
                              "TEL;VALUE=uri;TYPE=cell:tel:+86-138-0000-0000\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:张;伟;;;\r\nBDAY:1985年5月17日\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nNICKNAME:Kiki\r\nBDAY:1985/5/17\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nORG:Acme\r\nBDAY:0/0/00\r\nEND:VCARD\r\n"),
            {});
        QCOMPARE(vcf.added, 4);
        QFile out(dir.filePath(QStringLiteral("out.vcf")));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(Exporter(*store).build(ExportSelection::all(), v4 ? ExportFormat::VCard40 : ExportFormat::VCard30));
        out.close();
        QString error;
        QCOMPARE(readByVobject(out.fileName(), &error), cards);
        QCOMPARE(error, QString());
    }

    // Kept lines in the other version's syntax, as each version writes them.
    void keptLinesInVersion_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("v30");
        QTest::addColumn<QString>("v40");
        QTest::newRow("year-less, 4.0") << "BDAY;VALUE=date:--0517" << "BDAY;VALUE=date:--05-17"
                                        << "BDAY;VALUE=date:--0517";
        QTest::newRow("Apple's year-less") << "item1.BDAY;X-APPLE-OMIT-YEAR=1604:1604-05-17"
                                           << "item1.BDAY;X-APPLE-OMIT-YEAR=1604:1604-05-17"
                                           << "item1.BDAY:--0517";
        QTest::newRow("typed with slashes") << "BDAY:1985/5/17" << "BDAY:1985-05-17"
                                            << "BDAY:19850517";
        QTest::newRow("a text BDAY that is a date") << "BDAY;VALUE=text:1985年5月17日" << "BDAY:1985-05-17"
                                                    << "BDAY:19850517";
        QTest::newRow("not a date stays") << "BDAY;VALUE=text:circa 1800" << "BDAY;VALUE=text:circa 1800"
                                          << "BDAY;VALUE=text:circa 1800";
        QTest::newRow("date-time") << "BDAY:1955-07-19T00:00:00Z" << "BDAY:1955-07-19T00:00:00Z"
                                   << "BDAY:19550719";
        QTest::newRow("TEL URI") << "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+1-555-0100"
                                 << "TEL;TYPE=\"voice,cell\":+1-555-0100"
                                 << "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+1-555-0100";
        QTest::newRow("other lines stay") << "X-ABC;VALUE=uri:tel:1" << "X-ABC;VALUE=uri:tel:1"
                                          << "X-ABC;VALUE=uri:tel:1";
    }
    void keptLinesInVersion() {
        QFETCH(QString, line);
        QFETCH(QString, v30);
        QFETCH(QString, v40);
        QCOMPARE(versionsyntax::inVersion(line, VCardVersion::V30), v30);
        QCOMPARE(versionsyntax::inVersion(line, VCardVersion::V40), v40);
    }

    void photoHeadersInVersion() {
        QCOMPARE(versionsyntax::photoHeader(QStringLiteral("PHOTO;MEDIATYPE=image/png"), QStringLiteral("PNG"),
                                            VCardVersion::V30),
                 QStringLiteral("PHOTO;TYPE=PNG"));
        QCOMPARE(versionsyntax::photoHeader(QStringLiteral("PHOTO;ENCODING=b;TYPE=JPEG"), QStringLiteral("JPEG"),
                                            VCardVersion::V40),
                 QStringLiteral("PHOTO"));
        QCOMPARE(versionsyntax::photoHeader(QStringLiteral("PHOTO;TYPE=GIF"), QStringLiteral("JPEG"), VCardVersion::V30),
                 QStringLiteral("PHOTO;TYPE=GIF"));
    }
};

QTEST_GUILESS_MAIN(TestExchangeForms)
#include "tst_exchange_forms.moc"
