// The filter line under the list: what each typed text keeps, that typing on narrows only the rows
// kept so far, and that it never changes what a fill shows.
#include "core/rules/ListFilter.h"
#include "core/store/FilterKeys.h"
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListFilterBar.h"
#include "gui/list/ListSort.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"

#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {
struct Person {
    const char* name;
    const char* mobile;
    const char* email;
};
const Person People[] = {
    {"张三", "138-0013-8000", "zhang@example.cn"},
    {"李四", "13912345678", "li.si@example.com"},
    {"王小明", "(010) 6655 1234", "Wang.XM@mail.cn"},
    {"Alice Smith", "", "alice@smith.org"},
    {"赵长江", "", ""},
};

// A data file with the five people in one group; returns their keys in that order.
QStringList addPeople(Fixture& fx) {
    const QString group = fx.addGroup("朋友");
    QStringList keys;
    for (const Person& p : People) {
        ContactFields f = contact(group, QString::fromUtf8(p.name));
        f.mobile = QString::fromUtf8(p.mobile);
        f.email = QString::fromUtf8(p.email);
        keys << fx.open().addContact(f);
    }
    return keys;
}
} // namespace

class TestFilter : public QObject {
    Q_OBJECT

private slots:
    void whatATextKeeps_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("kept"); // positions in People
        QTest::newRow("name") << "小明" << QList<int>{2};
        QTest::newRow("pinyin initials") << "zs" << QList<int>{0};
        QTest::newRow("full pinyin") << "zhangsan" << QList<int>{0};
        QTest::newRow("full pinyin with blanks") << "zhang san" << QList<int>{0};
        QTest::newRow("part of the pinyin") << "xiao" << QList<int>{2};
        QTest::newRow("polyphone's other reading") << "zzj" << QList<int>{4};
        QTest::newRow("phone digits") << "13800138" << QList<int>{0};
        QTest::newRow("phone as written") << "6655-1234" << QList<int>{2};
        QTest::newRow("e-mail") << "example" << QList<int>{0, 1};
        QTest::newRow("case folded") << "WANG.xm" << QList<int>{2};
        QTest::newRow("latin name") << "alice" << QList<int>{3};
        QTest::newRow("nothing") << "不存在" << QList<int>{};
        QTest::newRow("blanks only: everything") << "   " << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("no match across two fields") << "cnli" << QList<int>{};
    }
    void whatATextKeeps() {
        QFETCH(QString, typed);
        QFETCH(QList<int>, kept);
        Fixture fx;
        addPeople(fx);
        RowTable rows;
        fx.open().listAll(rows);
        ListFilter filter;
        filter.prepare(rows, fx.open().pinyinKeys().loadFilterKeys());
        const std::vector<int>& matched = filter.match(typed);
        QCOMPARE(QList<int>(matched.begin(), matched.end()), kept);
    }

    // Typing on looks only at the rows kept so far; a changed beginning looks at every row again.
    void typingOnScansOnlyWhatIsKept() {
        RowTable rows;
        Fixture fx;
        addPeople(fx);
        fx.open().listAll(rows);
        ListFilter filter;
        filter.prepare(rows, fx.open().pinyinKeys().loadFilterKeys());
        filter.match("z");
        QCOMPARE(filter.rowsScanned(), 5);
        const int afterZ = static_cast<int>(filter.match("z").size());
        filter.match("zh");
        QCOMPARE(filter.rowsScanned(), afterZ);
        filter.match("zha");
        QVERIFY(filter.rowsScanned() <= afterZ);
        filter.match("li");
        QCOMPARE(filter.rowsScanned(), 5);
        QCOMPARE(filter.match("").size(), size_t(5));
        QCOMPARE(filter.rowsScanned(), 0);
    }

    void narrowedRowsKeepTheFill() {
        Fixture fx;
        const QStringList keys = addPeople(fx);
        RowTable rows;
        fx.open().listAll(rows);
        rows.showOnly({1, 3});
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.fillRowCount(), 5);
        QCOMPARE(rows.key(0), keys[1]);
        rows.removeRow(0); // 李四 deleted while narrowed
        rows.showAll();
        QCOMPARE(rows.rowCount(), 4);
        QCOMPARE(rows.findKey(keys[1].toStdString()), -1);
        QCOMPARE(rows.key(2), keys[3]);
    }

    // In the window: typing in the list opens the line; each key is one reset of the list; Esc
    // brings every row back; a new fill closes the line.
    void filterLineInTheWindow() {
        Fixture fx;
        const QStringList keys = addPeople(fx);
        Frm_main& w = fx.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.listModel()->rowCount(), 5);
        w.LV()->setFocus();
        QSignalSpy resets(w.listModel(), &QAbstractItemModel::modelReset);
        QTest::keyClick(w.LV(), Qt::Key_Z);
        QVERIFY(w.filterBar()->isVisible());
        QCOMPARE(w.filterBar()->text(), QString("z"));
        QVERIFY(w.filterBar()->hasFocus());
        QTest::keyClicks(w.filterBar(), "s");
        QCOMPARE(listKeys(w), QStringList{keys[0]});
        QCOMPARE(resets.size(), 2);
        QCOMPARE(w.filterBar()->filter().rowsScanned(), 2); // 张三 and 赵长江 were kept by "z"
        // Enter goes on to the row found
        QTest::keyClick(w.filterBar(), Qt::Key_Return);
        QVERIFY(w.LV()->hasFocus());
        QCOMPARE(w.LV()->currentIndex().row(), 0);
        // Ctrl+L comes back to the line; Esc clears it and shows every row, in the fill's order
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(w.filterBar()->hasFocus());
        QTest::keyClick(w.filterBar(), Qt::Key_Escape);
        QVERIFY(!w.filterBar()->isVisible());
        QCOMPARE(listKeys(w), keys);
        QVERIFY(w.LV()->hasFocus());
        // a tree click (a new fill) closes the line and shows the fill whole
        QTest::keyClick(w.LV(), Qt::Key_L);
        QTest::keyClicks(w.filterBar(), "i.s");
        QCOMPARE(listKeys(w), QStringList{keys[1]});
        clickNode(w, "root");
        QVERIFY(!w.filterBar()->isVisible());
        QCOMPARE(w.listModel()->rowCount(), 5);
        QVERIFY(!w.listModel()->rows().isNarrowed());
    }

    // A header click while narrowed orders the rows shown and keeps the line.
    void sortWhileNarrowed() {
        Fixture fx;
        const QStringList keys = addPeople(fx);
        Frm_main& w = fx.window();
        w.filterBar()->open("example");
        QCOMPARE(listKeys(w).size(), 2);
        sortContactList(w.LV(), w.listModel(), w.state(), 0);
        sortContactList(w.LV(), w.listModel(), w.state(), 0); // descending: 张三 before 李四
        QVERIFY(w.filterBar()->isVisibleTo(&w));
        QCOMPARE(listKeys(w), (QStringList{keys[0], keys[1]}));
        w.filterBar()->closeFilter();
        QCOMPARE(listKeys(w).size(), 5);
        QCOMPARE(listKeys(w).front(), keys[4]); // 赵 first in descending pinyin order
    }
};

QTEST_MAIN(TestFilter)
#include "tst_filter.moc"
