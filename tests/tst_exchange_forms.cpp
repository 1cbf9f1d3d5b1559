// The written forms of what other programs exchange: the encodings of files that declare none, the
// ways people write a birthday, and the syntax of what this program writes for other readers.
#include "core/exchange/Csv.h"
#include "core/exchange/VCardReader.h"

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

} // namespace

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
};

QTEST_GUILESS_MAIN(TestExchangeForms)
#include "tst_exchange_forms.moc"
