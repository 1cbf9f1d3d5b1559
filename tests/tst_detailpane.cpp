// The detail pane beside the list: switched on and off (and remembered), it shows the selected
// person's whole card, follows the selection and the change notices, and never edits.
#include "core/app/Settings.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/Store.h"
#include "gui/app/MainWindow.h"
#include "gui/detail/DetailPane.h"
#include "gui/list/ContactListModel.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class TestDetailPane : public QObject {
    Q_OBJECT

private slots:
    void showsTheSelectedPersonAndFollows() {
        Fixture fx(QDate(2025, 3, 10));
        fx.open();
        const QString g = fx.addGroup(QStringLiteral("同事"));
        ContactFields zhou = contact(g, QStringLiteral("周子敏"));
        zhou.mobile = QStringLiteral("13800000001");
        zhou.email = QStringLiteral("zhou@example.cn");
        zhou.birthday = QDate(1990, 3, 20);
        zhou.photo = fx.dir.filePath(QStringLiteral("zhou.png"));
        QImage face(40, 60, QImage::Format_RGB32);
        face.fill(Qt::darkCyan);
        QVERIFY(face.save(zhou.photo));
        zhou.values = {{catalogue::Field::Phone, QStringLiteral("手机"), QStringLiteral("13900000002"), {}},
                       {catalogue::Field::WeChat, {}, QStringLiteral("zhouzm"), {}},
                       {catalogue::Field::Organization, {}, QStringLiteral("北京某某公司"), {}}};
        const QString key = fx.state.Conn->addContact(zhou);
        ContactFields li = contact(g, QStringLiteral("李四"));
        li.lunarBirthday = LunarBirthday{0, 8, 15, false};
        const QString liKey = fx.state.Conn->addContact(li);

        Frm_main& w = fx.window();
        DetailPane* pane = w.detailPane();
        QVERIFY(pane && pane->isHidden());
        w.action(QStringLiteral("detail"))->trigger();
        QVERIFY(!pane->isHidden());
        QCOMPARE(fx.settings->text(setting::DetailPane), QStringLiteral("1"));

        selectRow(w, key);
        QCOMPARE(pane->shownKey(), key);
        const QStringList lines = pane->shownLines();
        for (const QString& line : {QStringLiteral("移动电话\t13800000001"), QStringLiteral("电话（手机）\t13900000002"),
                                    QStringLiteral("微信\tzhouzm"), QStringLiteral("邮件地址\tzhou@example.cn"),
                                    QStringLiteral("单位\t北京某某公司")})
            QVERIFY2(lines.contains(line), qPrintable(line + u'\n' + lines.join(u'\n')));
        QVERIFY2(lines.filter(QStringLiteral("下次生日\t")).value(0).contains(QStringLiteral("还有 10 天,满 35 岁")),
                 qPrintable(lines.join(u'\n')));
        QVERIFY(!pane->photo()->pixmap().isNull());
        const int second = static_cast<int>(lines.indexOf(QStringLiteral("电话（手机）\t13900000002")));
        QVERIFY(pane->copyButton(second));
        pane->copyButton(second)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("13900000002"));
        QVERIFY(pane->findChildren<QLineEdit*>().isEmpty()); // shows, never edits

        // A change made elsewhere reaches the pane through the session's notice.
        ContactFields changed = *fx.state.Conn->loadContact(key);
        changed.mobile = QStringLiteral("13800000009");
        fx.state.saveContact(key, changed);
        QVERIFY(pane->shownLines().contains(QStringLiteral("移动电话\t13800000009")));

        selectRow(w, liKey);
        QVERIFY(pane->shownLines().contains(QStringLiteral("农历生日\t农历 八月十五")));
        QVERIFY(pane->photo()->isHidden());
        w.apply(w.run([&] { return fx.state.deleteListRow(liKey, QStringLiteral("李四"), QStringLiteral("root")); }));
        QVERIFY(pane->shownKey() != liKey);

        fx.closeWindow();
        QVERIFY(!fx.window().detailPane()->isHidden()); // remembered
        fx.window().action(QStringLiteral("detail"))->trigger();
        QVERIFY(fx.window().detailPane()->isHidden());
        QCOMPARE(fx.settings->text(setting::DetailPane), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestDetailPane)
#include "tst_detailpane.moc"
