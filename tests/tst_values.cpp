// A person's lists of values: the columns stand for the first value of their kind both ways, and the
// filter line and the search find a person by every number, e-mail address, 微信, 单位 and 职务.
#include "core/rules/ListFilter.h"
#include "core/rules/SearchBuilder.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "core/store/ValueLists.h"
#include "support/StatementCounter.h"
#include "support/StoreFixture.h"

#include <QTest>

using catalogue::Field;

namespace {

// "T手机=138": a number labelled 手机; "E工作=a@b": an e-mail address; "W=wx": a 微信 ID.
TypedValue row(const QString& text) {
    const Field field = text[0] == u'T' ? Field::Phone : text[0] == u'E' ? Field::OtherEmail : Field::WeChat;
    const qsizetype equals = text.indexOf(u'=');
    return {field, text.mid(1, equals - 1), text.mid(equals + 1), QString()};
}
std::vector<TypedValue> rows(const QStringList& texts) {
    std::vector<TypedValue> out;
    for (const QString& text : texts)
        out.push_back(row(text));
    return out;
}
QStringList texts(const std::vector<TypedValue>& values) {
    QStringList out;
    for (const TypedValue& v : values) {
        const char kind = v.field == Field::Phone ? 'T' : v.field == Field::OtherEmail ? 'E' : 'W';
        out << QString(QChar(kind)) + v.label + u'=' + v.value;
    }
    return out;
}
// 移动电话, 工作电话, 家庭电话, 传真号码, 邮件地址.
QStringList columns(const ContactFields& f) {
    return {f.mobile, f.workPhone, f.homePhone, f.fax, f.email};
}

} // namespace

class TestValues : public QObject {
    Q_OBJECT

private slots:
    void columnsTakeTheFirstOfTheirKind_data() {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("values");
        const QStringList none{"", "", "", "", ""};
        QTest::newRow("first mobile") << QStringList{"T手机=1", "T手机=2"} << QStringList{"1", "", "", "", ""}
                                      << QStringList{"T手机=2"};
        QTest::newRow("each kind its column")
            << QStringList{"T工作=3", "T手机=1", "T家庭=4", "T传真=5", "E=a@x"} << QStringList{"1", "3", "4", "5", "a@x"}
            << QStringList{};
        QTest::newRow("a label of no column stays a value")
            << QStringList{"T其他=9", "T工作传真=8", "T手机=1"} << QStringList{"1", "", "", "", ""}
            << QStringList{"T其他=9", "T工作传真=8"};
        QTest::newRow("an empty row is dropped, the next one is first")
            << QStringList{"T手机=", "T手机=2"} << QStringList{"2", "", "", "", ""} << QStringList{};
        QTest::newRow("any e-mail label") << QStringList{"E家庭=h@x", "E工作=w@x"} << QStringList{"", "", "", "", "h@x"}
                                          << QStringList{"E工作=w@x"};
        QTest::newRow("微信 is never a column") << QStringList{"W=wx"} << none << QStringList{"W=wx"};
        QTest::newRow("relabelled: the next 手机 is the mobile")
            << QStringList{"T家庭=1", "T手机=2"} << QStringList{"2", "", "1", "", ""} << QStringList{};
    }
    void columnsTakeTheFirstOfTheirKind() {
        QFETCH(QStringList, given);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, values);
        ContactFields f;
        f.mobile = "old"; // every column is made anew from the rows
        valuelists::gather(f, rows(given));
        QCOMPARE(::columns(f), columns);
        QCOMPARE(texts(f.values), values);
        // and back: the lists show the columns first, and give the same person again
        ContactFields again;
        valuelists::gather(again, valuelists::spread(f));
        QCOMPARE(again, f);
        // the store's rule agrees with the form's
        ContactFields stored;
        stored.values = rows(given);
        stored.values.erase(std::remove_if(stored.values.begin(), stored.values.end(),
                                           [](const TypedValue& v) { return v.value.isEmpty(); }),
                            stored.values.end());
        firstValuesIntoColumns(stored);
        QCOMPARE(::columns(stored), columns);
    }

    void aRowFromACardKeepsItsLineUntilEdited() {
        std::vector<TypedValue> given{{Field::Phone, "手机", "", "TEL;TYPE=CELL:"}, row("T手机=2")};
        ContactFields f;
        valuelists::gather(f, given);
        QCOMPARE(f.mobile, QString("2"));
        QCOMPARE(f.values.size(), size_t(1)); // the empty one as it came
        QCOMPARE(f.values[0].line, QString("TEL;TYPE=CELL:"));
        valuelists::setColumn(given, valuelists::columnKinds()[0], "9");
        QCOMPARE(given[0].value, QString("9"));
        QVERIFY(given[0].line.isEmpty());
    }

    void aColumnBoxEditsItsRow_data() {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<int>("column"); // in valuelists::columnKinds()
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the first of its kind") << QStringList{"T手机=1", "T手机=2"} << 0 << "9"
                                               << QStringList{"T手机=9", "T手机=2"};
        QTest::newRow("none yet: after the last number")
            << QStringList{"T手机=1", "E=a@x"} << 1 << "3" << QStringList{"T手机=1", "T工作=3", "E=a@x"};
        QTest::newRow("none yet, no number: at the end") << QStringList{"E=a@x"} << 3 << "5"
                                                         << QStringList{"E=a@x", "T传真=5"};
        QTest::newRow("emptied: the row stays, empty") << QStringList{"T家庭=4"} << 2 << ""
                                                       << QStringList{"T家庭="};
        QTest::newRow("nothing typed adds nothing") << QStringList{} << 2 << "" << QStringList{};
        QTest::newRow("e-mail: the first of any label") << QStringList{"E工作=w@x"} << 4 << "x@y"
                                                        << QStringList{"E工作=x@y"};
    }
    void aColumnBoxEditsItsRow() {
        QFETCH(QStringList, given);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        std::vector<TypedValue> list = rows(given);
        valuelists::setColumn(list, valuelists::columnKinds()[static_cast<size_t>(column)], typed);
        QCOMPARE(texts(list), expected);
    }

    void structuredPartsRoundTrip() {
        // ADR: post box;extended;street;locality;region;postal code;country, escapes undone
        const QString adr = "; 海淀区;中关村大街27号\\, 3层;北京市;北京;100080;中国";
        const QStringList parts = valuelists::structuredParts(adr);
        QCOMPARE(parts, (QStringList{"", " 海淀区", "中关村大街27号, 3层", "北京市", "北京", "100080", "中国"}));
        QCOMPARE(valuelists::joinParts(parts, 7), adr);
        QCOMPARE(valuelists::joinParts({"星辰;科技", "", ""}, 1), QString("星辰\\;科技"));
        QCOMPARE(valuelists::structuredParts("a\\nb\\\\"), QStringList{"a\nb\\"});
    }

    // Every kind of value, typed as people type it, finds the one person who has it: in the filter
    // line and in the search form's box for it.
    void foundByEveryValue_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("box"); // of the search form (0 for Text1)
        QTest::newRow("second mobile, digits only") << "13800138000" << 2;
        QTest::newRow("second mobile, as written") << "138-0013" << 2;
        QTest::newRow("second mobile, +86") << "+86 138 0013 8000" << 2;
        QTest::newRow("second mobile, 0086") << "008613800138000" << 2;
        QTest::newRow("stored without +86, typed with it") << "+8613700001111" << 4;
        QTest::newRow("a number in another number's box") << "(0755) 8888" << 3;
        QTest::newRow("second e-mail, case folded") << "Second@Example" << 11;
        QTest::newRow("微信") << "wx_jia" << search::BoxCount + 2;
        QTest::newRow("单位") << "星辰科技" << search::BoxCount;
        QTest::newRow("职务") << "工程师" << search::BoxCount + 1;
    }
    void foundByEveryValue() {
        QFETCH(QString, typed);
        QFETCH(int, box);
        StoreFixture fx;
        const QString group = fx.addGroup("同事");
        Store& store = fx.open();
        ContactFields jia = contact(group, "甲");
        jia.mobile = "13911112222";
        jia.values = {{Field::Phone, "手机", "+86 138-0013-8000", {}},   {Field::Phone, "家庭", "13700001111", {}},
                      {Field::Phone, "其他", "0755-8888-6666", {}},      {Field::OtherEmail, "工作", "second@example.cn", {}},
                      {Field::WeChat, "", "wx_jia", {}},                  {Field::Organization, "", "星辰科技;研发部", {}},
                      {Field::Title, "", "总工程师", {}}};
        ContactFields yi = contact(group, "乙"); // the same kinds, other values
        yi.mobile = "13911113333";
        yi.values = {{Field::Phone, "手机", "13911114444", {}}, {Field::WeChat, "", "wx_yi", {}},
                     {Field::Organization, "", "月亮公司", {}}, {Field::Title, "", "经理", {}}};
        const QString jiaKey = store.addContact(jia);
        store.addContact(yi);

        RowTable all;
        store.listAll(all);
        ListFilter filter;
        filter.prepare(all, store.pinyinKeys().loadFilterKeys(), store.typedValues().loadFilterValues());
        const std::vector<int>& matched = filter.match(typed);
        QCOMPARE(matched.size(), size_t(1));
        QCOMPARE(all.key(matched[0]), jiaKey);

        search::BoxTexts boxes;
        boxes[static_cast<size_t>(box)] = typed;
        RowTable found;
        store.listQuery(search::buildQuery(boxes), found);
        QCOMPARE(found.rowCount(), 1);
        QCOMPARE(found.key(0), jiaKey);
    }

    // The filter reads everybody's values at once, however many people there are.
    void filterValuesInOneRead() {
        const StatementCounter counter; // before the data file opens
        StoreFixture fx;
        const QString group = fx.addGroup("同事");
        QStringList keys;
        for (int i = 0; i < 50; ++i) {
            ContactFields f = contact(group, QString("人%1").arg(i));
            f.values = {{Field::Phone, "手机", QString("1380000%1").arg(i, 4, 10, QChar('0')), {}},
                        {Field::Phone, "手机", QString("1390000%1").arg(i, 4, 10, QChar('0')), {}}};
            keys << fx.open().addContact(f);
        }
        const FilterValueKeys values = fx.open().typedValues().loadFilterValues();
        QCOMPARE(counter.count("select friendid, field, value from zinteva_values"), 1);
        QCOMPARE(values.size(), size_t(50));
        QCOMPARE(values.at(keys[7].toStdString()).numbers, std::string("13900000007"));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
