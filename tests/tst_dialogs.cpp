// The reminder settings dialog and the about box, driven through their own controls.
#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "gui/forms/AboutBox.h"
#include "gui/forms/ConfigDialog.h"
#include "gui/forms/SystemServices.h"
#include "gui/forms/UpDown.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <map>

namespace {
// Answers like a desktop where exactly the listed programs are on the PATH, in /usr/bin.
class FakeSystemServices final : public SystemServices {
public:
    bool startProgram(const QString& path) override {
        started << path;
        return !failing.contains(path);
    }
    QString findInPath(const QString& name) const override {
        return onPath.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    }
    bool openUrl(const QUrl& url) override {
        opened << url;
        return browserWorks;
    }

    QStringList onPath;
    QSet<QString> failing;
    bool browserWorks = true;
    QStringList started;
    QList<QUrl> opened;
};

template <typename T> T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

void click(QAbstractButton* button, int times = 1) {
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(button, Qt::LeftButton);
}

Message exactly(const QString& text, MsgIcon icon) {
    return Message{text, {}, icon, MsgButtons::Ok, MsgAnswer::Ok};
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    // ----- the reminder settings dialog -----

    void configOpensWithCurrentValues_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("atStart");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("defaults") << 10 << 1 << "10" << true;
        QTest::newRow("today only, no reminder at start") << 0 << 0 << "0" << false;
        QTest::newRow("widest window") << 30 << 1 << "30" << true;
        QTest::newRow("start-up value other than 1 runs no reminder") << 7 << 2 << "7" << false;
    }
    void configOpensWithCurrentValues() {
        QFETCH(int, days);
        QFETCH(int, atStart);
        QFETCH(QString, shown);
        QFETCH(bool, ticked);
        Fixture fx;
        fx.state.RemindDays = days;
        fx.state.RemindAtStart = atStart;
        Frm_config dialog(fx.state);
        QCOMPARE(child<QLineEdit>(dialog, "Text1")->text(), shown);
        QCOMPARE(child<UpDown>(dialog, "UpDown1")->value(), days);
        QCOMPARE(child<QCheckBox>(dialog, "Check1")->isChecked(), ticked);
    }

    void configArrowsChangeTextAtOnce_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("ups");
        QTest::addColumn<int>("downs");
        QTest::addColumn<bool>("keyboard");
        QTest::addColumn<QString>("shown");
        QTest::newRow("up once") << 10 << 1 << 0 << false << "11";
        QTest::newRow("down twice") << 10 << 0 << 2 << false << "8";
        QTest::newRow("up and down") << 10 << 3 << 1 << false << "12";
        QTest::newRow("stops at 30") << 28 << 5 << 0 << false << "30";
        QTest::newRow("stops at 0") << 1 << 0 << 4 << false << "0";
        QTest::newRow("arrow keys in the text box") << 10 << 2 << 5 << true << "7";
        QTest::newRow("arrow keys stop at 0") << 0 << 0 << 1 << true << "0";
    }
    void configArrowsChangeTextAtOnce() {
        QFETCH(int, days);
        QFETCH(int, ups);
        QFETCH(int, downs);
        QFETCH(bool, keyboard);
        QFETCH(QString, shown);
        Fixture fx;
        fx.state.RemindDays = days;
        Frm_config dialog(fx.state);
        auto* text1 = child<QLineEdit>(dialog, "Text1");
        auto* upDown1 = child<UpDown>(dialog, "UpDown1");
        if (keyboard) {
            for (int i = 0; i < ups; ++i)
                QTest::keyClick(text1, Qt::Key_Up);
            for (int i = 0; i < downs; ++i)
                QTest::keyClick(text1, Qt::Key_Down);
        } else {
            click(upDown1->upButton(), ups);
            click(upDown1->downButton(), downs);
        }
        QCOMPARE(text1->text(), shown);
        QCOMPARE(QString::number(upDown1->value()), shown);
    }

    // A typed count is what OK keeps, brought into the range; letters are refused as they are typed.
    void configTypedNumberIsKept_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enterKey");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("kept");
        QTest::newRow("number, OK clicked") << "25" << false << "25" << 25;
        QTest::newRow("number, Enter pressed") << "20" << true << "20" << 20;
        QTest::newRow("zero") << "0" << false << "0" << 0;
        QTest::newRow("out of range") << "99" << false << "99" << 30;
        QTest::newRow("not a number") << "abc" << true << "11" << 11;
        QTest::newRow("emptied") << "" << false << "" << 11;
    }
    void configTypedNumberIsKept() {
        QFETCH(QString, typed);
        QFETCH(bool, enterKey);
        QFETCH(QString, shown);
        QFETCH(int, kept);
        Fixture fx;
        fx.state.RemindDays = 10;
        Frm_config dialog(fx.state);
        dialog.show();
        auto* text1 = child<QLineEdit>(dialog, "Text1");
        click(child<UpDown>(dialog, "UpDown1")->upButton()); // 11, then typing over it
        text1->setFocus();
        text1->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(text1, Qt::Key_Delete);
        QTest::keyClicks(text1, typed);
        QCOMPARE(text1->text(), shown);
        if (enterKey)
            QTest::keyClick(text1, Qt::Key_Return);
        else
            click(child<QPushButton>(dialog, "Command1"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(fx.state.RemindDays, kept);
        QCOMPARE(fx.settings->text(setting::Day), QString::number(kept));
        QCOMPARE(child<UpDown>(dialog, "UpDown1")->value(), kept);
    }

    void configOkStoresBoth_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("atStart");
        QTest::addColumn<int>("ups");
        QTest::addColumn<int>("downs");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("birthday");
        QTest::newRow("unchanged") << 10 << 1 << 0 << 0 << true << "10"
                                   << "1";
        QTest::newRow("untick: no reminder at start") << 10 << 1 << 0 << 0 << false << "10"
                                                      << "0";
        QTest::newRow("raise and tick") << 10 << 0 << 3 << 0 << true << "13"
                                        << "1";
        QTest::newRow("down to today only") << 2 << 1 << 0 << 5 << true << "0"
                                            << "1";
        QTest::newRow("up to the widest") << 29 << 0 << 4 << 0 << false << "30"
                                          << "0";
    }
    void configOkStoresBoth() {
        QFETCH(int, days);
        QFETCH(int, atStart);
        QFETCH(int, ups);
        QFETCH(int, downs);
        QFETCH(bool, tick);
        QFETCH(QString, day);
        QFETCH(QString, birthday);
        Fixture fx;
        fx.state.RemindDays = days;
        fx.state.RemindAtStart = atStart;
        Frm_config dialog(fx.state);
        dialog.show(); // laid out, so that a click lands on the check box's text
        auto* upDown1 = child<UpDown>(dialog, "UpDown1");
        click(upDown1->upButton(), ups);
        click(upDown1->downButton(), downs);
        auto* check1 = child<QCheckBox>(dialog, "Check1");
        if (check1->isChecked() != tick)
            click(check1);
        click(child<QPushButton>(dialog, "Command1"));

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(fx.settings->text(setting::Day), day);
        QCOMPARE(fx.settings->text(setting::Birthday), birthday);
        QCOMPARE(QString::number(fx.state.RemindDays), day);
        QCOMPARE(QString::number(fx.state.RemindAtStart), birthday);
    }

    void configCancelAndCloseStoreNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("escape key") << "escape";
    }
    void configCancelAndCloseStoreNothing() {
        QFETCH(QString, how);
        Fixture fx;
        fx.settings->setText(setting::Day, "7");
        fx.state.RemindDays = 7;
        fx.state.RemindAtStart = 1; // "birthday" never written: it must stay missing
        Frm_config dialog(fx.state);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(child<UpDown>(dialog, "UpDown1")->upButton(), 3);
        click(child<QCheckBox>(dialog, "Check1"));
        if (how == "cancel")
            click(child<QPushButton>(dialog, "Command2"));
        else if (how == "close")
            dialog.close();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);

        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(fx.state.RemindDays, 7);
        QCOMPARE(fx.state.RemindAtStart, 1);
        QCOMPARE(fx.settings->text(setting::Day), QString("7"));
        QCOMPARE(fx.settings->text(setting::Birthday, "missing"), QString("missing"));
    }

    // A day count edited outside the program reaches the dialog through the load step.
    void configClampsStoredDayCount_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("below the range") << "-5"
                                         << "0";
        QTest::newRow("one past the end") << "31"
                                          << "30";
        QTest::newRow("far past the end") << "99999"
                                          << "30";
        QTest::newRow("beyond any integer") << "1e12"
                                            << "10";
        QTest::newRow("not a number") << "ten"
                                      << "10";
        QTest::newRow("in range") << "17"
                                  << "17";
    }
    void configClampsStoredDayCount() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Fixture fx;
        fx.settings->setText(setting::Day, stored);
        Frm_main& window = fx.window();
        Frm_config dialog(fx.state, &window);
        QCOMPARE(child<QLineEdit>(dialog, "Text1")->text(), shown);
        QCOMPARE(fx.settings->text(setting::Day), stored); // opening alone changes nothing
        click(child<QPushButton>(dialog, "Command1"));
        QCOMPARE(fx.settings->text(setting::Day), shown);
        QCOMPARE(QString::number(fx.state.RemindDays), shown);
    }

    void configOpensModallyOverItsOwner() {
        Fixture fx;
        QWidget owner;
        owner.show();
        QString caption;
        bool modal = false;
        QWidget* parent = nullptr;
        QTimer::singleShot(0, this, [&] {
            QWidget* shown = QApplication::activeModalWidget();
            QVERIFY(shown);
            caption = shown->windowTitle();
            modal = shown->isModal();
            parent = shown->parentWidget();
            click(child<QCheckBox>(*shown, "Check1")); // 1 -> 0
            click(child<QPushButton>(*shown, "Command1"));
        });
        openConfigDialog(fx.state, &owner);
        QCOMPARE(caption, QString("meldra配置"));
        QVERIFY(modal);
        QCOMPARE(parent, &owner);
        QCOMPARE(fx.state.RemindAtStart, 0);
        QVERIFY(!QApplication::activeModalWidget());
    }

    // ----- the about box -----

    void aboutSysInfoLooksInOrder_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("onPath");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<bool>("unavailable");
        const QStringList all{"xfce4-taskmanager", "kinfocenter", "gnome-system-monitor", "hardinfo"};
        QTest::newRow("stored program first, even when missing")
            << "/opt/nowhere/sysinfo" << all << QStringList() << QStringList{"/opt/nowhere/sysinfo"} << false;
        QTest::newRow("first of the list on the PATH")
            << "" << all << QStringList() << QStringList{"/usr/bin/hardinfo"} << false;
        QTest::newRow("list order, not PATH order")
            << "" << QStringList{"kinfocenter", "gnome-system-monitor"} << QStringList()
            << QStringList{"/usr/bin/gnome-system-monitor"} << false;
        QTest::newRow("last of the list") << "" << QStringList{"xfce4-taskmanager"} << QStringList()
                                          << QStringList{"/usr/bin/xfce4-taskmanager"} << false;
        QTest::newRow("nothing anywhere") << "" << QStringList() << QStringList() << QStringList() << true;
        QTest::newRow("stored program cannot start, no second try")
            << "/opt/nowhere/sysinfo" << all << QStringList{"/opt/nowhere/sysinfo"}
            << QStringList{"/opt/nowhere/sysinfo"} << true;
        QTest::newRow("program on the PATH cannot start")
            << "" << QStringList{"kinfocenter"} << QStringList{"/usr/bin/kinfocenter"}
            << QStringList{"/usr/bin/kinfocenter"} << true;
    }
    void aboutSysInfoLooksInOrder() {
        QFETCH(QString, stored);
        QFETCH(QStringList, onPath);
        QFETCH(QStringList, failing);
        QFETCH(QStringList, started);
        QFETCH(bool, unavailable);
        Fixture fx;
        if (!stored.isEmpty())
            fx.settings->setText(setting::SysInfo, stored);
        FakeSystemServices services;
        services.onPath = onPath;
        services.failing = QSet<QString>(failing.begin(), failing.end());
        Frm_about dialog(fx.state, services);
        click(child<QPushButton>(dialog, "cmdSysInfo"));

        QCOMPARE(services.started, started);
        QList<Message> expected;
        if (unavailable)
            expected << exactly("此时系统信息不可用", MsgIcon::None);
        QCOMPARE(fx.dialogs.messages, expected);
    }

    void aboutHomePage_data() {
        QTest::addColumn<bool>("browserWorks");
        QTest::addColumn<bool>("keyboard");
        QTest::newRow("browser opens, clicked") << true << false;
        QTest::newRow("browser opens, Enter key") << true << true;
        QTest::newRow("no browser, clicked") << false << false;
        QTest::newRow("no browser, Enter key") << false << true;
    }
    void aboutHomePage() {
        QFETCH(bool, browserWorks);
        QFETCH(bool, keyboard);
        Fixture fx;
        FakeSystemServices services;
        services.browserWorks = browserWorks;
        Frm_about dialog(fx.state, services);
        auto* label1 = child<QLabel>(dialog, "Label1");
        QVERIFY(label1->text().endsWith("我去看一下看他的主页呀"));
        if (keyboard)
            QTest::keyClick(label1, Qt::Key_Return);
        else
            QTest::mouseClick(label1, Qt::LeftButton);

        QCOMPARE(services.opened, QList<QUrl>{QUrl("https://zinteva.example.org/")});
        QList<Message> expected;
        if (!browserWorks)
            expected << exactly("不能够启动你电脑上的浏览器，请手动启动！\r\n他的网址是:https://zinteva.example.org/",
                                MsgIcon::Warning);
        QCOMPARE(fx.dialogs.messages, expected);
        QVERIFY(services.started.isEmpty());
    }

    void aboutTitleHasAChineseFont() {
        Fixture fx;
        FakeSystemServices services;
        Frm_about dialog(fx.state, services);
        auto* title = child<QLabel>(dialog, "lblTitle");
        QCOMPARE(title->font().families().value(0), QString("宋体"));
        bool anyChinese = false;
        for (const QString& family : QFontDatabase::families(QFontDatabase::SimplifiedChinese))
            anyChinese = anyChinese || !QFontDatabase::isPrivateFamily(family);
        if (!anyChinese)
            QSKIP("no Chinese font installed on this machine");
        const QString used = QFontInfo(title->font()).family();
        QVERIFY2(QFontDatabase::writingSystems(used).contains(QFontDatabase::SimplifiedChinese), qPrintable(used));
    }

    void aboutClosesWithOkAndCloseBox_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("OK") << false;
        QTest::newRow("close box") << true;
    }
    void aboutClosesWithOkAndCloseBox() {
        QFETCH(bool, closeBox);
        Fixture fx;
        FakeSystemServices services;
        Frm_about dialog(fx.state, services);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (closeBox)
            dialog.close();
        else
            click(child<QPushButton>(dialog, "cmdOK"));
        QVERIFY(!dialog.isVisible());
        QVERIFY(services.started.isEmpty());
        QVERIFY(services.opened.isEmpty());
        QVERIFY(fx.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
