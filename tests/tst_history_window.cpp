// The window's side of undo and recently deleted: after every undoable command, Ctrl+Z gives back
// the tree, the list's rows and both selections as they were before it, Ctrl+Shift+Z as they were
// after it, whatever the list showed; the recently deleted list hands back the entries the user
// selected.
#include "core/app/Settings.h"
#include "core/store/Store.h"
#include "gui/app/MainWindow.h"
#include "gui/app/QtDialogs.h"
#include "gui/forms/DuplicatesDialog.h"
#include "gui/forms/RecentlyDeletedDialog.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactListModel.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

namespace {

// What the window shows, as the user sees it: every tree node (depth, key, label, expanded), the
// list's rows (key and every cell) with their picture, the tree's selected node, the selected row.
struct Shown {
    QStringList tree;
    QStringList rows;
    QString node;
    QString row;
};

void addNodes(Frm_main& w, const QModelIndex& parent, int depth, QStringList& out) {
    GroupTreeModel* model = w.treeModel();
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex node = model->index(r, 0, parent);
        out << QStringLiteral("%1 %2 %3%4")
                   .arg(depth)
                   .arg(model->keyOf(node), node.data().toString(),
                        w.TV()->isExpanded(node) ? QStringLiteral(" +") : QString());
        addNodes(w, node, depth + 1, out);
    }
}

Shown shown(Frm_main& w) {
    Shown s;
    addNodes(w, {}, 0, s.tree);
    ContactListModel* list = w.listModel();
    for (int r = 0; r < list->rowCount(); ++r) {
        QStringList cells{list->keyAt(r), QString::number(list->picture())};
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->index(r, c).data().toString();
        s.rows << cells.join(QLatin1Char('|'));
    }
    const QModelIndex node = w.TV()->currentIndex();
    if (node.isValid() && w.TV()->selectionModel()->isSelected(node))
        s.node = w.treeModel()->keyOf(node);
    const QModelIndexList rows = w.LV()->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        s.row = list->keyAt(rows.front().row());
    return s;
}

void compareShown(const Shown& actual, const Shown& expected, const char* when) {
    QVERIFY2(actual.tree == expected.tree,
             qPrintable(QStringLiteral("%1: tree\n%2\nexpected\n%3")
                            .arg(QLatin1String(when), actual.tree.join(QLatin1Char('\n')),
                                 expected.tree.join(QLatin1Char('\n')))));
    QVERIFY2(actual.rows == expected.rows,
             qPrintable(QStringLiteral("%1: rows\n%2\nexpected\n%3")
                            .arg(QLatin1String(when), actual.rows.join(QLatin1Char('\n')),
                                 expected.rows.join(QLatin1Char('\n')))));
    QVERIFY2(actual.node == expected.node,
             qPrintable(QStringLiteral("%1: node %2, expected %3").arg(QLatin1String(when), actual.node, expected.node)));
    QVERIFY2(actual.row == expected.row,
             qPrintable(QStringLiteral("%1: row %2, expected %3").arg(QLatin1String(when), actual.row, expected.row)));
}

// Ends an in-place edit of a view's current item as the user does: the text typed, then Enter.
void renameInPlace(QTreeView* view, const QModelIndex& index, const QString& text) {
    view->setCurrentIndex(index);
    view->edit(index);
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the list's rename is stored once the editor is gone
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

private slots:
    void undoAndRedoBringBackTheView_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("shows");
        const QStringList commands{"add",           "edit",         "rename in the list", "rename a person in the tree",
                                   "delete from the list", "delete a person in the tree", "delete a group",
                                   "add a group",   "rename a group", "import",            "restore",
                                   "merge"};
        for (const QString& command : commands) {
            for (const char* shows : {"everybody", "a group", "a search", "the reminder"})
                QTest::addRow("%s, %s", qPrintable(command), shows) << command << QString::fromLatin1(shows);
        }
    }

    void undoAndRedoBringBackTheView() {
        QFETCH(QString, command);
        QFETCH(QString, shows);
        Fixture f;
        const QString classmates = f.addGroup(QStringLiteral("同学"));
        const QString colleagues = f.addGroup(QStringLiteral("同事"));
        f.addContact(classmates, QStringLiteral("张三"), QDate(1990, 3, 12), QStringLiteral("13700000000"));
        const QString li = f.addContact(classmates, QStringLiteral("李四"), QDate(1985, 3, 15), QStringLiteral("13800000001"));
        const QString wang = f.addContact(colleagues, QStringLiteral("王五"), QDate(1980, 3, 18), QStringLiteral("13900000002"));
        f.addContact(colleagues, QStringLiteral("王五"), std::nullopt, QStringLiteral("13900000002"));
        const QString zhao = f.addContact(colleagues, QStringLiteral("赵六"), QDate(1970, 3, 11), QStringLiteral("13600000003"));
        Frm_main& w = f.window();
        w.show();
        // Somebody deleted earlier, for the restore.
        w.apply(w.run([&] { return f.state.deleteNode(zhao); }));

        // What the list shows, with 李四's row selected and the focus in the list.
        if (shows == QLatin1String("everybody")) {
            clickNode(w, QStringLiteral("root"));
        } else if (shows == QLatin1String("a group")) {
            clickNode(w, classmates);
        } else if (shows == QLatin1String("a search")) {
            clickNode(w, colleagues);
            QVERIFY(w.searchFromForm(&w, Query{QStringLiteral("移动电话 like ?"), {QStringLiteral("%13%")}}));
        } else {
            w.Toolbar1_ButtonMenuClick(QStringLiteral("birthday"));
            QVERIFY(f.state.ListSource.isQuery());
        }
        w.TV()->expand(w.treeModel()->indexForKey(colleagues));
        selectRow(w, li);
        w.LV()->setFocus();
        // A command of the tree works on the tree's node, selected without a click (as a right click
        // does): the list keeps what it shows.
        const auto treeNode = [&](const QString& key) {
            w.TV()->setCurrentIndex(w.treeModel()->indexForKey(key));
            w.Tvfocus = true;
            w.Lvfocus = false;
        };
        if (command == QLatin1String("rename a person in the tree") || command == QLatin1String("delete a person in the tree"))
            treeNode(li);
        else if (command == QLatin1String("delete a group"))
            treeNode(colleagues);
        else if (command == QLatin1String("rename a group"))
            treeNode(classmates);
        else {
            w.Lvfocus = true;
            w.Tvfocus = false;
        }
        const Shown before = shown(w);
        QCOMPARE(before.row, li);

        if (command == QLatin1String("add")) {
            ModalForm act(f.dialogs, [&](frm_detail& form) {
                groupChoice(form)->setCurrentIndex(groupChoice(form)->findText(QStringLiteral("同学")));
                box(form, 1)->setText(QStringLiteral("孙七"));
                box(form, 3)->setText(QStringLiteral("13500000004"));
                form.Toolbar1_ButtonClick(QStringLiteral("savebutt"));
            });
            w.Toolbar1_ButtonClick(QStringLiteral("addbutt"));
            QVERIFY(act.seen());
        } else if (command == QLatin1String("edit")) {
            ModalForm act(f.dialogs, [&](frm_detail& form) {
                box(form, 3)->setText(QStringLiteral("13811112222"));
                form.Toolbar1_ButtonClick(QStringLiteral("savebutt"));
            });
            w.Toolbar1_ButtonClick(QStringLiteral("editbutt"));
            QVERIFY(act.seen());
        } else if (command == QLatin1String("rename in the list")) {
            renameInPlace(w.LV(), w.listModel()->index(w.listModel()->rowOfKey(li), 0), QStringLiteral("李小四"));
        } else if (command == QLatin1String("rename a person in the tree")) {
            renameInPlace(w.TV(), w.treeModel()->indexForKey(li), QStringLiteral("李小四"));
        } else if (command == QLatin1String("rename a group")) {
            renameInPlace(w.TV(), w.treeModel()->indexForKey(classmates), QStringLiteral("老同学"));
        } else if (command.startsWith(QLatin1String("delete"))) {
            f.dialogs.answers.push_back(MsgAnswer::Yes);
            w.Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        } else if (command == QLatin1String("add a group")) {
            f.dialogs.inputAnswers.push_back(QStringLiteral("新组"));
            w.Toolbar1_ButtonMenuClick(QStringLiteral("addgroup"));
        } else if (command == QLatin1String("import")) {
            const QString card = f.dir.filePath(QStringLiteral("one.vcf"));
            QFile file(card);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:周八\r\nTEL;TYPE=CELL:13300000005\r\nEND:VCARD\r\n");
            file.close();
            w.importDroppedFiles({card}, [&](const QString&, int, const auto&, const QString&) {
                return std::optional<QString>(classmates);
            });
        } else if (command == QLatin1String("restore")) {
            f.dialogs.formAnswers.push_back([](QDialog& form) {
                static_cast<RecentlyDeletedDialog&>(form).table()->selectRow(0);
                return int(QDialog::Accepted);
            });
            w.Toolbar1_ButtonMenuClick(QStringLiteral("deleted"));
        } else if (command == QLatin1String("merge")) {
            f.dialogs.formAnswers.push_back([](QDialog& form) {
                static_cast<DuplicatesDialog&>(form).mergeButton()->click();
                return int(QDialog::Rejected);
            });
            w.Toolbar1_ButtonMenuClick(QStringLiteral("duplicates"));
        }
        QVERIFY2(f.dialogs.answers.empty() && f.dialogs.inputAnswers.empty() && f.dialogs.formAnswers.empty(),
                 "every answer was asked for");
        QCoreApplication::processEvents();
        const Shown after = shown(w);
        QVERIFY2(after.tree != before.tree || after.rows != before.rows, "the command changed what is shown");
        QVERIFY(w.action(QStringLiteral("undo"))->isEnabled());

        w.action(QStringLiteral("undo"))->trigger();
        QCoreApplication::processEvents();
        // The view comes back as it was, except that a search's or the reminder's rows leave no
        // node of the tree selected: the line over the list names them, not the tree.
        Shown expected = before;
        if (f.state.Listed.isQuery())
            expected.node.clear();
        compareShown(shown(w), expected, "after the undo");
        if (QTest::currentTestFailed())
            return;
        w.action(QStringLiteral("redo"))->trigger();
        QCoreApplication::processEvents();
        compareShown(shown(w), after, "after the redo");
        Q_UNUSED(wang);
    }

    // Right after a box or a menu closes (answered or dismissed by keys), the next shortcut works
    // without a click: the keyboard focus is back in the list. The real boxes and menus, since the
    // fault is theirs.
    void shortcutRightAfterABoxOrMenu_data() {
        QTest::addColumn<QString>("closes");
        QTest::newRow("the delete question, answered") << QStringLiteral("question");
        QTest::newRow("the new group's input box, cancelled") << QStringLiteral("input");
        QTest::newRow("the list's menu, dismissed") << QStringLiteral("menu");
        QTest::newRow("a record form without modality, closed") << QStringLiteral("form");
    }

    void shortcutRightAfterABoxOrMenu() {
        QFETCH(QString, closes);
        Fixture f;
        const QString group = f.addGroup(QStringLiteral("同学"));
        const QString li = f.addContact(group, QStringLiteral("李四"));
        const QString wang = f.addContact(group, QStringLiteral("王五"));
        Frm_main& w = f.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickNode(w, QStringLiteral("root"));
        selectRow(w, li);
        w.LV()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w.LV());
        // What Ctrl+Z then gives back: the person the question deleted, else one deleted before.
        QString gone = li;
        if (closes != QLatin1String("question")) {
            w.apply(w.run([&] { return f.state.deleteNode(wang); }));
            gone = wang;
        }

        QtDialogs real;
        f.state.env.dialogs = &real;
        QTimer keys;
        keys.setInterval(20);
        connect(&keys, &QTimer::timeout, &w, [&] {
            if (QWidget* menu = QApplication::activePopupWidget()) {
                QTest::keyClick(menu, Qt::Key_Escape);
            } else if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->button(QMessageBox::Yes)->setFocus();
                QTest::keyClick(box, Qt::Key_Return);
            } else if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                QTest::keyClick(input, Qt::Key_Escape);
            } else {
                return;
            }
            keys.stop();
        });
        keys.start();
        if (closes == QLatin1String("question"))
            QTest::keyClick(w.LV(), Qt::Key_Delete);
        else if (closes == QLatin1String("input"))
            QTest::keyClick(w.LV(), Qt::Key_G, Qt::ControlModifier);
        else if (closes == QLatin1String("menu"))
            emit w.LV()->customContextMenuRequested(QPoint(4, 4));
        else
            QTest::keyClick(w.LV(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        if (closes == QLatin1String("form")) {
            keys.stop();
            frm_detail* form = w.findChild<frm_detail*>();
            QVERIFY(form && form->isVisible());
            QTRY_VERIFY(form->isActiveWindow());
            QTest::keyClick(form, Qt::Key_Escape);
            QVERIFY(!form->isVisible());
        }
        f.state.env.dialogs = &f.dialogs;
        QVERIFY(!keys.isActive());
        QVERIFY(!listKeys(w).contains(gone));

        QTRY_COMPARE(QApplication::focusWidget(), w.LV());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(listKeys(w).contains(gone));
    }

    // A file the last orderly close checked is not read through again at the next start; its
    // changes are undoable all the same.
    void undoAfterARestart() {
        Fixture f;
        const QString group = f.addGroup(QStringLiteral("老师"));
        const QString wang = f.addContact(group, QStringLiteral("王老师"));
        f.window();
        f.closeWindow();
        QVERIFY(!f.settings->text(setting::CheckedDataFile).isEmpty());
        // The next start: a session of its own, as a new run of the program has.
        AppState next;
        next.env = f.state.env;
        Frm_main w(next, f.paths);
        QVERIFY(w.Form_Load());
        w.apply(w.run([&] { return next.deleteNode(wang); }));
        QVERIFY(w.action(QStringLiteral("undo"))->isEnabled());
        w.action(QStringLiteral("undo"))->trigger();
        QCOMPARE(f.count("select count(*) from phone"), 1);
    }

    void undoOfAGroupDeleteInTheWindow() {
        Fixture f;
        const QString group = f.addGroup(QStringLiteral("老师"));
        const QString wang = f.addContact(group, QStringLiteral("王老师"));
        f.addContact(group, QStringLiteral("李老师"));
        Frm_main& w = f.window();
        QAction* undo = w.action(QStringLiteral("undo"));
        QVERIFY(undo && !undo->isEnabled());

        w.apply(w.run([&] { return f.state.deleteNode(group); }));
        QVERIFY(!w.treeModel()->indexForKey(group).isValid());
        QVERIFY(undo->isEnabled());

        undo->trigger();
        QVERIFY(w.treeModel()->indexForKey(group).isValid());
        QVERIFY(w.treeModel()->indexForKey(wang).isValid());
        QCOMPARE(w.listModel()->rowCount(), 2);
        QCOMPARE(f.count("select count(*) from phone"), 2);
        QVERIFY(w.action(QStringLiteral("redo"))->isEnabled());
    }

    // The merge view: a single value is picked (the longer one, or the one chosen; a lunar birthday
    // is a choice in its calendar); numbers and e-mails are only listed, all of them kept.
    void duplicatesDialogPicksAndMerges() {
        ContactFields a, b;
        a.name = b.name = QStringLiteral("张三");
        a.mobile = QStringLiteral("138");
        b.mobile = QStringLiteral("+86 139");
        b.email = QStringLiteral("zs@example.cn");
        a.lunarBirthday = LunarBirthday{1990, 8, 15, false};
        a.birthday = a.lunarBirthday->gregorian();
        b.birthday = QDate(1990, 10, 1);
        QStringList mergedKeys;
        ContactFields mergedFields;
        DuplicatesDialog dialog(
            {{QStringLiteral("friend1"), QStringLiteral("friend2")}},
            [&](const QString& key) { return std::optional<ContactFields>(key == QLatin1String("friend1") ? a : b); },
            [&](const QStringList& keys, const ContactFields& merged) {
                mergedKeys = keys;
                mergedFields = merged;
                return true;
            });
        QCOMPARE(dialog.groupList()->count(), 1);
        QVERIFY(!dialog.choice(2) && !dialog.choice(11));
        QCOMPARE(dialog.kept(2)->text(), QStringLiteral("138、+86 139"));
        QCOMPARE(dialog.kept(11)->text(), QStringLiteral("zs@example.cn"));
        QCOMPARE(dialog.choice(1)->count(), 2);
        dialog.choice(1)->setCurrentIndex(dialog.choice(1)->findText(lunarBirthdayText(*a.lunarBirthday)));
        dialog.mergeButton()->click();
        QCOMPARE(mergedKeys, (QStringList{"friend1", "friend2"}));
        QCOMPARE(mergedFields.mobile, QStringLiteral("+86 139"));
        QCOMPARE(mergedFields.lunarBirthday, a.lunarBirthday);
        QCOMPARE(mergedFields.email, QStringLiteral("zs@example.cn"));
        QCOMPARE(dialog.groupList()->count(), 0);
        QVERIFY(!dialog.mergeButton()->isEnabled());
    }

    // After a merge the next group is selected, and the panel and 合并 are that group's: never the
    // values of the group merged before, never those of the group after it.
    void mergeViewFollowsTheSelectedGroup() {
        Fixture f;
        const QString group = f.addGroup(QStringLiteral("同学"));
        f.addContact(group, QStringLiteral("张三"), QDate(1990, 1, 1), QStringLiteral("13800000001"));
        f.addContact(group, QStringLiteral("张三"), {}, QStringLiteral("13800000002"));
        const QString zhou = f.addContact(group, QStringLiteral("周子敏"), QDate(1992, 2, 2), QStringLiteral("13600000001"));
        f.addContact(group, QStringLiteral("周子敏"), {}, QStringLiteral("13600000002"));
        f.addContact(group, QStringLiteral("李四"), QDate(1994, 4, 4), QStringLiteral("13900000001"));
        f.addContact(group, QStringLiteral("李四"), {}, QStringLiteral("13900000002"));
        Frm_main& w = f.window();
        QStringList seen; // after the first merge: the group selected, then the panel's name and birthday
        f.dialogs.formAnswers.push_back([&](QDialog& form) {
            auto& view = static_cast<DuplicatesDialog&>(form);
            view.groupList()->setCurrentRow(0);
            view.mergeButton()->click();
            seen << view.groupList()->currentItem()->text() << view.choice(0)->currentText()
                 << view.kept(2)->text();
            // An undo brings 张三 back as a group; 周子敏 stays selected and shown.
            view.undoButton()->click();
            seen << QString::number(view.groupList()->count()) << view.groupList()->currentItem()->text()
                 << view.choice(0)->currentText() << view.kept(2)->text();
            view.mergeButton()->click();
            return int(QDialog::Rejected);
        });
        w.Toolbar1_ButtonMenuClick(QStringLiteral("duplicates"));
        QCOMPARE(seen, (QStringList{"周子敏 (2)", "周子敏", "13600000001、13600000002", "3", "周子敏 (2)", "周子敏",
                                    "13600000001、13600000002"}));
        QCOMPARE(f.count("select count(*) from phone where 姓名='张三'"), 2);
        QCOMPARE(f.count("select count(*) from phone where 姓名='李四'"), 2);
        const std::optional<ContactFields> merged = f.state.Conn->loadContact(zhou);
        QVERIFY(merged);
        QCOMPARE(merged->name, QStringLiteral("周子敏"));
        QCOMPARE(merged->birthday, QDate(1992, 2, 2));
        QCOMPARE(f.count("select count(*) from phone where 姓名='周子敏'"), 1);
    }

    void recentlyDeletedDialogHandsBackTheSelection() {
        const std::vector<DeletedContact> people = {{7, "friend7", "张三", "同学", "2025-03-09 10:00"},
                                                    {9, "friend9", "李四", "朋友", "2025-03-10 11:00"}};
        RecentlyDeletedDialog dialog(people);
        QCOMPARE(dialog.table()->rowCount(), 2);
        QCOMPARE(dialog.table()->item(1, 1)->text(), QStringLiteral("朋友"));
        QVERIFY(!dialog.restoreButton()->isEnabled());
        dialog.table()->selectRow(1);
        QVERIFY(dialog.restoreButton()->isEnabled());
        QCOMPARE(dialog.selectedIds(), std::vector<qint64>{9});
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
