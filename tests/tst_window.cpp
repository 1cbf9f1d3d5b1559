// The main window as a person uses it all day: it comes back where and as large as it was, on a
// screen that shows it whole; the tree beside the list can be dragged wider and stays so; names
// the views cut show whole as tooltips; no date is cut.
#include "core/app/Layout.h"
#include "core/app/Settings.h"
#include "core/app/Twips.h"
#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "core/text/TypedDate.h"
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>

namespace {
QRect available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The tooltip the view shows when the pointer rests on the item.
QString tooltipOver(QTreeView* view, const QModelIndex& index) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("(an earlier tooltip stayed)");
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}
} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void fitOnScreen_data() {
        QTest::addColumn<QRect>("outer");
        QTest::addColumn<QRect>("fitted");
        QTest::newRow("fits: unchanged") << QRect(100, 20, 700, 400) << QRect(100, 20, 700, 400);
        QTest::newRow("runs off the bottom") << QRect(160, 159, 713, 456) << QRect(160, 54, 713, 456);
        QTest::newRow("too tall") << QRect(100, 100, 700, 900) << QRect(100, 0, 700, 510);
        QTest::newRow("too wide and off the right") << QRect(500, 10, 1200, 300) << QRect(0, 10, 960, 300);
        QTest::newRow("screen gone") << QRect(5000, 3000, 400, 300) << QRect(560, 210, 400, 300);
        QTest::newRow("above and left") << QRect(-300, -50, 400, 300) << QRect(0, 0, 400, 300);
    }
    void fitOnScreen() {
        QFETCH(QRect, outer);
        QFETCH(QRect, fitted);
        QCOMPARE(layout::fitOnScreen(outer, {QRect(0, 0, 960, 510)}), fitted); // 1920x1080 at 2x, less a panel
        // With a second screen to the right, a window on it stays there.
        const QList<QRect> two{QRect(0, 0, 960, 510), QRect(960, 0, 1280, 800)};
        QCOMPARE(layout::fitOnScreen(QRect(1000, 100, 400, 300), two), QRect(1000, 100, 400, 300));
    }

    void frameText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("openbox") << "1,24,1,1" << true;
        QTest::newRow("none") << "0,0,0,0" << true;
        QTest::newRow("three parts") << "1,2,3" << false;
        QTest::newRow("negative") << "1,-2,3,4" << false;
        QTest::newRow("huge") << "1,2,3,99999" << false;
        QTest::newRow("letters") << "a,b,c,d" << false;
        QTest::newRow("empty") << "" << false;
    }
    void frameText() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const std::optional<QMargins> frame = layout::frameFromText(text);
        QCOMPARE(frame.has_value(), valid);
        if (valid)
            QCOMPARE(layout::frameText(*frame), text);
    }

    // Closed and opened again, the window is where it was and as large: it does not shrink by the
    // frame at every start.
    void placementComesBackExactly() {
        Fixture fx;
        const QRect area = available();
        fx.settings->setText(setting::Left, QString::number(twips::fromPixels(area.left() + 30)));
        fx.settings->setText(setting::Top, QString::number(twips::fromPixels(area.top() + 20)));
        fx.settings->setText(setting::Width, QString::number(twips::fromPixels(600)));
        fx.settings->setText(setting::Height, QString::number(twips::fromPixels(400)));
        // The first start knows only the design's frame; from the first close on the real one is known.
        QRect saved;
        for (int start = 0; start < 4; ++start) {
            Frm_main& w = fx.window();
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            if (start > 0)
                QCOMPARE(w.frameGeometry(), saved);
            fx.closeWindow();
            saved = QRect(twips::toPixels(fx.settings->number(setting::Left, 0)),
                          twips::toPixels(fx.settings->number(setting::Top, 0)),
                          twips::toPixels(fx.settings->number(setting::Width, 0)),
                          twips::toPixels(fx.settings->number(setting::Height, 0)));
        }
        QCOMPARE(saved.topLeft(), area.topLeft() + QPoint(30, 20));
        QVERIFY(qAbs(saved.width() - 600) < 20 && qAbs(saved.height() - 400) < 40);
    }

    // A frame measured at the last close is what comes off the saved outer size.
    void measuredFrameComesOff() {
        Fixture fx;
        fx.settings->setText(setting::Width, QString::number(twips::fromPixels(600)));
        fx.settings->setText(setting::Height, QString::number(twips::fromPixels(400)));
        fx.settings->setText(setting::Frame, "2,30,2,2");
        Frm_main& w = fx.window();
        QCOMPARE(w.size(), QSize(596, 368));
    }

    // However large it was saved, the window fits the screen it comes back on.
    void windowFitsTheScreen() {
        Fixture fx;
        const QRect area = available();
        fx.settings->setText(setting::Left, QString::number(twips::fromPixels(area.left() + 200)));
        fx.settings->setText(setting::Top, QString::number(twips::fromPixels(area.top() + 300)));
        fx.settings->setText(setting::Width, QString::number(twips::fromPixels(area.width() + 500)));
        fx.settings->setText(setting::Height, QString::number(twips::fromPixels(area.height() + 500)));
        Frm_main& w = fx.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(area.contains(w.frameGeometry()));
        // the toolbar's last button is within the window
        QVERIFY(w.rect().contains(w.Toolbar1()->geometry()));
    }

    // The tree starts at its designed width; the user drags it wider and it stays so.
    void splitterWidthIsKept() {
        Fixture fx;
        {
            Frm_main& w = fx.window();
            QCOMPARE(w.TV()->width(), 1935 / 15);
            QCOMPARE(w.splitter()->indexOf(w.TV()), 0);
            QVERIFY(w.splitter()->widget(1)->isAncestorOf(w.LV()));
            const int total = w.TV()->width() + w.LV()->width();
            w.splitter()->setSizes({220, total - 220});
            QCOMPARE(w.TV()->width(), 220);
            fx.closeWindow();
        }
        QCOMPARE(fx.settings->number(setting::TreeWidth, 0), 220.0 * 15);
        // the specified keys are all still there
        for (const QString& key : {setting::Left, setting::Top, setting::Width, setting::Height, setting::State})
            QVERIFY(!fx.settings->text(key).isEmpty());
        Frm_main& w = fx.window();
        QCOMPARE(w.TV()->width(), 220);
        // the list takes what the window gains; the tree keeps its width
        w.resize(w.width() + 100, w.height());
        QCOMPARE(w.TV()->width(), 220);
    }

    void cutNamesShowWholeAsTooltips() {
        Fixture fx;
        const QString group = fx.addGroup("新朋友和老同学们一起");
        const QString longName = "欧阳诸葛长孙上官慕容";
        const QString key = fx.addContact(group, longName);
        fx.addContact(group, "王");
        Frm_main& w = fx.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.TV()->expandAll();
        const QModelIndex groupNode = w.treeModel()->indexForKey(group);
        const QModelIndex longNode = w.treeModel()->indexForKey(key);
        QCOMPARE(tooltipOver(w.TV(), groupNode), QString("新朋友和老同学们一起"));
        QCOMPARE(tooltipOver(w.TV(), longNode), longName);
        // a name that is shown whole gets no tooltip
        QCOMPARE(tooltipOver(w.TV(), w.treeModel()->rootIndex()), QString());
        // once the tree is dragged wide enough, nothing is cut
        w.splitter()->setSizes({500, 300});
        QCOMPARE(tooltipOver(w.TV(), longNode), QString());
        // the list's cells too
        clickNode(w, group);
        const int row = w.listModel()->rowOfKey(key);
        w.LV()->header()->resizeSection(0, 40);
        QCOMPARE(tooltipOver(w.LV(), w.listModel()->index(row, 0)), longName);
    }

    // The birthday column is wide enough for the widest date in the list's font.
    void birthdayColumnNeverCutsADate() {
        Fixture fx;
        const QString group = fx.addGroup("同学");
        fx.addContact(group, "甲", QDate(1988, 12, 28));
        fx.addContact(group, "乙", QDate(birthday::YearlessYear, 12, 28));
        ContactFields lunar = contact(group, "丙");
        lunar.lunarBirthday = LunarBirthday{0, 11, 28, true}; // 农历 闰冬月廿八
        fx.open().addContact(lunar);
        Frm_main& w = fx.window();
        const int column = w.LV()->header()->sectionSize(listcolumns::Birthday);
        QVERIFY(column >= 1100 / 15);
        for (int row = 0; row < w.listModel()->rowCount(); ++row) {
            const QModelIndex cell = w.listModel()->index(row, listcolumns::Birthday);
            QVERIFY2(w.LV()->fontMetrics().horizontalAdvance(cell.data().toString()) + 8 <= column,
                     qPrintable(cell.data().toString()));
        }
        QCOMPARE(w.listModel()->index(w.listModel()->rowOfKey("friend2"), listcolumns::Birthday).data().toString(),
                 QString("12月28日"));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
