// A person handed to a phone as a QR code: what the code holds is the exported card byte for byte
// (Chinese included) as a real reader decodes it from the picture, the picture keeps its quiet
// zone, a card with a picture drops the picture first, and a card no code can hold is said so.
#include "core/exchange/Exporter.h"
#include "core/exchange/PhoneCard.h"
#include "core/store/Store.h"
#include "gui/app/MainWindow.h"
#include "gui/app/OutputCommands.h"
#include "gui/qr/ContactQrDialog.h"
#include "support/Fixture.h"

#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What zbarimg reads from the picture, byte for byte: -Sbinary keeps it from guessing a character
// set and converting, and from adding a line end of its own.
QByteArray decoded(const QImage& image, QString* error) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("code.png"));
    if (!image.save(path)) {
        *error = QStringLiteral("cannot save the picture");
        return {};
    }
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sbinary"), path});
    if (!zbar.waitForFinished(60000) || zbar.exitStatus() != QProcess::NormalExit || zbar.exitCode() != 0) {
        *error = QString::fromUtf8(zbar.readAllStandardError()) + zbar.errorString() +
                 QStringLiteral(" (zbar-tools is listed in scripts/packages.txt)");
        return {};
    }
    return zbar.readAllStandardOutput();
}

QByteArray card(const QByteArray& lines) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n";
}

// A picture of noise: it compresses badly, as a photo does.
QString noisyPicture(const QString& folder, int side) {
    QImage picture(side, side, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            picture.setPixel(x, y, random.generate());
    const QString path = folder + QStringLiteral("/face.png");
    picture.save(path);
    return path;
}

} // namespace

class TestQrCode : public QObject {
    Q_OBJECT
private slots:
    void readsBackAsWritten_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("pixelsPerModule");
        QTest::newRow("ascii") << card("FN:Li Si\r\nN:Li;Si;;;\r\nTEL;TYPE=CELL:+86 138 0013 8000\r\n") << 3;
        QTest::newRow("chinese") << card(QStringLiteral("FN:张三\r\nN:张;三;;;\r\nTEL;TYPE=CELL:13800138000\r\n"
                                                        "NOTE:农历腊月初八\\, 老家在金华\r\n").toUtf8()) << 3;
        QTest::newRow("large, four pixels") << card(QStringLiteral("FN:欧阳明月\r\nNOTE:%1\r\n")
                                                       .arg(QString(QStringLiteral("备注内容很长。")).repeated(90)).toUtf8()) << 4;
    }
    void readsBackAsWritten() {
        QFETCH(QByteArray, payload);
        QFETCH(int, pixelsPerModule);
        const std::optional<QrCode> code = QrCode::encode(payload);
        QVERIFY(code);
        const QImage image = code->image(pixelsPerModule);
        QCOMPARE(image.width(), (code->modules() + 2 * QrCode::QuietModules) * pixelsPerModule);
        // The quiet zone: four light modules all round.
        const int quiet = QrCode::QuietModules * pixelsPerModule;
        for (int i = 0; i < image.width(); ++i) {
            for (int band = 0; band < quiet; ++band) {
                QCOMPARE(qGray(image.pixel(i, band)), 255);
                QCOMPARE(qGray(image.pixel(band, i)), 255);
                QCOMPARE(qGray(image.pixel(i, image.height() - 1 - band)), 255);
                QCOMPARE(qGray(image.pixel(image.width() - 1 - band, i)), 255);
            }
        }
        QString error;
        const QByteArray read = decoded(image, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(read, payload);
    }

    void withoutPhoto_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("folded picture") << card("FN:A\r\nPHOTO;ENCODING=b;TYPE=PNG:iVBOR\r\n w0KGgo\r\n AAAA\r\nTEL:1\r\n")
                                        << card("FN:A\r\nTEL:1\r\n");
        QTest::newRow("grouped, lower case, uri") << card("item1.photo;VALUE=uri:file:///a.png\r\nFN:B\r\n") << card("FN:B\r\n");
        QTest::newRow("photograph is not photo") << card("X-PHOTOGRAPHER:C\r\nFN:C\r\n") << card("X-PHOTOGRAPHER:C\r\nFN:C\r\n");
        QTest::newRow("no picture") << card("FN:D\r\nNOTE:PHOTO:\r\n") << card("FN:D\r\nNOTE:PHOTO:\r\n");
    }
    void withoutPhoto() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(phonecard::withoutPhoto(in), out);
    }

    // The window's command: the person's exported card in the code shown; the picture first to go.
    void windowShowsTheExportedCard_data() {
        QTest::addColumn<bool>("withPicture");
        QTest::newRow("no picture") << false;
        QTest::newRow("picture too large for the code") << true;
    }
    void windowShowsTheExportedCard() {
        QFETCH(bool, withPicture);
        Fixture fixture;
        Store& store = fixture.open();
        const QString group = fixture.addGroup(QStringLiteral("家人"));
        ContactFields fields = contact(group, QStringLiteral("王金月"));
        fields.mobile = QStringLiteral("13912345678");
        fields.homePhone = QStringLiteral("010-87654321");
        if (withPicture)
            fields.photo = noisyPicture(fixture.dir.path(), 120);
        const QString key = store.addContact(fields);
        const QByteArray exported = Exporter(store).build(ExportSelection::contacts({key}), ExportFormat::VCard30);
        QCOMPARE(exported.contains("PHOTO"), withPicture);
        Frm_main& window = fixture.window();

        QImage shown;
        QByteArray payload;
        QString hint;
        fixture.dialogs.formAnswers.push_back([&](QDialog& form) {
            auto* dialog = qobject_cast<ContactQrDialog*>(&form);
            if (dialog) {
                shown = dialog->shownImage();
                payload = dialog->payload();
                hint = dialog->findChild<QLabel*>(QStringLiteral("QrHint"))->text();
            }
            return int(QDialog::Rejected);
        });
        showContactQr(window.view(), key);
        QCOMPARE(fixture.dialogs.formsOpened, 1);
        QVERIFY(!shown.isNull());
        QCOMPARE(payload, withPicture ? phonecard::withoutPhoto(exported) : exported);
        QCOMPARE(hint.contains(QStringLiteral("照片太大")), withPicture);
        QString error;
        const QByteArray read = decoded(shown, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(read, payload);
        QVERIFY(read.contains(QStringLiteral("FN:王金月").toUtf8()));
        QVERIFY(read.contains("13912345678"));
        QVERIFY(fixture.dialogs.messages.isEmpty());
    }

    // Remarks no code can hold: the user is told, and the file export is offered instead.
    void tooLargeOffersTheFile_data() {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("export") << MsgAnswer::Yes;
        QTest::newRow("no") << MsgAnswer::No;
    }
    void tooLargeOffersTheFile() {
        QFETCH(MsgAnswer, answer);
        Fixture fixture;
        Store& store = fixture.open();
        ContactFields fields = contact(fixture.addGroup(QStringLiteral("同事")), QStringLiteral("赵六"));
        fields.remarks = QString(QStringLiteral("很长的备注")).repeated(400); // 6,000 bytes of UTF-8
        const QString key = store.addContact(fields);
        QVERIFY(!phoneCardCode(Exporter(store).build(ExportSelection::contacts({key}), ExportFormat::VCard30)));
        Frm_main& window = fixture.window();
        const QString target = fixture.dir.filePath(QStringLiteral("赵六"));
        fixture.dialogs.answers = {answer};
        fixture.dialogs.fileAnswers = {target};
        showContactQr(window.view(), key);
        QCOMPARE(fixture.dialogs.formsOpened, 0);
        QVERIFY(!fixture.dialogs.messages.isEmpty());
        const Message told = fixture.dialogs.messages.first();
        QCOMPARE(told.text, QStringLiteral("赵六 的资料太多，去掉照片后仍然放不进一个二维码。\n要把这位联系人导出为 vCard 文件吗？"));
        QCOMPARE(told.buttons, MsgButtons::YesNo);
        QCOMPARE(told.defaultButton, MsgAnswer::Yes);
        QFile written(target + QStringLiteral(".vcf"));
        QCOMPARE(written.exists(), answer == MsgAnswer::Yes);
        if (answer == MsgAnswer::Yes) {
            QVERIFY(written.open(QIODevice::ReadOnly));
            QVERIFY(written.readAll().contains(QStringLiteral("FN:赵六").toUtf8()));
            QCOMPARE(fixture.dialogs.messages.size(), 2);
            QVERIFY(fixture.dialogs.last().text.startsWith(QStringLiteral("已把 赵六 导出到 ")));
        }
    }
};

QTEST_MAIN(TestQrCode)
#include "tst_qrcode.moc"
