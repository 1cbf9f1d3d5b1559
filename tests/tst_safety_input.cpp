// Bad input through every door: settings that are not numbers or are far out of range, names and
// fields with quotes, wildcards, backslashes, NUL characters, 100 KB of pasted text, emoji and
// right-to-left text, and stored dates that are not dates. Nothing fails, nothing is injected,
// nothing is stored but what was given.
#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "core/exchange/Importer.h"
#include "gui/forms/RecordForm.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "core/rules/NextBirthdays.h"
#include "core/rules/SearchBuilder.h"
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "support/DbDump.h"
#include "core/text/TypedDate.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>
#include <random>

namespace {

QString pasted100k() {
    QString text;
    const QString line = QStringLiteral("粘贴进来的一大段文字, with ASCII too; ");
    while (text.toUtf8().size() < 100 * 1024)
        text += line;
    return text;
}

const QStringList& settingKeys() {
    static const QStringList keys{setting::Day, setting::Birthday, setting::State, setting::Left,
                                  setting::Top, setting::Height,   setting::Width, setting::Toolbar};
    return keys;
}

bool onSomeScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(frame))
            return true;
    }
    return false;
}

} // namespace

class TestSafetyInput : public QObject {
    Q_OBJECT

    int inputsTried = 0;
    QByteArray oneContact; // a data file with one group and one person

private slots:
    void initTestCase() {
        Fixture fx;
        fx.addContact(fx.addGroup(QStringLiteral("同学")), QStringLiteral("张三"), QDate(1990, 3, 12));
        fx.state.Conn.reset();
        QFile f(fx.paths.data);
        QVERIFY(f.open(QIODevice::ReadOnly));
        oneContact = f.readAll();
    }

    // ---- settings ----

    void badSetting_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QStringList values{QStringLiteral("abc"),          QString(),
                                 QStringLiteral("   "),          QStringLiteral("-1"),
                                 QStringLiteral("-32769"),       QStringLiteral("32768"),
                                 QStringLiteral("2147483648"),   QStringLiteral("-2147483649"),
                                 QStringLiteral("1e9"),          QStringLiteral("-1e9"),
                                 QStringLiteral("3.2e10"),       QStringLiteral("-3.2e10"),
                                 QStringLiteral("32212245000"), // INT_MAX - 647 pixels
                                 QStringLiteral("1e300"),        QStringLiteral("-1e300"),
                                 QStringLiteral("nan"),          QStringLiteral("inf"),
                                 QStringLiteral("-inf"),         QStringLiteral("0x10"),
                                 QStringLiteral("1.5"),          QStringLiteral("１０"),
                                 QString(400, QLatin1Char('9')), QStringLiteral("10; drop table phone")};
        for (const QString& key : settingKeys()) {
            for (const QString& value : values)
                QTest::addRow("%s = '%s'", qPrintable(key), qPrintable(value.left(12))) << key << value;
        }
    }
    void badSetting() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        ++inputsTried;
        Fixture fx;
        {
            QFile f(fx.paths.data);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(oneContact);
        }
        fx.settings->setText(key, value);
        if (key != setting::Birthday)
            fx.settings->setText(setting::Birthday, QStringLiteral("1")); // the reminder runs with the day count
        Frm_main& window = fx.window(true);
        QVERIFY(fx.state.Conn);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY2(onSomeScreen(window.frameGeometry()), qPrintable(QStringLiteral("the window is at %1,%2 %3x%4")
                                                                      .arg(window.x())
                                                                      .arg(window.y())
                                                                      .arg(window.width())
                                                                      .arg(window.height())));
        QVERIFY(window.width() >= 120 && window.height() >= 120);
        QVERIFY(fx.state.RemindDays >= 0 && fx.state.RemindDays <= 30);
        QCOMPARE(window.toolbarAtLeft(), key == setting::Toolbar && value.trimmed() == QStringLiteral("1"));
        // Only the reminder may speak; never a failure.
        for (const Message& m : fx.dialogs.messages)
            QVERIFY2(m.icon != MsgIcon::Warning && m.icon != MsgIcon::Critical, qPrintable(m.text));
        QCOMPARE(fx.state.Conn->contactCount(), 1);
        window.close();
    }

    void reminderDaysAreKeptInRange_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("days");
        QTest::newRow("missing") << QString() << 10;
        QTest::newRow("in range") << "7" << 7;
        QTest::newRow("today only") << "0" << 0;
        QTest::newRow("largest") << "30" << 30;
        QTest::newRow("negative") << "-3" << 0;
        QTest::newRow("too many") << "45" << 30;
        QTest::newRow("beyond a 16-bit number") << "40000" << 30;
        QTest::newRow("text") << "abc" << 10;
    }
    void reminderDaysAreKeptInRange() {
        QFETCH(QString, stored);
        QFETCH(int, days);
        Fixture fx;
        if (!stored.isNull())
            fx.settings->setText(setting::Day, stored);
        fx.window();
        QCOMPARE(fx.state.RemindDays, days);
    }

    // ---- texts through the store, the tree and the list ----

    void textsStoredExactly_data() { awkwardTexts(); }
    void searchTextsMatchOnlyThemselves_data() { awkwardTexts(); }
    void recordFormStoresWhatTheBoxesHold_data() { awkwardTexts(); }

    void awkwardTexts() {
        QTest::addColumn<QString>("text");
        QTest::newRow("single quotes") << "O'Brien's ''quoted''";
        QTest::newRow("double quotes") << "\"引号\" and \"\"";
        QTest::newRow("wildcards") << "100%_done % _ %%";
        QTest::newRow("backslashes") << "C:\\path\\to\\ \\' \\%";
        QTest::newRow("NUL inside") << QString::fromUtf16(u"前\0后", 3);
        QTest::newRow("NUL only") << QString(1, QChar(u'\0'));
        QTest::newRow("statement") << "x'); drop table phone; --";
        QTest::newRow("statement in double quotes") << "x\"); delete from 分类; --";
        QTest::newRow("100 KB pasted") << pasted100k();
        QTest::newRow("emoji") << QStringLiteral("👨‍👩‍👧‍👦🎂🇨🇳 生日快乐 😀");
        QTest::newRow("right-to-left") << QStringLiteral("مرحبا بالعالم שלום \u202Eabc\u202C \u200F");
        QTest::newRow("control characters") << QStringLiteral("tab\there\r\nline\x01\x1b end");
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("combining marks") << QStringLiteral("e\u0301 a\u0308 한\u1100");
        QTest::newRow("empty") << QString();
    }
    void textsStoredExactly() {
        QFETCH(QString, text);
        ++inputsTried;
        Fixture fx;
        Store& store = fx.open();
        const QString other = store.addGroup(QStringLiteral("别的组"));
        const QString bystander = store.addContact(contact(other, QStringLiteral("旁人")));
        const QString schemaBefore = dumpDatabase(storeDb(store).getHandle()).section(QStringLiteral("\n--"), 0, 0);

        const QString group = store.addGroup(text);
        ContactFields f = contact(group, text);
        for (QString* field : {&f.mobile, &f.workPhone, &f.homePhone, &f.fax, &f.address, &f.postcode, &f.qq, &f.icq,
                               &f.msn, &f.email, &f.nickname, &f.remarks, &f.photo})
            *field = text;
        const QString key = store.addContact(f);

        // Read back through every way the program reads.
        QCOMPARE(store.groups().back().name, text);
        QCOMPARE(store.loadContact(key), std::optional<ContactFields>(f));
        RowTable rows;
        store.listByKey(key, rows);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.qtext(0, RowTable::NameColumn), text);
        QCOMPARE(rows.qtext(0, RowTable::Columns - 1), text); // 备注
        RowTable inGroup;
        store.listByGroup(group, inGroup);
        QCOMPARE(inGroup.rowCount(), 1);
        int seen = 0;
        store.forEachTreeContact([&](std::string_view k, std::string_view g, std::string_view name) {
            if (QString::fromUtf8(k.data(), qsizetype(k.size())) == key) {
                ++seen;
                QCOMPARE(QString::fromUtf8(g.data(), qsizetype(g.size())), group);
                QCOMPARE(QString::fromUtf8(name.data(), qsizetype(name.size())), text);
            }
        });
        QCOMPARE(seen, 1);

        // Renames store the text as given, too; nothing else changes.
        store.renameGroup(other, text + QStringLiteral("2"));
        store.renameContact(bystander, text + QStringLiteral("3"));
        QCOMPARE(store.groups().front().name, text + QStringLiteral("2"));
        QCOMPARE(store.loadContact(bystander)->name, text + QStringLiteral("3"));
        QCOMPARE(store.contactCount(), 2);
        QCOMPARE(int(store.groups().size()), 2);
        QCOMPARE(dumpDatabase(storeDb(store).getHandle()).section(QStringLiteral("\n--"), 0, 0), schemaBefore);
        QCOMPARE(integrityOf(storeDb(store).getHandle()), QStringLiteral("ok"));

        // The window shows them as they are.
        fx.state.Conn.reset();
        Frm_main& window = fx.window();
        GroupTreeModel* tree = window.treeModel();
        const QModelIndex groupNode = tree->indexForKey(group);
        QVERIFY(groupNode.isValid());
        QCOMPARE(groupNode.data().toString(), text);
        QCOMPARE(tree->indexForKey(key).data().toString(), text);
        const int row = window.listModel()->rowOfKey(key);
        QVERIFY(row >= 0);
        QCOMPARE(window.listModel()->index(row, 0).data().toString(), text);
        QCOMPARE(window.listModel()->index(row, 13).data().toString(), text); // 备注
        window.close();
        QCOMPARE(dumpFile(fx.paths.backup), dumpFile(fx.paths.data));
    }

    // A search box text is looked for as it is: its quotes, wildcards and backslashes match only
    // themselves, in the remarks box (plain "contains") and in the name box (which adds pinyin).
    void searchTextsMatchOnlyThemselves() {
        QFETCH(QString, text);
        if (text.isEmpty())
            return; // an empty box is not a condition
        ++inputsTried;
        Fixture fx;
        Store& store = fx.open();
        Transaction setUp = store.transaction(); // one commit for the whole set-up
        const QString group = store.addGroup(QStringLiteral("组"));
        // What the text's wildcards would match if they were not escaped, and near misses.
        QString loose = text;
        loose.replace(QLatin1Char('%'), QStringLiteral("ab")).replace(QLatin1Char('_'), QStringLiteral("c"));
        loose.remove(QLatin1Char('\\'));
        const QStringList remarks{QStringLiteral("前") + text + QStringLiteral("后"),
                                  text,
                                  loose,
                                  text.left(text.size() / 2),
                                  QStringLiteral("无关的备注"),
                                  QString()};
        std::map<QString, QString> remarkOf;
        for (int i = 0; i < remarks.size(); ++i) {
            ContactFields f = contact(group, QStringLiteral("人%1").arg(i));
            f.remarks = remarks[i];
            remarkOf[store.addContact(f)] = remarks[i];
        }
        ContactFields named = contact(group, text);
        const QString namedKey = store.addContact(named);
        remarkOf[namedKey] = QString();
        setUp.commit();

        search::BoxTexts boxes;
        boxes[13] = text; // 备注
        RowTable found;
        store.listQuery(search::buildQuery(boxes), found);
        QSet<QString> expected, got;
        for (const auto& [key, remark] : remarkOf) {
            if (remark.contains(text, Qt::CaseInsensitive))
                expected.insert(key);
        }
        for (int row = 0; row < found.rowCount(); ++row)
            got.insert(found.key(row));
        QCOMPARE(got, expected);
        QVERIFY(got.size() >= 2);

        search::BoxTexts byName;
        byName[0] = text;
        RowTable people;
        store.listQuery(search::buildQuery(byName), people);
        QVERIFY(people.findKey(namedKey.toStdString()) >= 0);
        QCOMPARE(store.contactCount(), int(remarks.size()) + 1);
        QCOMPARE(integrityOf(storeDb(store).getHandle()), QStringLiteral("ok"));
    }

    // The same texts typed (or pasted) into every box of the record form: what is stored is exactly
    // what the boxes hold (the name without its outer blanks), and an empty name is refused.
    void recordFormStoresWhatTheBoxesHold() {
        QFETCH(QString, text);
        ++inputsTried;
        Fixture fx;
        Store& store = fx.open();
        store.addGroup(QStringLiteral("组"));
        fx.state.Conn.reset();
        Frm_main& window = fx.window();
        fx.state.EditFlag = true;
        QPointer<frm_detail> form = new frm_detail(window.view(), frm_detail::Mode::Add);
        form->show();
        // The photo box stays empty: a photo must be a picture file (kept in photos/), else it is refused.
        for (int n = 1; n <= 14; ++n)
            box(*form, n)->setText(text);
        QStringList held;
        for (int n = 1; n <= 15; ++n)
            held << box(*form, n)->text();
        // The birthday box holds no date: the save asks once, and goes on after a yes.
        const bool asks = !text.trimmed().isEmpty();
        if (asks)
            fx.dialogs.answers.push_back(MsgAnswer::Yes);
        form->Toolbar1_ButtonClick(QStringLiteral("savebutt"));
        if (text.isEmpty()) {
            QCOMPARE(fx.dialogs.texts(), QStringList{QStringLiteral("您没有输入姓名,不能保存")});
            QCOMPARE(fx.state.Conn->contactCount(), 0);
            return;
        }
        QCOMPARE(fx.dialogs.texts(), asks ? QStringList{QStringLiteral("生日无法识别，仍然保存吗？")} : QStringList());
        QVERIFY(!form || !form->isVisible());
        QCOMPARE(fx.state.Conn->contactCount(), 1);
        const std::optional<ContactFields> f = fx.state.Conn->loadContact(fx.state.CurrentContactId);
        QVERIFY(f);
        QCOMPARE(f->name, held[0].trimmed());
        QVERIFY(!f->birthday); // none of these texts is a date
        const QList<const QString*> rest{&f->mobile,   &f->workPhone, &f->homePhone, &f->fax, &f->address,
                                         &f->postcode, &f->qq,        &f->icq,       &f->msn, &f->email,
                                         &f->nickname, &f->remarks,   &f->photo};
        for (int i = 0; i < rest.size(); ++i)
            QVERIFY2(*rest[i] == held[i + 2], qPrintable(QStringLiteral("Text%1").arg(i + 3)));
        QCOMPARE(f->remarks, text); // the remarks box takes any length
        QCOMPARE(integrityOf(storeDb(*fx.state.Conn).getHandle()), QStringLiteral("ok"));
    }

    // Dates typed into the birthday box: a real date is stored, anything else as no date, and the
    // birthday reminder goes on either way.
    void birthdayBoxTexts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("stored"); // invalid: Null
        QTest::newRow("0000-00-00") << "0000-00-00" << QDate();
        QTest::newRow("9999-12-31") << "9999-12-31" << QDate(9999, 12, 31);
        QTest::newRow("2023-02-29") << "2023-02-29" << QDate();
        QTest::newRow("2024-02-29") << "2024-02-29" << QDate(2024, 2, 29);
        QTest::newRow("1980-13-45") << "1980-13-45" << QDate();
        QTest::newRow("blanks around") << "  1980-5-3 " << QDate(1980, 5, 3);
        QTest::newRow("words") << "明天" << QDate();
        // The box holds ten characters: a longer paste keeps its first ten, and they are a date.
        QTest::newRow("longer than the box") << "1980-05-03-1980-05-03" << QDate(1980, 5, 3);
    }
    void birthdayBoxTexts() {
        QFETCH(QString, typed);
        QFETCH(QDate, stored);
        ++inputsTried;
        Fixture fx;
        fx.open().addGroup(QStringLiteral("组"));
        fx.state.Conn.reset();
        Frm_main& window = fx.window();
        fx.state.EditFlag = true;
        QPointer<frm_detail> form = new frm_detail(window.view(), frm_detail::Mode::Add);
        form->show();
        box(*form, 1)->setText(QStringLiteral("寿星"));
        box(*form, 2)->setText(typed);
        // Text that is no date asks before the save; a yes stores no birthday.
        const QStringList asked = stored.isValid() ? QStringList() : QStringList{QStringLiteral("生日无法识别，仍然保存吗？")};
        if (!asked.isEmpty())
            fx.dialogs.answers.push_back(MsgAnswer::Yes);
        form->Toolbar1_ButtonClick(QStringLiteral("savebutt"));
        QCOMPARE(fx.dialogs.texts(), asked);
        fx.dialogs.messages.clear();
        const std::optional<ContactFields> f = fx.state.Conn->loadContact(fx.state.CurrentContactId);
        QVERIFY(f);
        QCOMPARE(f->birthday.value_or(QDate()), stored);
        window.Toolbar1_ButtonMenuClick(QStringLiteral("birthday"));
        QCOMPARE(fx.dialogs.messages.size(), 1);
        QVERIFY2(fx.dialogs.last().icon != MsgIcon::Warning, qPrintable(fx.dialogs.last().text));
    }

    // ---- files handed to the import ----

    void importOfBadFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        std::mt19937 random(11);
        QByteArray noise(64 * 1024, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:%1\r\nNOTE:%1\r\nEND:VCARD\r\n";
        auto cardOf = [&](const QByteArray& text) { return QByteArray(card).replace("%1", text); };
        QTest::newRow("empty vCard") << "a.vcf" << QByteArray();
        QTest::newRow("random bytes as vCard") << "b.vcf" << noise;
        QTest::newRow("random bytes as CSV") << "c.csv" << noise;
        QTest::newRow("picture named vCard") << "d.vcf" << QByteArray("\x89PNG\r\n\x1a\n", 8) + noise.left(2000);
        QTest::newRow("card without its end") << "e.vcf" << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:半张");
        QTest::newRow("NUL in a card") << "f.vcf" << cardOf(QByteArray("前\0后", 7));
        QTest::newRow("statement in a card") << "g.vcf" << cardOf("x'); drop table phone; --");
        QTest::newRow("quotes and wildcards") << "h.vcf" << cardOf("O'Brien \"100%_\" \\\\ 😀 مرحبا");
        QTest::newRow("one line of 1 MB") << "i.vcf" << QByteArray(1024 * 1024, 'x');
        QTest::newRow("card of 1 MB") << "j.vcf" << cardOf(QByteArray(1024 * 1024, 'y'));
        QTest::newRow("CSV header only") << "k.csv" << QByteArray("姓名,生日,移动电话\r\n");
        QTest::newRow("CSV with odd cells") << "l.csv"
                                            << QByteArray("姓名,生日,备注\r\n\"x'); drop table 分类; "
                                                          "--\",0000-00-00,\"a,\"\"b\"\"\r\n\"未闭合,9999-12-31\r\n");
    }
    void importOfBadFiles() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        ++inputsTried;
        Fixture fx;
        Store& store = fx.open();
        store.addGroup(QStringLiteral("组"));
        const QString before = dumpDatabase(storeDb(store).getHandle());
        const QString path = fx.dir.filePath(name);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const ImportSummary summary = Importer(store, fx.paths.data).runFile(path, {});
        QCOMPARE(integrityOf(storeDb(store).getHandle()), QStringLiteral("ok"));
        if (!summary.failure.isEmpty()) {
            QCOMPARE(dumpDatabase(storeDb(store).getHandle()), before); // nothing written
            return;
        }
        QCOMPARE(store.contactCount(), summary.added);
        QVERIFY(summary.added + int(summary.skipped.size()) <= summary.total);
        QStringList tables;
        {
            SQLite::Statement read(storeDb(store), "select name from sqlite_master where type = 'table'");
            while (read.executeStep())
                tables << QString::fromStdString(read.getColumn(0).getString());
        }
        for (const QString& table : tables)
            QVERIFY2(QStringList({"phone", "分类", "sqlite_sequence", "pinyin", "zinteva_meta", "zinteva_uid",
                                  "zinteva_kept", "zinteva_deleted", "zinteva_sync_change", "zinteva_sync_seq",
                                  "zinteva_sync_card", "zinteva_sync_state", "zinteva_sync_conflict",
                                  "zinteva_lunar_birthdays", "zinteva_values"})
                         .contains(table),
                     qPrintable(table));
        // Every imported person is in a group that exists, and shows in the window.
        fx.state.Conn.reset();
        Frm_main& window = fx.window();
        QCOMPARE(window.treeModel()->contactCount(), summary.added);
    }

    // ---- stored dates that are not dates ----

    void oddStoredDates() {
        Fixture fx(QDate(2025, 3, 10));
        Store& store = fx.open();
        const QString group = store.addGroup(QStringLiteral("日期"));
        struct Odd {
            const char* name;
            std::function<void(SQLite::Statement&)> bind; // binds 生日 as parameter 1
            std::optional<QDate> next;                    // nowbirthday after the pass
            std::optional<QDate> birthday;                // what the list shows as a date
            const char* shown;                            // else the list's text; nullptr: any
        };
        auto text = [](const char* t) { return [t](SQLite::Statement& s) { s.bind(1, t); }; };
        const QList<Odd> odd{
            {"0000-00-00", text("0000-00-00"), std::nullopt, std::nullopt, "0000-00-00"},
            {"9999-12-31", text("9999-12-31"), QDate(2025, 12, 31), QDate(9999, 12, 31), nullptr},
            {"2023-02-29", text("2023-02-29"), std::nullopt, std::nullopt, "2023-02-29"},
            {"2024-02-29", text("2024-02-29"), QDate(2025, 3, 1), QDate(2024, 2, 29), nullptr},
            {"0001-01-01", text("0001-01-01"), QDate(2025, 1, 1), QDate(1, 1, 1), nullptr},
            {"2023-13-45", text("2023-13-45"), std::nullopt, std::nullopt, "2023-13-45"},
            {"-001-01-01", text("-001-01-01"), std::nullopt, std::nullopt, "-001-01-01"},
            {"1980-1-1", text("1980-1-1"), std::nullopt, std::nullopt, "1980-1-1"},
            {"with time", text("1980-03-12 12:00:00"), QDate(2025, 3, 12), QDate(1980, 3, 12), nullptr},
            {"empty", text(""), std::nullopt, std::nullopt, ""},
            {"words", text("生日不详"), std::nullopt, std::nullopt, "生日不详"},
            {"integer", [](SQLite::Statement& s) { s.bind(1, 19800101); }, std::nullopt, std::nullopt, "19800101"},
            {"real", [](SQLite::Statement& s) { s.bind(1, 3.5); }, std::nullopt, std::nullopt, "3.5"},
            {"blob", [](SQLite::Statement& s) { s.bind(1, "\x00\xff", 2); }, std::nullopt, std::nullopt, nullptr},
            {"NUL", [](SQLite::Statement& s) { s.bind(1, std::string("1980\0-03-12", 11)); }, std::nullopt,
             std::nullopt, nullptr},
            {"null", [](SQLite::Statement& s) { s.bind(1); }, std::nullopt, std::nullopt, ""},
        };
        QStringList keys;
        for (const Odd& o : odd) {
            const QString key = store.addContact(contact(group, QString::fromLatin1(o.name)));
            SQLite::Statement write(storeDb(store), "update phone set 生日 = ?, nowbirthday = ? where friendid = ?");
            o.bind(write);
            write.bind(2, "9999-99-99"); // whatever an old file held
            write.bind(3, key.toStdString());
            write.exec();
            keys << key;
        }
        inputsTried += int(odd.size());
        fx.state.Conn.reset();

        fx.settings->setText(setting::Day, QStringLiteral("5"));
        Frm_main& window = fx.window(true);
        QVERIFY(fx.state.Conn);
        for (const Message& m : fx.dialogs.messages)
            QVERIFY2(m.icon != MsgIcon::Warning && m.icon != MsgIcon::Critical, qPrintable(m.text));
        // 2024-02-29 falls on 1 March this year, outside the window; 1980-03-12 is inside.
        QCOMPARE(fx.dialogs.texts(), QStringList{QStringLiteral("最近 5 天有 1 位过生日的好友")});
        QCOMPARE(window.treeModel()->contactCount(), int(odd.size()));

        Store& again = *fx.state.Conn;
        for (int i = 0; i < odd.size(); ++i) {
            SQLite::Statement read(storeDb(again), "select nowbirthday from phone where friendid = ?");
            read.bind(1, keys[i].toStdString());
            QVERIFY(read.executeStep());
            const SQLite::Column value = read.getColumn(0);
            const std::optional<QDate> next =
                value.isNull() ? std::nullopt : parseStoredDate(std::string_view(value.getText(), value.getBytes()));
            QVERIFY2(next == odd[i].next, odd[i].name);
            QVERIFY2(value.isNull() == !odd[i].next, odd[i].name); // nothing but a date or Null is written
        }

        // The whole list: every row; a date in the Chinese short form, anything else as stored.
        window.TV()->setCurrentIndex(window.treeModel()->rootIndex());
        TV_NodeClick(window.view(), window.treeModel()->rootIndex());
        ContactListModel* list = window.listModel();
        QCOMPARE(list->rowCount(), int(odd.size()));
        for (int i = 0; i < odd.size(); ++i) {
            const QString cell = list->index(list->rowOfKey(keys[i]), 1).data().toString();
            if (odd[i].birthday)
                QCOMPARE(cell, birthdayText(*odd[i].birthday));
            else if (odd[i].shown)
                QCOMPARE(cell, QString::fromUtf8(odd[i].shown));
        }
        for (int i = 0; i < odd.size(); ++i)
            QVERIFY(again.loadContact(keys[i]).has_value());
        window.close();
        QCOMPARE(integrityOfFile(fx.paths.data), QStringLiteral("ok"));
    }

    void cleanupTestCase() { qInfo("bad inputs tried: %d", inputsTried); }
};

QTEST_MAIN(TestSafetyInput)
#include "tst_safety_input.moc"
