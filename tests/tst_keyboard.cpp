// Keyboard-complete and no surprises: the record form's keys and its unsaved-changes question,
// every toolbar command on a key, F2 from any cell, the focus after a fruitless search, the first
// run without a group, the right-click menus, files dropped on the window.
#include "core/store/RowTable.h"
#include "core/store/Store.h"
#include "gui/app/Commands.h"
#include "gui/app/MainWindow.h"
#include "gui/app/Shortcuts.h"
#include "gui/forms/QueryForm.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactListModel.h"
#include "gui/shared/Pictures.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace {
// Runs `act` on the next window or popup that comes up modally, once.
void whenShown(std::function<bool()> act) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (act()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}
} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString group;

    std::unique_ptr<frm_detail> form(frm_detail::Mode mode = frm_detail::Mode::Add) {
        auto f = std::make_unique<frm_detail>(fx->window().view(), mode);
        f->show();
        return f;
    }

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        group = fx->addGroup("同学");
    }
    void cleanup() { fx.reset(); }

    // Enter in any box saves nothing and opens no dialog; Ctrl+S and Ctrl+Enter save.
    void recordFormKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("saves");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << false;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::NoModifier) << false;
        QTest::newRow("Ctrl+S") << int(Qt::Key_S) << int(Qt::ControlModifier) << true;
        QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << true;
    }
    void recordFormKeys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, saves);
        auto f = form();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        for (int number : {1, 3, 14}) {
            box(*f, number)->setFocus();
            box(*f, number)->setText(number == 1 ? "张三" : "x");
        }
        box(*f, 3)->setFocus();
        QTest::keyClick(box(*f, 3), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(fx->dialogs.fileRequests.isEmpty());
        QCOMPARE(fx->count("select count(*) from phone"), saves ? 1 : 0);
        QCOMPARE(f->isVisible(), !saves);
    }

    // Tab reaches every control, 保存 and 关闭 included.
    void tabReachesEveryControl() {
        auto f = form();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        box(*f, 1)->setFocus();
        QStringList seen;
        for (int i = 0; i < 40; ++i) { // the lists' 添加 come after the photo button
            seen << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (const char* name : {"Text1", "Text2", "Text14", "Text15", "Command1", "Cgroup", "savebutt", "closebutt"})
            QVERIFY2(seen.contains(name), qPrintable(seen.join(' ')));
        QCOMPARE(seen.indexOf("savebutt"), seen.indexOf("Cgroup") + 1);
    }

    // Esc, 关闭 and the close box ask first when something was changed.
    void unsavedChangesQuestion_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("stored");
        QTest::newRow("Esc, nothing typed") << "esc" << false << int(MsgAnswer::Save) << false << 0;
        QTest::newRow("Esc, Cancel") << "esc" << true << int(MsgAnswer::Cancel) << true << 0;
        QTest::newRow("Esc, Discard") << "esc" << true << int(MsgAnswer::Discard) << false << 0;
        QTest::newRow("Esc, Save") << "esc" << true << int(MsgAnswer::Save) << false << 1;
        QTest::newRow("关闭, Discard") << "closebutt" << true << int(MsgAnswer::Discard) << false << 0;
        QTest::newRow("close box, Cancel") << "close" << true << int(MsgAnswer::Cancel) << true << 0;
    }
    void unsavedChangesQuestion() {
        QFETCH(QString, how);
        QFETCH(bool, typed);
        QFETCH(int, answer);
        QFETCH(bool, open);
        QFETCH(int, stored);
        auto f = form();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        if (typed)
            type(box(*f, 1), "李四");
        fx->dialogs.answers.push_back(MsgAnswer(answer));
        if (how == "esc")
            QTest::keyClick(box(*f, 1), Qt::Key_Escape);
        else if (how == "closebutt")
            f->Toolbar1_ButtonClick("closebutt");
        else
            f->close();
        QCOMPARE(fx->dialogs.messages.size(), typed ? 1 : 0);
        if (typed) {
            const Message asked = fx->dialogs.last();
            QCOMPARE(asked.text, QString("这个联系人的资料已经修改，要保存吗？"));
            QCOMPARE(asked.buttons, MsgButtons::SaveDiscardCancel);
            QCOMPARE(asked.defaultButton, MsgAnswer::Save);
            QCOMPARE(asked.icon, MsgIcon::Question);
        }
        QCOMPARE(f->isVisible(), open);
        QCOMPARE(fx->count("select count(*) from phone"), stored);
        if (open)
            QCOMPARE(box(*f, 1)->text(), QString("李四"));
    }

    // A person opened and closed unchanged is not asked about.
    void unchangedPersonClosesSilently() {
        const QString key = fx->addContact(group, "王五", QDate(1604, 5, 17), "139");
        auto& w = fx->window();
        fx->state.CurrentContactId = key;
        auto f = form(frm_detail::Mode::Update);
        f->showContact(*fx->open().loadContact(key));
        QCOMPARE(box(*f, 2)->text(), QString("5月17日"));
        QTest::keyClick(box(*f, 1), Qt::Key_Escape);
        QVERIFY(!f->isVisible());
        QVERIFY(fx->dialogs.messages.isEmpty());
        Q_UNUSED(w);
    }

    // A 30-character group name leaves 保存 and 关闭 on the toolbar, and the form fits the screen.
    void longGroupNameKeepsBothButtons() {
        fx->addGroup(QString(30, QChar(u'长')));
        auto f = form();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        groupChoice(*f)->setCurrentIndex(1);
        auto* toolbar = f->findChild<QToolBar*>("Toolbar1");
        for (const char* key : {"savebutt", "closebutt"}) {
            QWidget* face = toolbar->findChild<QToolButton*>(key);
            QVERIFY2(face && face->isVisible(), key);
            QVERIFY(toolbar->rect().contains(face->geometry()));
        }
        auto* extension = toolbar->findChild<QToolButton*>("qt_toolbar_ext_button");
        QVERIFY(!extension || !extension->isVisible());
        const QRect area = f->screen()->availableGeometry();
        QVERIFY(f->height() <= area.height() && f->width() <= area.width());
        QVERIFY(f->findChild<QScrollArea*>("FormScroll"));
    }

    void everyCommandHasItsKeys() {
        Frm_main& w = fx->window();
        QSet<QString> seen;
        for (const char* key : {"addbutt", "addnew", "addgroup", "import", "editbutt", "querybutt", "birthday", "left",
                                "right", "config", "export", "aboutbutt", "quitbutt"}) {
            QAction* action = w.action(key);
            QVERIFY2(action, key);
            QVERIFY2(!action->shortcut().isEmpty(), key);
            QCOMPARE(action->shortcut(), shortcuts::of(key));
            QVERIFY2(!seen.contains(action->shortcut().toString()), key);
            seen.insert(action->shortcut().toString());
        }
        // a drop-down entry's keys work while its menu is closed: Ctrl+B runs the reminder
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QTest::keyClick(&w, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(fx->dialogs.texts(), QStringList{"最近 10 天内没有过生的好友！"});
    }

    // F2 renames the selected row's name whatever cell is current.
    void f2FromAnyCell() {
        const QString key = fx->addContact(group, "赵六", {}, "137");
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QModelIndex phone = w.listModel()->index(w.listModel()->rowOfKey(key), 2);
        w.LV()->setCurrentIndex(phone);
        w.LV()->setFocus();
        QTest::keyClick(w.LV(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(w.LV()->indexWidget(phone.siblingAtColumn(0)));
        QVERIFY(editor);
        QCOMPARE(editor->text(), QString("赵六"));
    }

    // After a search that found nothing, the main window is active and the list has the keyboard.
    void focusComesBackAfterAFruitlessSearch() {
        fx->addContact(group, "孙七");
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.LV()->setFocus();
        fx->dialogs.formAnswers.push_back([](QDialog& dialog) {
            auto* query = qobject_cast<Frm_query*>(&dialog);
            if (!query)
                return int(QDialog::Rejected);
            query->show(); // as the modal form takes the keyboard
            query->activateWindow();
            query->Text(1)->setText("没有这个人");
            query->Command1_Click();
            return query->result();
        });
        openQueryForm(w.view());
        QCOMPARE(fx->dialogs.texts(), QStringList{"按您的条件没有查到数据！"});
        QCOMPARE(QApplication::activeWindow(), &w);
        QVERIFY(w.LV()->hasFocus());
    }

    // On an empty data file, 新建 ▸ 名单 offers the group first and shows it under the top node.
    void firstRunOffersAGroup_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("formOpens");
        QTest::newRow("yes") << int(MsgAnswer::Yes) << true;
        QTest::newRow("no") << int(MsgAnswer::No) << false;
    }
    void firstRunOffersAGroup() {
        QFETCH(int, answer);
        QFETCH(bool, formOpens);
        fx = std::make_unique<Fixture>(); // no group at all
        Frm_main& w = fx->window();
        fx->dialogs.answers.push_back(MsgAnswer(answer));
        fx->dialogs.inputAnswers.push_back(QString("家人"));
        w.Toolbar1_ButtonMenuClick("addnew");
        QCOMPARE(fx->dialogs.messages.front().buttons, MsgButtons::YesNo);
        QVERIFY(fx->dialogs.messages.front().text.startsWith("还没有任何分组"));
        const QList<frm_detail*> forms = w.findChildren<frm_detail*>();
        QCOMPARE(!forms.isEmpty() && forms.front()->isVisible(), formOpens);
        QCOMPARE(fx->count("select count(*) from 分类"), formOpens ? 1 : 0);
        if (formOpens) {
            QVERIFY(w.TV()->isExpanded(w.treeModel()->rootIndex()));
            QCOMPARE(groupChoice(*forms.front())->currentText(), QString("家人"));
        }
        for (frm_detail* f : forms)
            f->done(QDialog::Rejected);
    }

    void rightClickMenus_data() {
        QTest::addColumn<bool>("onTree");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("tree") << true << QStringList{"新建联系人", "新建分组...", "重命名", "删除...", "撤销", "重做"};
        QTest::newRow("list") << false
                              << QStringList{"修改...", "重命名", "删除...", "移动到分组", "二维码名片...", "新建联系人", "筛选...",
                                             "打印...", "撤销", "重做"};
    }
    void rightClickMenus() {
        QFETCH(bool, onTree);
        QFETCH(QStringList, entries);
        fx->addContact(group, "周八");
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeView* view = onTree ? w.TV() : w.LV();
        QStringList shown;
        bool enabled = false;
        whenShown([&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return false;
            for (QAction* a : menu->actions()) {
                if (!a->isSeparator())
                    shown << a->text();
            }
            enabled = menu->actions().front()->isEnabled();
            menu->close();
            return true;
        });
        const QModelIndex first = view->model()->index(0, 0);
        emit view->customContextMenuRequested(view->visualRect(first).center());
        QCOMPARE(shown, entries);
        QVERIFY(enabled);
    }

    void droppedFilesAreImported() {
        Frm_main& w = fx->window();
        QMimeData data;
        const QString vcf = fx->dir.filePath("名片.vcf");
        QFile file(vcf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:吴九\r\nN:吴;九;;;\r\nTEL:13500000000\r\nEND:VCARD\r\n");
        file.close();
        const QString text = fx->dir.filePath("notes.txt");
        QFile other(text);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        data.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(vcf), QUrl("https://example.com/a.vcf")});
        QCOMPARE(Frm_main::droppedContactFiles(&data), QStringList{vcf});
        w.importDroppedFiles(Frm_main::droppedContactFiles(&data),
                             [&](const QString&, int, const std::vector<GroupRow>&, const QString&) {
                                 return std::optional<QString>(group);
                             });
        QCOMPARE(fx->count("select count(*) from phone where 姓名 = '吴九'"), 1);
    }

    // The person picture reads on a selected row, and rows refilled after a save stay persons.
    void pictures() {
        const QIcon person = pictures::node(3);
        QCOMPARE(person.pixmap(16, QIcon::Selected).toImage(), person.pixmap(16, QIcon::Normal).toImage());
        fx->addContact(group, "郑十", {}, "139");
        Frm_main& w = fx->window();
        RowTable rows;
        fx->open().listAll(rows);
        w.listModel()->setRows(std::move(rows), 1); // as the refill of a search after a save
        QCOMPARE(w.listModel()->picture(), 1);
        const QIcon shown = w.listModel()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(shown.pixmap(16).toImage(), person.pixmap(16).toImage());
    }

    // A drop-down button is not left drawn raised once its menu has closed away from it.
    void dropDownNotLeftRaised() {
        Frm_main& w = fx->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* face = w.Toolbar1()->findChild<QToolButton*>("addbutt");
        QVERIFY(face && face->menu());
        face->setAttribute(Qt::WA_UnderMouse, true);
        QCursor::setPos(w.mapToGlobal(QPoint(5, w.height() - 5)));
        emit face->menu()->aboutToHide();
        QVERIFY(!face->testAttribute(Qt::WA_UnderMouse));
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
