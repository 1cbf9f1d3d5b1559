// Every real-world contact file of the shared corpus (../shared/fixtures/realworld beside the
// clone): each imports with the contacts and key fields expected of it, and import, export and
// import again gives back every property the file had.
#include "core/exchange/Csv.h"
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VersionSyntax.h"
#include "core/store/KeptProperties.h"
#include "core/store/Store.h"

#include "support/TestFiles.h"
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString corpusFolder() {
    return QDir(qEnvironmentVariable("ZINTEVA_SOURCE_DIR"))
        .absoluteFilePath(QStringLiteral("../shared/fixtures/realworld"));
}

// A content line with its parameters in one order and its types one by one, so that two writers'
// spellings of the same property compare equal.
QString canonical(const QString& line) {
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u':' && !quoted)
            colon = i;
    }
    const QString head = colon < 0 ? line : line.left(colon);
    const QString value = colon < 0 ? QString() : line.mid(colon);
    QStringList parts;
    QString part;
    quoted = false;
    for (const QChar c : head) {
        if (c == u'"')
            quoted = !quoted;
        if (c == u';' && !quoted) {
            parts.append(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(part);
    const QString name = parts.takeFirst().toUpper();
    QStringList params;
    for (const QString& param : parts) {
        const QString key = param.section(u'=', 0, 0).toUpper();
        QString values = param.section(u'=', 1);
        values.remove(u'"');
        for (const QString& v : values.split(u','))
            params.append(key + u'=' + (key == u"TYPE" ? v.toUpper() : v));
    }
    params.sort();
    params.removeDuplicates();
    return name + u';' + params.join(u';') + value;
}

// The properties of every card of a file, each card's as a sorted list (the photo's bytes added).
std::vector<QStringList> propertiesOf(const ImportBatch& batch) {
    std::vector<QStringList> cards;
    for (const ImportRecord& record : batch.records) {
        QStringList lines;
        // Each as a 3.0 card writes it: a 4.0 TEL URI or a BDAY typed as 1985/5/17 is the same property
        // in the export's own syntax.
        // A picture's header gets the picture's TYPE.
        for (const KeptProperty& kept : record.kept)
            lines.append(canonical(kept.field == keptfield::Photo && !record.photoData.isEmpty()
                                       ? versionsyntax::photoHeader(
                                             kept.line, photobytes::vcard30TypeFor(record.photoExtension), VCardVersion::V30)
                                       : versionsyntax::inVersion(kept.line, VCardVersion::V30)));
        if (!record.photoData.isEmpty())
            lines.append(QStringLiteral("photo bytes ") + QString::fromLatin1(record.photoData.toBase64()));
        lines.sort();
        cards.push_back(lines);
    }
    return cards;
}

// How many of `before`'s properties `after` lacks, card by card (the cards in the same order).
int missing(const std::vector<QStringList>& before, const std::vector<QStringList>& after, QStringList* report) {
    int lost = 0;
    for (size_t c = 0; c < before.size(); ++c) {
        QStringList rest = c < after.size() ? after[c] : QStringList();
        for (const QString& line : before[c]) {
            if (!rest.removeOne(line)) {
                ++lost;
                report->append(QStringLiteral("card %1: %2").arg(c + 1).arg(line.left(160)));
            }
        }
    }
    return lost;
}

ImportBatch readAny(const QString& path, const QByteArray& bytes) {
    return path.endsWith(QStringLiteral(".csv")) ? CsvFile::read(bytes) : VCardReader::read(bytes);
}

struct Totals {
    int files = 0, cards = 0, imported = 0, kept = 0, differences = 0;
};
Totals totals;

} // namespace

class TestRealWorld : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int dataFiles = 0;

    QString freshDataFile() {
        const QString path = dir.filePath(QStringLiteral("d%1/tavrel.mdb").arg(++dataFiles));
        QDir().mkpath(QFileInfo(path).absolutePath());
        Store::createEmpty(path);
        return path;
    }

private slots:
    void initTestCase() {
        if (!QFileInfo(corpusFolder()).isDir())
            QSKIP(qPrintable(QStringLiteral("the real-world corpus is not at %1 (ZINTEVA_SOURCE_DIR/../shared)")
                                 .arg(corpusFolder())));
    }

    // Per file: the contacts it gives, and a few key fields of its first contact.
    void expectations_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("contacts");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key"); // a field of the first contact: mobile, email, address, ...
        QTest::addColumn<QString>("value");
        auto row = [](const char* file, int contacts, const QString& name, const QString& key = {},
                      const QString& value = {}) {
            QTest::newRow(file) << QString::fromUtf8(file) << contacts << name << key << value;
        };
        row("aosp-v21_backslash.vcf", 1, QStringLiteral("A;B\\C;D:E\\"), {}, {});
        row("aosp-v21_blackberry_photo.vcf", 1, QStringLiteral("boogie"), QStringLiteral("photo"),
            QStringLiteral("png"));
        row("aosp-v21_nest.vcf", 3, QStringLiteral("parent"), QStringLiteral("mobile"), {}); // a bare TEL: kept
        row("aosp-v21_multiple_entry.vcf", 3, {}, {}, {});
        row("aosp-v21_winmo_65.vcf", 1, QStringLiteral("Example"));
        row("ezvcard-John_Doe_BLACK_BERRY.vcf", 1, QStringLiteral("John Doe"), QStringLiteral("photo"),
            QStringLiteral("jpg"));
        row("ezvcard-John_Doe_ANDROID.vcf", 6, {}, {}, {});
        row("fk-German.vcf", 1, QStringLiteral("Sören Täve Nüßlebaum"), QStringLiteral("address"),
            QStringLiteral("Mößlitz"));
        row("fk-AnsiIssue.vcf", 1, {}, {}, {});
        row("roundcube-utf-16_sample.vcf", 1, {}, {}, {});
        row("metowolf-tencent.vcf", 1, QStringLiteral("腾讯"), QStringLiteral("mobile"),
            QStringLiteral("0755-83765566"));
        row("roundcube-gmail.csv", 1, QStringLiteral("Prefix Firstname Mid"), QStringLiteral("email"),
            QStringLiteral("home@aaa.pl"));
        row("roundcube-outlook.csv", 1, QStringLiteral("test1@domain.tld"), QStringLiteral("email"),
            QStringLiteral("test1@domain.tld"));
        row("roundcube-tb_plain.csv", 1, QStringLiteral("Displayname"), QStringLiteral("mobile"),
            QStringLiteral("mobile"));
        row("fk-Cropped_2_1.vcf", 1, {}, {}, {});
        row("kcontacts-vcard3.vcf", 1, {}, {}, {});
        row("ezvcard-rfc2426-example.vcf", 2, {}, {}, {});
    }
    void expectations() {
        QFETCH(QString, file);
        QFETCH(int, contacts);
        QFETCH(QString, name);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = QDir(corpusFolder()).filePath(file);
        const QString dataFile = freshDataFile();
        auto store = Store::open(dataFile);
        const ImportSummary summary = Importer(*store, dataFile).run(readAny(path, bytesOf(path)), {});
        QVERIFY2(summary.failure.isEmpty(), qPrintable(summary.failure));
        QCOMPARE(summary.imported(), contacts);
        QCOMPARE(store->contactCount(), contacts);
        const ContactFields first = *store->loadContact(QStringLiteral("friend1"));
        if (!name.isEmpty())
            QCOMPARE(first.name, name);
        QVERIFY2(!first.name.trimmed().isEmpty(), "every contact has a name");
        if (key == u"mobile")
            QCOMPARE(first.mobile, value);
        else if (key == u"email")
            QCOMPARE(first.email, value);
        else if (key == u"address")
            QVERIFY2(first.address.contains(value), qPrintable(first.address));
        else if (key == u"photo")
            QVERIFY2(first.photo.endsWith(u'.' + value), qPrintable(first.photo));
    }

    // Import, export as vCard 3.0, import that into a new data file and export again: every property of
    // the file is in the first export, and the second export has exactly the first one's properties.
    void roundTrip_data() {
        QTest::addColumn<QString>("file");
        const QStringList files =
            QDir(corpusFolder()).entryList({QStringLiteral("*.vcf"), QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
        for (const QString& file : files)
            QTest::newRow(qPrintable(file)) << file;
    }
    void roundTrip() {
        QFETCH(QString, file);
        const QString path = QDir(corpusFolder()).filePath(file);
        const QByteArray original = bytesOf(path);
        const ImportBatch read = readAny(path, original);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));

        auto importAndExport = [&](const ImportBatch& batch, ImportSummary* summary) {
            const QString dataFile = freshDataFile();
            auto store = Store::open(dataFile);
            *summary = Importer(*store, dataFile).run(batch, {});
            return Exporter(*store).build(ExportSelection::all(), ExportFormat::VCard30);
        };
        ImportSummary first, second;
        const QByteArray once = importAndExport(read, &first);
        const QByteArray twice = importAndExport(VCardReader::read(once), &second);
        QVERIFY2(first.skipped.empty(), qPrintable(first.text()));
        QCOMPARE(first.imported(), int(read.records.size()));
        QCOMPARE(second.imported(), first.imported());

        QStringList report;
        const int lost = missing(propertiesOf(read), propertiesOf(VCardReader::read(once)), &report);
        const int drift =
            missing(propertiesOf(VCardReader::read(once)), propertiesOf(VCardReader::read(twice)), &report) +
            missing(propertiesOf(VCardReader::read(twice)), propertiesOf(VCardReader::read(once)), &report);
        totals.files += 1;
        totals.cards += first.total;
        totals.imported += first.imported();
        totals.kept += first.keptProperties;
        totals.differences += lost + drift;
        QVERIFY2(lost + drift == 0, qPrintable(report.join(u'\n')));
    }

    void cleanupTestCase() {
        if (totals.files > 0)
            qInfo("corpus: %d files, %d cards in, %d contacts imported, %d properties kept, %d round-trip differences",
                  totals.files, totals.cards, totals.imported, totals.kept, totals.differences);
    }
};

QTEST_GUILESS_MAIN(TestRealWorld)
#include "tst_realworld.moc"
