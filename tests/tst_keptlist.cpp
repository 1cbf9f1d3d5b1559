// The "其它资料" list: the kept properties of a person's imported card, read-only, each with a label
// the user reads.
#include "gui/forms/KeptList.h"

#include <QAbstractItemView>
#include <QTableWidget>
#include <QTest>

class TestKeptList : public QObject {
    Q_OBJECT
private slots:
    void showsEveryKeptPropertyReadOnly() {
        const std::vector<KeptProperty> rows = {
            {QString(), QStringLiteral("ORG:腾讯;研发部"), QString()},
            {QString(), QStringLiteral("TEL;TYPE=CELL:2"), QString()},
            {QString(), QStringLiteral("X-ZINTEVA-CSV;X-COLUMN=\"Yomi Name\":ヤマダ"), QString()},
        };
        Frm_kept list(QStringLiteral("张三"), rows, nullptr);
        QCOMPARE(list.windowTitle(), QStringLiteral("其它资料"));
        QTableWidget* table = list.table();
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("单位"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("腾讯, 研发部"));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("电话（手机）"));
        QCOMPARE(table->item(2, 0)->text(), QStringLiteral("Yomi Name"));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
};

QTEST_MAIN(TestKeptList)
#include "tst_keptlist.moc"
