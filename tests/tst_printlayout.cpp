// What a printed list holds and how it falls into pages: the rows the list shows in its order, the
// numbers with their labels, and pages that never split a person.
#include "core/rules/PrintLayout.h"
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "support/StoreFixture.h"

#include <QTest>

using printlayout::Page;
using Pages = QList<QPair<int, int>>; // first, count

namespace {
Pages asPairs(const std::vector<Page>& pages) {
    Pages pairs;
    for (const Page& page : pages)
        pairs << qMakePair(page.first, page.count);
    return pairs;
}
} // namespace

class TestPrintLayout : public QObject {
    Q_OBJECT
private slots:
    void paginate_data() {
        QTest::addColumn<QList<double>>("heights");
        QTest::addColumn<double>("body");
        QTest::addColumn<Pages>("pages");
        QTest::newRow("nobody: one page") << QList<double>{} << 100.0 << Pages{{0, 0}};
        QTest::newRow("exactly one page") << QList<double>{25, 25, 25, 25} << 100.0 << Pages{{0, 4}};
        QTest::newRow("one more") << QList<double>{25, 25, 25, 25, 25} << 100.0 << Pages{{0, 4}, {4, 1}};
        QTest::newRow("taller rows end a page sooner") << QList<double>{20, 50, 40, 20} << 100.0 << Pages{{0, 2}, {2, 2}};
        QTest::newRow("taller than a page: alone") << QList<double>{10, 150, 10} << 100.0 << Pages{{0, 1}, {1, 1}, {2, 1}};
        QList<double> hundred(100, 10.0);
        QTest::newRow("a hundred rows, nine a page") << hundred << 95.0
                                                   << Pages{{0, 9},  {9, 9},  {18, 9}, {27, 9}, {36, 9}, {45, 9},
                                                            {54, 9}, {63, 9}, {72, 9}, {81, 9}, {90, 9}, {99, 1}};
    }
    void paginate() {
        QFETCH(QList<double>, heights);
        QFETCH(double, body);
        QFETCH(Pages, pages);
        QCOMPARE(asPairs(printlayout::paginate(std::vector<double>(heights.begin(), heights.end()), body)), pages);
    }

    void cardPages_data() {
        QTest::addColumn<int>("people");
        QTest::addColumn<Pages>("pages");
        QTest::newRow("nobody") << 0 << Pages{{0, 0}};
        QTest::newRow("one") << 1 << Pages{{0, 1}};
        QTest::newRow("a full page") << 8 << Pages{{0, 8}};
        QTest::newRow("one over") << 9 << Pages{{0, 8}, {8, 1}};
        QTest::newRow("seventeen") << 17 << Pages{{0, 8}, {8, 8}, {16, 1}};
    }
    void cardPages() {
        QFETCH(int, people);
        QFETCH(Pages, pages);
        QCOMPARE(asPairs(printlayout::cardPages(people)), pages);
    }

    // The list's rows as shown: narrowed, in the user's order; numbers labelled, blanks left out.
    void entriesFollowTheList() {
        StoreFixture fx;
        Store& store = fx.open();
        const QString group = fx.addGroup(QStringLiteral("同事"));
        ContactFields a = contact(group, QStringLiteral("王金月"));
        a.mobile = QStringLiteral(" 13912345678 ");
        a.workPhone = QStringLiteral("010-1111");
        a.fax = QStringLiteral("010-2222");
        ContactFields b = contact(group, QStringLiteral("李四"));
        b.homePhone = QStringLiteral("   ");
        ContactFields c = contact(group, QStringLiteral("赵六"));
        c.homePhone = QStringLiteral("0571-3333");
        const QString keyA = store.addContact(a), keyB = store.addContact(b), keyC = store.addContact(c);
        RowTable rows;
        store.listAll(rows);
        QCOMPARE(rows.rowCount(), 3);
        // The user's sort: 赵六, 王金月, 李四; then the filter line keeps the first two fill rows.
        auto rowOf = [&](const QString& key) { return rows.findKey(key.toStdString()); };
        rows.reorder({rowOf(keyC), rowOf(keyA), rowOf(keyB)});
        std::vector<printlayout::Entry> entries = printlayout::entriesOf(rows);
        QStringList names;
        for (const auto& entry : entries)
            names << entry.name;
        QCOMPARE(names, (QStringList{QStringLiteral("赵六"), QStringLiteral("王金月"), QStringLiteral("李四")}));
        QCOMPARE(entries[1].key, keyA);
        QCOMPARE(entries[1].mobile, QStringLiteral("13912345678"));
        QCOMPARE(entries[1].otherNumbers, (QStringList{QStringLiteral("工作电话 010-1111"), QStringLiteral("传真号码 010-2222")}));
        QCOMPARE(entries[0].otherNumbers, QStringList{QStringLiteral("家庭电话 0571-3333")});
        QVERIFY(entries[2].mobile.isEmpty());
        QVERIFY(entries[2].otherNumbers.isEmpty());

        RowTable narrowed;
        store.listAll(narrowed);
        narrowed.showOnly({narrowed.findKey(keyB.toStdString())});
        entries = printlayout::entriesOf(narrowed);
        QCOMPARE(entries.size(), size_t(1));
        QCOMPARE(entries[0].name, QStringLiteral("李四"));
    }
};

QTEST_GUILESS_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
