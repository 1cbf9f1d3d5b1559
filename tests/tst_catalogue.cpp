// Every field of the catalogue through every operation on a whole person: saved, deleted and
// restored, undone and redone, merged, exported as vCard 3.0, 4.0 and CSV and imported again,
// written to a sync card and read back, marked in the change log, and read from a file longer than
// the field takes. The rows are made from the catalogue, so a field added there is tested here.
#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/rules/DirectorySession.h"
#include "core/rules/Duplicates.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/Store.h"
#include "core/sync/SyncCard.h"
#include "core/text/Keys.h"
#include "support/SessionFixture.h"
#include "support/StoreProbe.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

using catalogue::Field;
using catalogue::FieldInfo;

Q_DECLARE_METATYPE(catalogue::Field)

namespace {

const QString SampleName = QStringLiteral("张𠀀三");
const QString SampleGroup = QStringLiteral("同事𠀀");
const LunarBirthday SampleLunar{1950, 12, 8, false};

// A picture of one pixel, so that the export embeds it.
const QByteArray Png = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==");

// A value of a text field that no other field has, with a character outside the BMP.
QString sampleText(Field field) {
    switch (field) {
    case Field::Mobile:
        return QStringLiteral("+86 138 0013 8000");
    case Field::WorkPhone:
        return QStringLiteral("010-6655 7788");
    case Field::HomePhone:
        return QStringLiteral("021-1234 5678");
    case Field::Fax:
        return QStringLiteral("010-8888 9999");
    case Field::Postcode:
        return QStringLiteral("100080");
    case Field::Qq:
        return QStringLiteral("123456789");
    case Field::Icq:
        return QStringLiteral("44556677");
    case Field::Msn:
        return QStringLiteral("zhang@hotmail.com");
    case Field::Email:
        return QStringLiteral("zhang.san@example.cn");
    case Field::Remarks:
        return QStringLiteral("第一行 𠀀\n第二行：逗号, 分号; 反斜杠\\");
    default:
        return QString::fromUtf16(catalogue::info(field).label) + QStringLiteral(" 𠀀 值");
    }
}

// A typed value as a phone would send it, and the label the program shows beside it.
QString typedSample(Field field) {
    switch (field) {
    case Field::Phone:
        return QStringLiteral("+86 139 0000 1111");
    case Field::OtherEmail:
        return QStringLiteral("zhang.san@work.example.cn");
    case Field::OtherAddress:
        return QStringLiteral(";;中关村大街27号 𠀀;北京市;北京市;100080;中国");
    case Field::Organization:
        return QStringLiteral("示例科技有限公司;研发部 𠀀");
    case Field::Url:
        return QStringLiteral("https://example.cn/张三");
    case Field::Anniversary:
        return QStringLiteral("2010-10-01");
    default:
        return sampleText(field);
    }
}
QString typedLabel(Field field) {
    switch (field) {
    case Field::Phone:
        return QStringLiteral("工作");
    case Field::OtherEmail:
    case Field::OtherAddress:
        return QStringLiteral("工作");
    case Field::Im:
        return QStringLiteral("skype");
    default:
        return {};
    }
}

} // namespace

class TestCatalogue : public QObject, private SessionFixture {
    Q_OBJECT

    QString picture;

    // The person every row starts from: the sample name in 同学, nothing else.
    ContactFields base() { return person(classmates, SampleName); }
    // The same before the field was set: for the name's rows, another name.
    ContactFields before(Field field) {
        return field == Field::Name ? person(classmates, QStringLiteral("旧名")) : base();
    }

    // The field's sample value put into a person.
    void set(Field field, ContactFields& f, Store& store) {
        const FieldInfo& info = catalogue::info(field);
        switch (field) {
        case Field::Group:
            f.groupKey = groupNamed(store, SampleGroup, true);
            return;
        case Field::Birthday:
            f.birthday = QDate(1985, 5, 17);
            return;
        case Field::LunarBirthday:
            f.lunarBirthday = SampleLunar;
            f.birthday = SampleLunar.gregorian();
            return;
        case Field::Photo:
            f.photo = picture;
            return;
        default:
            if (info.storage == catalogue::Storage::Typed) {
                // A second number, e-mail or address: the column of its kind holds the first.
                if (field == Field::Phone)
                    f.workPhone = QStringLiteral("010-1111 2222");
                else if (field == Field::OtherEmail)
                    f.email = QStringLiteral("first@example.cn");
                else if (field == Field::OtherAddress)
                    f.address = QStringLiteral("第一个地址");
                f.values.push_back({field, typedLabel(field), typedSample(field), QString()});
                return;
            }
            QVERIFY(info.text);
            f.*info.text = field == Field::Name ? SampleName : sampleText(field);
        }
    }

    static QString groupNamed(Store& store, const QString& name, bool create) {
        for (const GroupRow& g : store.groups())
            if (g.name == name)
                return g.key;
        return create ? store.addGroup(name) : QString();
    }

    // What the field holds for the user, the same whichever data file or path holds it.
    static QString shown(Field field, Store& store, const ContactFields& f) {
        switch (field) {
        case Field::Group:
            for (const GroupRow& g : store.groups())
                if (g.key == f.groupKey)
                    return g.name;
            return {};
        case Field::Birthday:
            return f.birthday ? storedDate(*f.birthday) : QString();
        case Field::LunarBirthday:
            return f.lunarBirthday ? lunarBirthdayValue(*f.lunarBirthday) : QString();
        case Field::Photo: {
            QFile file(f.photo);
            return f.photo.isEmpty() || !file.open(QIODevice::ReadOnly)
                       ? f.photo
                       : QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        }
        default:
            if (catalogue::info(field).storage == catalogue::Storage::Typed) {
                QStringList values;
                for (const TypedValue& value : f.values) {
                    if (value.field == field)
                        values << value.label + u'=' + value.value;
                }
                return values.join(u'|');
            }
            return f.*catalogue::info(field).text;
        }
    }
    QString shown(Field field, Store& store, const QString& key) {
        const std::optional<ContactFields> f = store.loadContact(key);
        return f ? shown(field, store, *f) : QStringLiteral("（没有这个人）");
    }
    QString sample(Field field) {
        ContactFields f = base();
        set(field, f, *session->Conn);
        return shown(field, *session->Conn, f);
    }
    QString addWith(Field field) {
        ContactFields f = base();
        set(field, f, *session->Conn);
        return session->Conn->addContact(f);
    }

    // Export one person, import the file into an empty data file, and read the person there.
    QString exchanged(Field field, const QString& key, ExportFormat format) {
        const QString file = dir.filePath(format == ExportFormat::CsvUtf8 ? QStringLiteral("one.csv")
                                                                          : QStringLiteral("one.vcf"));
        QString error;
        int count = 0;
        if (!Exporter(*session->Conn).exportToFile(file, ExportSelection::contacts({key}), format, &count, &error))
            return QStringLiteral("export: ") + error;
        const QString other = dir.filePath(QStringLiteral("other/tavrel.mdb"));
        QDir().mkpath(QFileInfo(other).path());
        QFile::remove(other);
        Store::createEmpty(other);
        std::unique_ptr<Store> store = Store::open(other);
        const ImportSummary summary = Importer(*store, other).runFile(file, {});
        if (summary.added != 1)
            return QStringLiteral("import: ") + summary.text();
        QString found;
        store->forEachContact({}, [&](const QString& k, ContactFields&) { found = k; });
        return shown(field, *store, found);
    }

    int changeMarks(const QString& key) {
        SQLite::Statement count(storeDb(*session->Conn), "select count(*) from zinteva_sync_change where friendid = ?");
        count.bind(1, key.toStdString());
        count.executeStep();
        return count.getColumn(0).getInt();
    }

private slots:
    void init() {
        setUp();
        session->enableHistory();
        picture = dir.filePath(QStringLiteral("picture.png"));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Png);
    }
    void cleanup() { tearDown(); }

    void everyFieldThroughEveryOperation_data() {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("operation");
        const QStringList operations{"save",     "delete and restore", "undo and redo", "merge",     "vCard 3.0",
                                     "vCard 4.0", "CSV",               "sync card",     "change log"};
        for (const FieldInfo& info : catalogue::all()) {
            for (const QString& operation : operations) {
                // A CSV file names a photo by its path, and a path from another data file is never read.
                if (info.field == Field::Photo && operation == u"CSV")
                    continue;
                QTest::addRow("%s: %s", info.id, qPrintable(operation)) << info.field << operation;
            }
        }
    }
    void everyFieldThroughEveryOperation() {
        QFETCH(Field, field);
        QFETCH(QString, operation);
        Store& store = *session->Conn;
        const QString expected = sample(field);
        QVERIFY(!expected.isEmpty());
        const QString none = shown(field, store, before(field));

        if (operation == u"save") {
            ContactFields f = base();
            set(field, f, store);
            QVERIFY(session->saveContact(std::nullopt, f).ok);
            QCOMPARE(shown(field, store, session->CurrentContactId), expected);
        } else if (operation == u"delete and restore") {
            const QString key = addWith(field);
            const QString group = store.loadContact(key)->groupKey;
            // The group field goes with its whole group; every other with the person alone.
            QVERIFY(field == Field::Group ? session->deleteNode(group).ok
                                          : session->deleteListRow(key, SampleName, group).ok);
            QVERIFY(!store.loadContact(key));
            std::vector<qint64> ids;
            for (const DeletedContact& d : session->recentlyDeleted())
                if (d.key == key)
                    ids.push_back(d.id);
            QCOMPARE(ids.size(), size_t(1));
            QVERIFY(session->restoreDeleted(ids).ok);
            QCOMPARE(shown(field, store, key), expected);
        } else if (operation == u"undo and redo") {
            const QString key = store.addContact(before(field));
            ContactFields f = base();
            set(field, f, store);
            QVERIFY(session->saveContact(key, f).ok);
            QCOMPARE(shown(field, store, key), expected);
            QVERIFY(session->undo().ok);
            QCOMPARE(shown(field, store, key), none);
            QVERIFY(session->redo().ok);
            QCOMPARE(shown(field, store, key), expected);
        } else if (operation == u"merge") {
            // The person kept had nothing in the field; the one merged into it had the value.
            const QString keep = store.addContact(before(field));
            const QString other = addWith(field);
            ContactFields merged = mergedDefaults({*store.loadContact(keep), *store.loadContact(other)});
            if (field == Field::Group)
                merged.groupKey = store.loadContact(other)->groupKey; // the user's pick of a single value
            QVERIFY(session->mergeContacts(keep, merged, {other}).ok);
            QCOMPARE(shown(field, store, keep), expected);
            QVERIFY(!store.loadContact(other));
        } else if (operation.startsWith(u"vCard") || operation == u"CSV") {
            const ExportFormat format = operation == u"CSV"         ? ExportFormat::CsvUtf8
                                        : operation == u"vCard 3.0" ? ExportFormat::VCard30
                                                                    : ExportFormat::VCard40;
            QCOMPARE(exchanged(field, addWith(field), format), expected);
        } else if (operation == u"sync card") {
            const QString key = addWith(field);
            SyncContact local;
            local.fields = *store.loadContact(key);
            local.group = shown(Field::Group, store, local.fields);
            if (!local.fields.photo.isEmpty()) {
                local.photo = Png;
                local.photoExtension = QStringLiteral("png");
            }
            const QByteArray card = synccard::write(local, QStringLiteral("uid-1"), {});
            QString uid, error;
            const std::optional<SyncContact> server = synccard::read(card, &uid, &error);
            QVERIFY2(server, qPrintable(error));
            QCOMPARE(uid, QStringLiteral("uid-1"));
            // The lunar birthday travels as part of the birthday's value.
            const CardField compared = field == Field::LunarBirthday ? Field::Birthday : field;
            QVERIFY(!synccard::value(local, compared).isEmpty());
            QCOMPARE(synccard::value(*server, compared), synccard::value(local, compared));
        } else if (operation == u"change log") {
            const QString key = store.addContact(before(field));
            storeDb(store).exec("delete from zinteva_sync_change");
            ContactFields f = *store.loadContact(key);
            set(field, f, store);
            store.updateContact(key, f);
            QCOMPARE(changeMarks(key), 1);
        } else {
            QFAIL("unknown operation");
        }
    }

    // A merge loses no number, e-mail or address: what the user did not pick stays beside the pick,
    // as a value of its own kind.
    void mergeKeepsWhatNobodyChose() {
        Store& store = *session->Conn;
        ContactFields a = person(classmates, QStringLiteral("周子敏"), QStringLiteral("13800000001"));
        a.email = QStringLiteral("zm@home.cn");
        a.address = QStringLiteral("杭州");
        ContactFields b = person(classmates, QStringLiteral("周子敏"), QStringLiteral("13900000002"));
        b.email = QStringLiteral("zm@work.cn");
        b.workPhone = QStringLiteral("0571-8888 0000");
        b.values.push_back({Field::WeChat, QString(), QStringLiteral("wx_zm"), QString()});
        const QString keep = store.addContact(a), other = store.addContact(b);
        ContactFields merged = *store.loadContact(keep); // the user picked all of 周子敏 (1)'s values
        QVERIFY(session->mergeContacts(keep, merged, {other}).ok);
        const ContactFields after = *store.loadContact(keep);
        QCOMPARE(after.mobile, QStringLiteral("13800000001"));
        QCOMPARE(after.workPhone, QStringLiteral("0571-8888 0000")); // the empty column took the only work number
        QStringList values;
        for (const TypedValue& value : after.values)
            values << QStringLiteral("%1:%2:%3").arg(QLatin1String(catalogue::info(value.field).id), value.label, value.value);
        QCOMPARE(values, (QStringList{"phone:手机:13900000002", "otheremail:其他:zm@work.cn", "wechat::wx_zm"}));
        QVERIFY(session->undo().ok);
        QCOMPARE(store.loadContact(other)->values.size(), size_t(1));
    }

    // A file's value longer than a field takes is cut to the field's limit, counted in characters
    // (a character outside the BMP is one), and the whole value is written out again on export.
    void longerThanTheField_data() {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("line"); // the property, %1 standing for the value
        for (const FieldInfo& info : catalogue::all()) {
            if (info.storage != catalogue::Storage::Column || !info.text || info.limit <= 0 ||
                info.field == Field::Photo)
                continue;
            const QString types = *info.vcardTypes ? QStringLiteral(";TYPE=") + QLatin1String(info.vcardTypes) : QString();
            QString value = QStringLiteral("%1");
            if (info.field == Field::Address)
                value = QStringLiteral(";;%1;;;;");
            else if (info.field == Field::Postcode)
                value = QStringLiteral(";;;;;%1;");
            QTest::addRow("%s", info.id) << info.field << QLatin1String(info.vcard) + types + u':' + value;
        }
    }
    void longerThanTheField() {
        QFETCH(Field, field);
        QFETCH(QString, line);
        const int limit = catalogue::info(field).limit;
        QString whole;
        for (int i = 0; i <= limit; ++i)
            whole += QStringLiteral("𠀀");
        QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        if (field != Field::Name)
            card += "FN:x\r\n";
        card += line.arg(whole).toUtf8() + "\r\nEND:VCARD\r\n";
        const QString file = dir.filePath(QStringLiteral("long.vcf"));
        QString error;
        QVERIFY(Exporter::saveBytes(file, card, &error));
        Store& store = *session->Conn;
        const ImportSummary summary = Importer(store, dataFile()).runFile(file, {});
        QCOMPARE(summary.added, 1);
        QCOMPARE(summary.warnings.size(), size_t(1));
        QString key;
        store.forEachContact({}, [&](const QString& k, ContactFields& f) {
            if (f.name == u"x" || field == Field::Name)
                key = k;
        });
        const QString stored = shown(field, store, key);
        QCOMPARE(catalogue::characters(stored), qsizetype(limit));
        QCOMPARE(stored, whole.left(2 * limit));
        QByteArray out = Exporter(store).build(ExportSelection::contacts({key}), ExportFormat::VCard30, nullptr, &error);
        out.replace("\r\n ", "");
        QVERIFY2(out.contains(whole.toUtf8()), out.constData());
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
