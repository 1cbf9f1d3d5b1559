// Content that freezes or floods: a photo path naming a FIFO or a decompression bomb, a megabyte
// pasted into a box, a name of a hundred thousand characters, exports and imports of many large
// photos; and the window's export that must not replace a file without asking.
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/PhotoFolder.h"
#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "core/text/Pinyin.h"
#include "gui/app/MainWindow.h"
#include "gui/app/Commands.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/forms/RecordForm.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZINTEVA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZINTEVA_ASAN 1
#endif
#endif

namespace {

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray out;
    QDataStream(&out, QIODevice::WriteOnly) << static_cast<quint32>(data.size());
    out += type + data;
    QByteArray crc;
    QDataStream(&crc, QIODevice::WriteOnly) << crc32(type + data);
    return out + crc;
}

// A valid black-and-white PNG of side x side pixels, a few kilobytes on disk.
QByteArray bombPng(int side) {
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << static_cast<quint32>(side) << static_cast<quint32>(side)
                                               << quint8(1) << quint8(0) << quint8(0) << quint8(0) << quint8(0);
    const int rowBytes = (side + 7) / 8 + 1;
    const QByteArray raw(static_cast<qsizetype>(rowBytes) * side, '\0');
    const QByteArray zlib = qCompress(raw, 9).mid(4); // qCompress puts the size before the zlib stream
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
           pngChunk("IEND", {});
}

// The rise of the process's peak memory while `work` runs, in MB, measured in a child process; -1
// when the kernel cannot reset the peak.
int peakRiseMb(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        auto read = [](const char* key) {
            QFile status(QStringLiteral("/proc/self/status"));
            if (!status.open(QIODevice::ReadOnly))
                return -1LL;
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith(key))
                    return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
            }
            return -1LL;
        };
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
            _exit(255);
        clear.close();
        const long long before = read("VmHWM:");
        work();
        const long long peak = read("VmHWM:");
        _exit(static_cast<int>(std::min(250LL, (peak - before) / 1024)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

class TestSafetyContent : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;

    std::unique_ptr<frm_detail> newContactForm() {
        fx->state.EditFlag = true;
        auto form = std::make_unique<frm_detail>(fx->window().view(), frm_detail::Mode::Add);
        form->show();
        return form;
    }

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // Only a regular file is opened, and a picture of more pixels than any photo is not decoded.
    void recordFormOpensOnlySanePictures_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("symlink to a FIFO") << "link";
        QTest::newRow("folder") << "folder";
        QTest::newRow("12000 x 12000 pixels") << "bomb";
    }
    void recordFormOpensOnlySanePictures() {
        QFETCH(QString, kind);
        const QString path = fx->dir.filePath("photo.png");
        if (kind == "fifo" || kind == "link") {
            const QString fifo = fx->dir.filePath("fifo.png");
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            if (kind == "fifo")
                QVERIFY(QFile::rename(fifo, path));
            else
                QVERIFY(QFile::link(fifo, path));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else {
            writeBytes(path, bombPng(12000));
        }
        auto form = newContactForm();
        ContactFields shown = contact({}, "张三");
        // A sound picture first, so that the placeholder afterwards says the bad one was refused.
        shown.photo = fx->dir.filePath("good.png");
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(shown.photo));
        form->showContact(shown);
        QVERIFY(!showsPlaceholder(*form));
        shown.photo = path;
        ::alarm(60); // a blocked open() fails the test instead of stalling it
        form->showContact(shown);
        ::alarm(0);
        QVERIFY(showsPlaceholder(*form));
    }

    void pastedTextIsCappedToTheBox_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("limit");
        QTest::newRow("姓名") << 1 << 20;
        QTest::newRow("备注") << 14 << 65535;
    }
    void pastedTextIsCappedToTheBox() {
        QFETCH(int, number);
        QFETCH(int, limit);
        auto form = newContactForm();
        QString megabyte;
        megabyte.reserve(1 << 20);
        while (megabyte.size() < (1 << 20))
            megabyte += QStringLiteral("粘贴的文字 pasted ");
        QApplication::clipboard()->setText(megabyte);
        if (QApplication::clipboard()->text().size() != megabyte.size())
            QSKIP("this platform has no clipboard to paste from");
        QLineEdit* text = box(*form, number);
        text->setFocus();
        text->paste();
        QCOMPARE(text->text(), megabyte.left(limit));
    }

    // Linear: however long the name, ICU is handed pieces of a bounded size, and the keys are those
    // of the whole name.
    void longNamesArePiecedAndKeepTheirKeys() {
        QString longName;
        for (int i = 0; i < 20000; ++i)
            longName += QString::fromUtf16(i % 7 == 0 ? u"张 " : u"单a");
        pinyin::detail::largestTransliteration = 0;
        QElapsedTimer timer;
        timer.start();
        const pinyin::Keys keys = pinyin::keysOf(longName);
        qInfo("keys of a name of %lld characters: %lld ms, longest text handed to ICU %d", qlonglong(longName.size()),
              qlonglong(timer.elapsed()), pinyin::detail::largestTransliteration); // a figure, not a check
        QVERIFY2(pinyin::detail::largestTransliteration <= 4 * pinyin::detail::transliterationPiece,
                 qPrintable(QString::number(pinyin::detail::largestTransliteration)));
        QVERIFY(keys.full.startsWith("zhangshanashana"));

        const int piece = pinyin::detail::transliterationPiece;
        std::mt19937 random(20251208);
        const std::u32string alphabet = U"张三单曾解仇乐查长重行李王一龥々a bÉé,，3 4ßÆæ\u0301😀Яй\U00020000";
        for (int round = 0; round < 300; ++round) {
            QString name;
            const int length = 1 + static_cast<int>(random() % 60);
            for (int i = 0; i < length; ++i) {
                const char32_t c = alphabet[random() % alphabet.size()];
                name += QString::fromUcs4(&c, 1);
            }
            pinyin::detail::transliterationPiece = 1 << 30;
            const pinyin::Keys whole = pinyin::keysOf(name);
            pinyin::detail::transliterationPiece = 1 + static_cast<int>(random() % 5);
            const pinyin::Keys pieced = pinyin::keysOf(name);
            pinyin::detail::transliterationPiece = piece;
            QVERIFY2(pieced == whole, qPrintable(name + " -> " + pieced.full + " / " + whole.full));
        }
    }

    void windowExportAsksBeforeReplacing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("extension added, kept") << "out" << true << MsgAnswer::No << false;
        QTest::newRow("extension added, replaced") << "out" << true << MsgAnswer::Yes << true;
        QTest::newRow("typed with its extension") << "out.vcf" << false << MsgAnswer::No << true;
    }
    void windowExportAsksBeforeReplacing() {
        QFETCH(QString, typed);
        QFETCH(bool, asked);
        QFETCH(MsgAnswer, answer);
        QFETCH(bool, replaced);
        fx->addContact(fx->addGroup("朋友"), "张三");
        Frm_main& w = fx->window();
        const QString file = fx->dir.filePath("out.vcf");
        writeBytes(file, "the user's older file");
        fx->dialogs.fileAnswers.push_back(fx->dir.filePath(typed)); // the dialog already asked about this name
        fx->dialogs.answers.push_back(answer);
        exportContacts(w.view(), [](const QString&, int) {
            return std::optional<ExportChoice>(ExportChoice{ExportSelection::Kind::All, ExportFormat::VCard30});
        });
        QCOMPARE(bytesOf(file) == "the user's older file", !replaced);
        if (asked) {
            const Message question = fx->dialogs.messages.value(0);
            QCOMPARE(question.text, QStringLiteral("%1 已经存在。\n要替换它吗?").arg(file));
            QCOMPARE(question.buttons, MsgButtons::YesNo);
            QCOMPARE(question.defaultButton, MsgAnswer::No);
        }
        QCOMPARE(fx->dialogs.messages.size(), asked && !replaced ? 1 : asked ? 2 : 1);
    }

    // Export holds one card (and one photo) at a time, not the whole file.
    void exportStreamsCardByCard() {
#ifdef ZINTEVA_ASAN
        QSKIP("AddressSanitizer keeps freed memory in quarantine: the peak says nothing here");
#endif
        const QString group = fx->addGroup("朋友");
        QByteArray photo(3 << 20, '\0');
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32*>(photo.data()), photo.size() / 4);
        photo.replace(0, 8, QByteArray("\x89PNG\r\n\x1A\n", 8));
        const QString photos = photofolder::folderFor(fx->paths.data);
        QDir().mkpath(photos);
        const QString photoPath = QDir(photos).filePath(photofolder::nameFor(photo, "png"));
        writeBytes(photoPath, photo);
        for (int i = 0; i < 12; ++i) {
            ContactFields f = contact(group, QStringLiteral("人%1").arg(i));
            f.photo = photoPath;
            fx->open().addContact(f);
        }
        fx->state.Conn.reset();
        const QString exported = fx->dir.filePath("all.vcf");
        const int exportRise = peakRiseMb([&] {
            auto store = Store::open(fx->paths.data);
            QString error;
            Exporter(*store).exportToFile(exported, ExportSelection::all(), ExportFormat::VCard30, nullptr, &error);
        });
        if (exportRise < 0)
            QSKIP("the kernel cannot reset the peak memory of a process");
        QVERIFY(QFileInfo(exported).size() > 12 * (4 << 20)); // twelve photos of 3 MB in base64
        qInfo("export of 12 contacts with a 3 MB photo each: peak memory rose by %d MB", exportRise);
        QVERIFY2(exportRise < 45, qPrintable(QString::number(exportRise))); // all at once: over 100 MB
    }

    // A CSV import holds a row at a time, not the file, its text and the cards of every row.
    void csvImportStreamsRowByRow() {
#ifdef ZINTEVA_ASAN
        QSKIP("AddressSanitizer keeps freed memory in quarantine: the peak says nothing here");
#endif
        fx->addGroup("朋友");
        fx->state.Conn.reset();
        const QString csv = fx->dir.filePath("big.csv");
        {
            QFile file(csv);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\xEF\xBB\xBF姓名,移动电话,备注\r\n");
            const QByteArray remark = QStringLiteral("备注").repeated(18000).toUtf8();
            for (int i = 0; i < 200; ++i)
                file.write("王" + QByteArray::number(i) + ",139" + QByteArray::number(i) + ",\"" + remark +
                           "\r\n第二行\"\r\n");
        }
        const qint64 size = QFileInfo(csv).size();
        QVERIFY(size > 20 << 20);
        const int importRise = peakRiseMb([&] {
            auto store = Store::open(fx->paths.data);
            Importer(*store, fx->paths.data).runFile(csv, {});
        });
        if (importRise < 0)
            QSKIP("the kernel cannot reset the peak memory of a process");
        QCOMPARE(Store::open(fx->paths.data)->contactCount(), 200);
        qInfo("import of a CSV file of %lld MB (200 rows of 100 KB): peak memory rose by %d MB", size >> 20, importRise);
        QVERIFY2(importRise < 45, qPrintable(QString::number(importRise))); // all at once: over 100 MB
    }
};

QTEST_MAIN(TestSafetyContent)
#include "tst_safety_content.moc"
