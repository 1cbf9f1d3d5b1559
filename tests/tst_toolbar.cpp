// Every button and drop-down entry of the toolbar reaches its command, with the confirmations and
// prompts the user sees; the keyboard reaches the same commands.
#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "core/store/Store.h"
#include "support/DbDump.h"
#include "support/Fixture.h"
#include "gui/tree/GroupTreeModel.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QComboBox>
#include <QFileInfo>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <SQLiteCpp/Database.h>

namespace {
void focus(QWidget* w) {
    w->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(w->hasFocus());
}
} // namespace

class TestToolbar : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString group, zhang, li;

    Frm_main& window() {
        Frm_main& w = fx->window();
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            qWarning("window not exposed");
        return w;
    }

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        group = fx->addGroup("同学");
        zhang = fx->addContact(group, "张三");
        li = fx->addContact(group, "李四");
    }
    void cleanup() {
        fx->closeWindow();
        fx.reset();
    }

    // Each button's tooltip names its keys when it shows; the button's own tooltip text stays.
    void tooltipsShowTheirKeys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("新建") << "addbutt" << "新建一条记录 (Ctrl+N)";
        QTest::newRow("修改") << "editbutt" << "修改当前的联系资料 (Ctrl+E)";
        QTest::newRow("删除") << "delebutt" << "删除当前的资料 (Del)";
        QTest::newRow("查询") << "querybutt" << "按自己的要求查询 (Ctrl+F)";
        QTest::newRow("设置: its face has no keys") << "setbutt" << "工具栏的放置位置";
        QTest::newRow("ABOUT") << "aboutbutt" << "嘿嘿~~关于我的 (F1)";
        QTest::newRow("退出") << "quitbutt" << "退出去了哟 (Ctrl+Q)";
    }
    void tooltipsShowTheirKeys() {
        QFETCH(QString, key);
        QFETCH(QString, shown);
        Frm_main& w = window();
        QWidget* face = w.Toolbar1()->widgetForAction(w.action(key));
        QVERIFY(face);
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), face->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(face, &tip);
        QTRY_COMPARE(QToolTip::text(), shown);
        QToolTip::hideText();
    }

    void buttonsAndEntriesInOrder() {
        Frm_main& w = window();
        QStringList keys, captions, tips;
        for (QAction* a : w.Toolbar1()->actions()) {
            keys << a->objectName();
            captions << a->text();
            tips << a->toolTip();
        }
        QCOMPARE(keys,
                 QStringList({"addbutt", "editbutt", "delebutt", "querybutt", "setbutt", "aboutbutt", "quitbutt"}));
        QCOMPARE(captions, QStringList({"新建", "修改", "删除", "查询", "设置", "ABOUT", "退出"}));
        QCOMPARE(tips, QStringList({"新建一条记录", "修改当前的联系资料", "删除当前的资料", "按自己的要求查询",
                                    "工具栏的放置位置", "嘿嘿~~关于我的", "退出去了哟"}));
        for (const auto& [key, text] :
             std::initializer_list<std::pair<const char*, const char*>>{{"addnew", "名单"},
                                                                        {"addgroup", "分组"},
                                                                        {"birthday", "最近生日人员"},
                                                                        {"left", "工具栏靠左"},
                                                                        {"right", "工具栏靠右"},
                                                                        {"config", "其它设置"}})
            QCOMPARE(w.action(key)->text(), QString(text));
    }

    void modalWindows_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("entry");
        QTest::addColumn<QString>("opened");
        QTest::newRow("addbutt") << "addbutt" << false << "frm_detail";
        QTest::newRow("querybutt") << "querybutt" << false << "Frm_query";
        QTest::newRow("aboutbutt") << "aboutbutt" << false << "Frm_about";
        QTest::newRow("config") << "config" << true << "Frm_config";
    }
    void modalWindows() {
        QFETCH(QString, key);
        QFETCH(bool, entry);
        QFETCH(QString, opened);
        Frm_main& w = window();
        // The form is answered as the user would cancel it, without a modal loop or a timer.
        QString name;
        QWidget* owner = nullptr;
        fx->dialogs.formAnswers.push_back([&](QDialog& form) {
            name = form.objectName();
            owner = form.parentWidget();
            form.reject();
            return form.result();
        });
        if (entry)
            w.Toolbar1_ButtonMenuClick(key);
        else
            w.Toolbar1_ButtonClick(key);
        QCOMPARE(name, opened);
        QCOMPARE(owner, &w); // shown over the main window, which it blocks (Dialogs::openForm)
        QVERIFY(fx->dialogs.formAnswers.empty());
        QVERIFY(!fx->state.EditFlag); // the record form clears it when it closes
    }

    void addnewOpensModelessForm() {
        Frm_main& w = window();
        w.Toolbar1_ButtonMenuClick("addnew");
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(fx->state.EditFlag);
        QWidget* form = w.findChild<QWidget*>("frm_detail", Qt::FindDirectChildrenOnly);
        if (!form) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "frm_detail" && top->isVisible())
                    form = top;
        }
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QVERIFY(!form->isModal());
        w.close(); // the open form goes first, then the connection
        QVERIFY(!fx->state.Conn);
    }

    void settingsFaceDoesNothing() {
        Frm_main& w = window();
        const int rows = w.listModel()->rowCount();
        w.Toolbar1_ButtonClick("setbutt");
        QVERIFY(fx->dialogs.messages.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(w.listModel()->rowCount(), rows);
    }

    void addGroupCutsAtThirtyCharacters_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // outside the basic plane
        QTest::newRow("31 Latin") << QString(31, 'a') << QString(30, 'a');
        QTest::newRow("20 Chinese") << QString(20, QChar(u'汉')) << QString(20, QChar(u'汉'));
        QTest::newRow("31 emoji") << emoji.repeated(31) << emoji.repeated(30);
        QTest::newRow("quote") << "O'Brien"
                               << "O'Brien";
    }
    void addGroupCutsAtThirtyCharacters() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        Frm_main& w = window();
        fx->dialogs.inputAnswers.push_back(typed);
        w.Toolbar1_ButtonMenuClick("addgroup");
        QCOMPARE(fx->dialogs.prompts,
                 QStringList({"添加组|请输入你要添加的分组的名称,如同学、朋友、同事等\r名字不能超出30位,汉字15个字"}));
        const std::vector<GroupRow> groups = fx->state.Conn->groups();
        QCOMPARE(groups.size(), size_t(2));
        QCOMPARE(groups.back().name, stored);
        QCOMPARE(fx->state.NewGroupName, stored);
        QCOMPARE(fx->state.CurrentGroup, QString("root")); // nothing was selected in the tree
    }

    void addGroupEmptyOrCancelledAddsNothing_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("empty") << false;
        QTest::newRow("cancelled") << true;
    }
    void addGroupEmptyOrCancelledAddsNothing() {
        QFETCH(bool, cancel);
        Frm_main& w = window();
        fx->dialogs.inputAnswers.push_back(cancel ? std::nullopt : std::optional<QString>(QString()));
        w.Toolbar1_ButtonMenuClick("addgroup");
        QCOMPARE(fx->state.Conn->groups().size(), size_t(1));
        QVERIFY(fx->dialogs.messages.isEmpty());
    }

    void addGroupReselectsTheSelectedNode() {
        Frm_main& w = window();
        w.TV()->setCurrentIndex(w.treeModel()->indexForKey(zhang));
        fx->dialogs.inputAnswers.push_back(QString("朋友"));
        w.Toolbar1_ButtonMenuClick("addgroup");
        QCOMPARE(fx->state.CurrentGroup, zhang);
        QCOMPARE(w.treeModel()->keyOf(w.TV()->currentIndex()), zhang);
    }

    void deleteCommand_data() {
        QTest::addColumn<QString>("where"); // list, root, group, contact
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("contactsLeft");
        QTest::addColumn<int>("groupsLeft");
        const QString groupQuestion =
            QString("您真的要删除用户组 '同学' 吗?") + QChar(13) +
            "删除分组同时也会删除该分组所包含的所有人员!如果不想删除里面的人员,请先更改他们的分组!!";
        QTest::newRow("list, yes") << "list" << int(MsgAnswer::Yes) << "您真的要删除 '李四' 吗?" << 1 << 1;
        QTest::newRow("list, no") << "list" << int(MsgAnswer::No) << "您真的要删除 '李四' 吗?" << 2 << 1;
        QTest::newRow("root") << "root" << -1 << "您不能删除根目录,删除了你什么都没有了!" << 2 << 1;
        QTest::newRow("group, yes") << "group" << int(MsgAnswer::Yes) << groupQuestion << 0 << 0;
        QTest::newRow("group, no") << "group" << int(MsgAnswer::No) << groupQuestion << 2 << 1;
        QTest::newRow("contact, yes") << "contact" << int(MsgAnswer::Yes) << "您真的要删除 '张三' 吗?" << 1 << 1;
        QTest::newRow("contact, no") << "contact" << int(MsgAnswer::No) << "您真的要删除 '张三' 吗?" << 2 << 1;
    }
    void deleteCommand() {
        QFETCH(QString, where);
        QFETCH(int, answer);
        QFETCH(QString, text);
        QFETCH(int, contactsLeft);
        QFETCH(int, groupsLeft);
        Frm_main& w = window();
        if (where == "list") {
            focus(w.LV());
            w.LV()->setCurrentIndex(w.listModel()->index(w.listModel()->rowOfKey(li), 0));
        } else {
            focus(w.TV());
            const QString key = where == "root" ? "root" : where == "group" ? group : zhang;
            w.TV()->setCurrentIndex(w.treeModel()->indexForKey(key));
        }
        QCOMPARE(w.Lvfocus, where == "list");
        QCOMPARE(w.Tvfocus, where != "list");
        if (answer >= 0)
            fx->dialogs.answers.push_back(MsgAnswer(answer));
        w.Toolbar1_ButtonClick("delebutt"); // a toolbar click leaves the focus flags alone
        QCOMPARE(fx->dialogs.messages.size(), 1);
        const Message m = fx->dialogs.last();
        QCOMPARE(m.text, text);
        if (where == "root") {
            QCOMPARE(m, msg::plain(text));
        } else {
            QCOMPARE(m.caption, QString("确认"));
            QCOMPARE(m.buttons, MsgButtons::YesNo);
            QCOMPARE(m.defaultButton, MsgAnswer::No);
            QCOMPARE(m.icon, MsgIcon::None);
        }
        QCOMPARE(fx->count("select count(*) from phone"), contactsLeft);
        QCOMPARE(fx->count("select count(*) from 分类"), groupsLeft);
    }

    void deleteWithNothingSelectedDoesNothing() {
        Frm_main& w = window();
        focus(w.LV());
        w.LV()->clearSelection();
        w.Toolbar1_ButtonClick("delebutt");
        focus(w.TV());
        w.TV()->setCurrentIndex({});
        w.Toolbar1_ButtonClick("delebutt");
        QVERIFY(fx->dialogs.messages.isEmpty());
        QCOMPARE(fx->count("select count(*) from phone"), 2);
    }

    void deleteKeyAsksToo() {
        Frm_main& w = window();
        focus(w.LV());
        w.LV()->setCurrentIndex(w.listModel()->index(0, 0));
        fx->dialogs.answers.push_back(MsgAnswer::No);
        QTest::keyClick(w.LV(), Qt::Key_Delete);
        QCOMPARE(fx->dialogs.texts(), QStringList({"您真的要删除 '张三' 吗?"}));
    }

    void placementLeftThenRight() {
        Frm_main& w = window();
        const double designLeft = w.frameLeftTwips();
        w.Toolbar1_ButtonMenuClick("left");
        QVERIFY(w.toolbarAtLeft());
        QCOMPARE(w.frameLeftTwips(), designLeft + 795);
        QCOMPARE(w.Frame1()->x(), qRound((designLeft + 795) / 15));
        QCOMPARE(w.Toolbar1()->x(), 0);
        QVERIFY(!w.action("left")->isVisible());
        QVERIFY(w.action("right")->isVisible());
        QCOMPARE(fx->settings->text(setting::Toolbar), QString("1"));
        w.Toolbar1_ButtonMenuClick("right");
        QVERIFY(!w.toolbarAtLeft());
        QCOMPARE(w.frameLeftTwips(), 0.0);
        QCOMPARE(w.Toolbar1()->geometry().right(), w.width() - 1);
        QVERIFY(w.action("left")->isVisible());
        QVERIFY(!w.action("right")->isVisible());
        QCOMPARE(fx->settings->text(setting::Toolbar), QString("0"));
    }

    // The reminder's rows are no node's people: the tree leaves every node unselected (the person's
    // node the user was on too) and the line over the list names them.
    void birthdayEntryNamesItsRows() {
        fx->addContact(group, "寿星", fx->clock.today().addYears(-30));
        Frm_main& w = window();
        w.TV()->setCurrentIndex(w.treeModel()->indexForKey(zhang));
        w.Toolbar1_ButtonMenuClick("birthday");
        QVERIFY(!w.TV()->currentIndex().isValid());
        QVERIFY(!w.TV()->selectionModel()->hasSelection());
        QCOMPARE(w.listCaption()->text(), QString("最近 10 天过生日 · 1 人"));
        QVERIFY(fx->state.ListSource.isQuery());
        QCOMPARE(w.listModel()->rowCount(), 1);
        QCOMPARE(fx->dialogs.texts(), QStringList({"最近 10 天有 1 位过生日的好友"}));
    }

    void importEntryImportsIntoTheChosenGroup() {
        const QString file = fx->dir.filePath("phone.vcf");
        QFile vcf(file);
        QVERIFY(vcf.open(QIODevice::WriteOnly));
        vcf.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:王五\r\nTEL;TYPE=CELL:13900001111\r\nEND:VCARD\r\n"
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:赵六\r\nCATEGORIES:同事\r\nEND:VCARD\r\n"
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:1\r\nEND:VCARD\r\n"); // the last card holds nothing
        vcf.close();
        Frm_main& w = window();
        w.TV()->setCurrentIndex(w.treeModel()->indexForKey(zhang)); // default: the person's group
        fx->dialogs.fileAnswers.push_back(file);
        QString offered;
        importContacts(w.view(), [&](const QString&, int cards, const std::vector<GroupRow>&, const QString& def) {
            offered = def;
            return cards == 3 ? std::optional<QString>(def) : std::nullopt;
        });
        QCOMPARE(offered, group);
        QCOMPARE(fx->dialogs.fileRequests.size(), 1);
        QCOMPARE(fx->dialogs.fileRequests[0].title, QString("导入联系人"));
        QCOMPARE(fx->count("select count(*) from phone where mainid = 'main1'"), 3);
        QCOMPARE(fx->count("select count(*) from 分类 where 类型 = '同事'"), 1);
        QCOMPARE(w.listModel()->rowCount(), 4); // everybody, refreshed once
        QCOMPARE(w.treeModel()->rowCount(w.treeModel()->rootIndex()), 2);
        QCOMPARE(fx->dialogs.messages.size(), 1);
        QCOMPARE(fx->dialogs.last().icon, MsgIcon::Warning); // not every card came in
        QVERIFY(fx->dialogs.last().text.contains("3"));
    }

    // A CSV file is counted before the question and read row by row while it is imported; a file of no
    // known layout is refused before anything is asked.
    void importEntryReadsACsvFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("offered"); // the rows in the question; -1: nothing asked
        QTest::addColumn<QString>("told");
        QTest::newRow("two rows") << QByteArray("\xEF\xBB\xBF姓名,移动电话\r\n王五,1\r\n\r\n赵六,\"2\r\n3\"\r\n") << 2
                                  << QString("共 2 个联系人：导入 2 个");
        QTest::newRow("no known column") << QByteArray("a,b\r\n1,2\r\n") << -1
                                         << QString("CSV 文件的第一行没有可以识别的栏目");
    }
    void importEntryReadsACsvFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, offered);
        QFETCH(QString, told);
        const QString file = fx->dir.filePath("people.csv");
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write(bytes);
        csv.close();
        Frm_main& w = window();
        fx->dialogs.fileAnswers.push_back(file);
        int asked = -1;
        importContacts(w.view(), [&](const QString&, int cards, const std::vector<GroupRow>&, const QString&) {
            asked = cards;
            return std::optional<QString>(group);
        });
        QCOMPARE(asked, offered);
        QVERIFY2(fx->dialogs.last().text.contains(told), qPrintable(fx->dialogs.last().text));
        QCOMPARE(fx->count("select count(*) from phone where 姓名 in ('王五', '赵六')"), offered > 0 ? 2 : 0);
    }

    // The export suggests a dated file name, says where the file went and opens its folder when
    // asked (through the dialogs, so no file manager starts here).
    void exportEntryWritesTheChosenContacts_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<bool>("openFolder");
        QTest::newRow("vCard, 确定") << int(ExportFormat::VCard30) << "通讯录-2025-03-10.vcf" << false;
        QTest::newRow("vCard, 打开所在文件夹") << int(ExportFormat::VCard30) << "通讯录-2025-03-10.vcf" << true;
        QTest::newRow("CSV") << int(ExportFormat::CsvUtf8) << "通讯录-2025-03-10.csv" << false;
    }
    void exportEntryWritesTheChosenContacts() {
        QFETCH(int, format);
        QFETCH(QString, suggested);
        QFETCH(bool, openFolder);
        Frm_main& w = window();
        const QString file = fx->dir.filePath("out");
        const QString written = file + suggested.right(4);
        fx->dialogs.fileAnswers.push_back(file);
        fx->dialogs.answers.push_back(openFolder ? MsgAnswer::OpenFolder : MsgAnswer::Ok);
        exportContacts(w.view(), [format](const QString&, int) {
            return std::optional<ExportChoice>(ExportChoice{ExportSelection::Kind::All, ExportFormat(format)});
        });
        QCOMPARE(QFileInfo(fx->dialogs.fileRequests.value(0).suggested).fileName(), suggested);
        QFile out(written);
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray bytes = out.readAll();
        QVERIFY(bytes.contains("张三"));
        const Message done = fx->dialogs.last();
        QCOMPARE(done.text, QString("已导出 2 位联系人到 %1").arg(written));
        QCOMPARE(done.buttons, MsgButtons::OkOpenFolder);
        QCOMPARE(fx->dialogs.openedFolders, openFolder ? QStringList{fx->dir.path()} : QStringList());
    }

    // 导出联系人... stands in 新建's menu right after 导入联系人..., and stays under 设置; both open
    // the export's choices.
    void exportEntriesOpenTheExport_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("新建") << "export";
        QTest::newRow("设置") << "setexport";
    }
    void exportEntriesOpenTheExport() {
        QFETCH(QString, entry);
        Frm_main& w = window();
        auto* added = qobject_cast<QMenu*>(w.action("import")->parent()); // 新建's menu
        QVERIFY(added);
        QStringList texts;
        for (QAction* a : added->actions())
            texts << a->text();
        QCOMPARE(texts.mid(texts.indexOf("导入联系人..."), 2), QStringList({"导入联系人...", "导出联系人..."}));
        QString hint;
        fx->dialogs.formAnswers.push_back([&](QDialog& form) {
            auto* format = form.findChild<QComboBox*>();
            format->setCurrentIndex(3); // GBK
            hint = form.findChild<QLabel*>("formatHint")->text();
            return int(QDialog::Rejected);
        });
        w.Toolbar1_ButtonMenuClick(entry);
        QCOMPARE(fx->dialogs.formsOpened, 1);
        QCOMPARE(hint, QString("表格：中文 Windows 上的旧版 Excel 双击打开，中文不乱"));
    }

    void quitClosesAndRefreshesTheBackup() {
        Frm_main& w = window();
        w.Toolbar1_ButtonClick("quitbutt");
        QVERIFY(!w.isVisible());
        QVERIFY(!fx->state.Conn);
        QCOMPARE(dumpFile(fx->paths.backup), dumpFile(fx->paths.data));
    }
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
