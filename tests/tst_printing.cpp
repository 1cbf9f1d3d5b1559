// The printed list as a PDF: what pdftotext reads back from it (the Chinese names, the numbers, the
// page numbers, in the list's order), its page count, and the preview reached from the window.
#include "core/store/Store.h"
#include "gui/app/Commands.h"
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/print/ListPrintPreview.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"

#include <QAction>
#include <QComboBox>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& arguments, QString* error) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = program + QStringLiteral(": ") + QString::fromUtf8(process.readAllStandardError()) +
                 process.errorString() + QStringLiteral(" (poppler-utils is listed in scripts/packages.txt)");
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of a PDF as a reader copies it out, and its page count.
QString pdfText(const QString& path, int* pages, QString* error) {
    const QString info = run(QStringLiteral("pdfinfo"), {path}, error);
    const qsizetype at = info.indexOf(QStringLiteral("Pages:"));
    *pages = at < 0 ? -1 : info.mid(at + 6, info.indexOf(u'\n', at) - at - 6).trimmed().toInt();
    return error->isEmpty() ? run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path,
                                                                QStringLiteral("-")},
                                  error)
                            : QString();
}

// Names with the characters that also are Kangxi radicals (月, 金, 页...), which a CJK font may
// share with the radicals' codes.
const QStringList Surnames{QStringLiteral("王"), QStringLiteral("金"), QStringLiteral("欧阳"), QStringLiteral("林"),
                           QStringLiteral("高")};
const QStringList Given{QStringLiteral("明月"), QStringLiteral("小页"), QStringLiteral("水生"), QStringLiteral("火"),
                        QStringLiteral("立人"), QStringLiteral("玉")};

std::vector<printlayout::Entry> people(int count) {
    std::vector<printlayout::Entry> entries;
    for (int i = 0; i < count; ++i) {
        printlayout::Entry entry;
        entry.key = QStringLiteral("friend%1").arg(i + 1);
        entry.name = Surnames[i % Surnames.size()] + Given[i % Given.size()] + QString::number(i);
        entry.mobile = QStringLiteral("139%1").arg(10000000 + i);
        if (i % 3 == 0)
            entry.otherNumbers << QStringLiteral("工作电话 010-%1").arg(60000000 + i)
                               << QStringLiteral("家庭电话 0571-%1").arg(80000000 + i)
                               << QStringLiteral("传真号码 010-%1").arg(70000000 + i);
        entries.push_back(entry);
    }
    return entries;
}

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void pdfReadsBack_data() {
        QTest::addColumn<printlayout::Style>("style");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pages");
        QTest::newRow("phone list, one page") << printlayout::Style::PhoneList << 5 << 1;
        QTest::newRow("phone list, several pages") << printlayout::Style::PhoneList << 120 << -1;
        QTest::newRow("cards") << printlayout::Style::Cards << 17 << 3;
        QTest::newRow("nobody") << printlayout::Style::PhoneList << 0 << 1;
    }
    void pdfReadsBack() {
        QFETCH(printlayout::Style, style);
        QFETCH(int, count);
        QFETCH(int, pages);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.pdf"));
        PrintJob job;
        job.title = QStringLiteral("同事 · %1 人").arg(count);
        job.entries = people(count);
        job.style = style;
        job.printedOn = QDate(2026, 12, 8);
        int painted = 0;
        {
            QPdfWriter writer(path);
            useA4(writer);
            painted = paintPages(writer, job);
        }
        QVERIFY(painted >= 1);
        if (pages > 0)
            QCOMPARE(painted, pages);
        else
            QVERIFY(painted > 2); // 120 rows do not fit on two A4 pages
        int read = 0;
        QString error;
        const QString text = pdfText(path, &read, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(read, painted);
        QVERIFY(text.contains(QStringLiteral("同事 · %1 人").arg(count)));
        QVERIFY(text.contains(QStringLiteral("2026-12-08")));
        for (int page = 1; page <= painted; ++page)
            QVERIFY2(text.contains(printlayout::pageNumberText(page, painted)), qPrintable(printlayout::pageNumberText(page, painted)));
        // Every person and number once, in the list's order.
        qsizetype last = -1;
        for (const printlayout::Entry& entry : job.entries) {
            const qsizetype at = text.indexOf(entry.name);
            QVERIFY2(at > last, qPrintable(entry.name));
            last = at;
            QVERIFY2(text.contains(entry.mobile), qPrintable(entry.mobile));
            for (const QString& number : entry.otherNumbers)
                QVERIFY2(text.contains(number), qPrintable(number));
        }
        QCOMPARE(text.contains(QStringLiteral("列表中没有联系人")), count == 0);
    }

    // Ctrl+P in the window: the preview of the group the list shows (and nobody else), its choice of
    // style, and its PDF.
    void previewFromTheWindow() {
        Fixture fixture;
        Store& store = fixture.open();
        const QString colleagues = fixture.addGroup(QStringLiteral("同事"));
        const QString family = fixture.addGroup(QStringLiteral("家人"));
        fixture.addContact(colleagues, QStringLiteral("王金月"), {}, QStringLiteral("13912345678"));
        fixture.addContact(colleagues, QStringLiteral("林小页"), {}, QStringLiteral("13800000001"));
        fixture.addContact(family, QStringLiteral("赵六"), {}, QStringLiteral("13700000002"));
        Q_UNUSED(store);
        Frm_main& window = fixture.window();
        TV_NodeClick(window.view(), window.treeModel()->indexForKey(colleagues));
        QCOMPARE(window.listModel()->rowCount(), 2);
        QCOMPARE(window.action(QStringLiteral("print"))->shortcut(), QKeySequence(QKeySequence::Print));

        const QString target = fixture.dir.filePath(QStringLiteral("同事"));
        fixture.dialogs.fileAnswers = {target};
        int listPages = 0, cardPages = 0;
        bool painted = false;
        QString title;
        fixture.dialogs.formAnswers.push_back([&](QDialog& form) -> int {
            auto* preview = qobject_cast<ListPrintPreview*>(&form);
            if (!preview)
                return int(QDialog::Rejected);
            title = preview->windowTitle();
            preview->show(); // the preview paints its pages when it is shown
            painted = QTest::qWaitFor([&] { return preview->pagesShown() > 0; });
            listPages = preview->pagesShown();
            preview->findChild<QAction*>(QStringLiteral("savePdf"))->trigger();
            auto* style = preview->findChild<QComboBox*>(QStringLiteral("PrintStyle"));
            style->setCurrentIndex(1);
            cardPages = preview->pagesShown();
            return int(preview->printStyle() == printlayout::Style::Cards ? QDialog::Rejected : QDialog::Accepted);
        });
        window.action(QStringLiteral("print"))->trigger();
        QCOMPARE(fixture.dialogs.formsOpened, 1);
        QVERIFY(painted);
        QCOMPARE(title, QStringLiteral("打印预览 - 同事 · 2 人"));
        QCOMPARE(listPages, 1);
        QCOMPARE(cardPages, 1);
        QCOMPARE(fixture.dialogs.fileRequests.size(), 1);
        QCOMPARE(fixture.dialogs.last().text, QStringLiteral("已保存为 %1.pdf").arg(target));
        int pages = 0;
        QString error;
        const QString text = pdfText(target + QStringLiteral(".pdf"), &pages, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(pages, 1);
        QVERIFY(text.contains(QStringLiteral("王金月")));
        QVERIFY(text.contains(QStringLiteral("林小页")));
        QVERIFY(text.contains(QStringLiteral("13912345678")));
        QVERIFY(!text.contains(QStringLiteral("赵六")));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
