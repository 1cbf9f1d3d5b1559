// A name being edited in place belongs to the person or group it was opened on. Whatever refills
// the list or rebuilds the tree meanwhile (a delete, a save from the record form left open beside
// the window, an import), the editor ends without writing, and a rename committed for somebody
// who is gone renames nobody. Checked in the data file.
#include "gui/app/MainWindow.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/forms/RecordForm.h"
#include "gui/list/ContactListModel.h"
#include "gui/app/Commands.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"
#include "support/StoreProbe.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

namespace {

// Every person and group as "key=name", from the data file.
QStringList storedNames(Fixture& f) {
    QStringList names;
    SQLite::Statement people(storeDb(*f.state.Conn), "select friendid, 姓名 from phone order by id");
    while (people.executeStep())
        names << QString::fromStdString(people.getColumn(0).getString() + "=" + people.getColumn(1).getString());
    SQLite::Statement groups(storeDb(*f.state.Conn), "select 分类, 类型 from 分类 order by id");
    while (groups.executeStep())
        names << QString::fromStdString(groups.getColumn(0).getString() + "=" + groups.getColumn(1).getString());
    return names;
}

QLineEdit* openEditor(QTreeView* view, const QModelIndex& index, const QString& typed) {
    view->setCurrentIndex(index);
    view->edit(index);
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    if (editor)
        editor->setText(typed);
    return editor;
}

} // namespace

class TestInPlace : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString classmates, friends, zhang, li, wang;

    void refill(Frm_main& w, const QString& how) {
        if (how.startsWith(QStringLiteral("delete from the list"))) {
            w.Lvfocus = true;
            w.Tvfocus = false;
            fx->dialogs.answers.push_back(MsgAnswer::Yes);
            w.Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        } else if (how == QStringLiteral("save from the modeless record form")) {
            w.Toolbar1_ButtonMenuClick(QStringLiteral("addnew"));
            frm_detail* form = nullptr;
            for (frm_detail* f : w.findChildren<frm_detail*>())
                form = f->isVisible() ? f : form;
            QVERIFY(form);
            box(*form, 1)->setText(QStringLiteral("新人"));
            form->Toolbar1_ButtonClick(QStringLiteral("savebutt"));
        } else if (how == QStringLiteral("import")) {
            const QString card = fx->dir.filePath(QStringLiteral("one.vcf"));
            QFile file(card);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:赵六\r\nEND:VCARD\r\n");
            file.close();
            fx->dialogs.fileAnswers.push_back(card);
            importContacts(w.view(), [&](const QString&, int, const auto&, const QString&) {
                return std::optional<QString>(friends);
            });
        }
    }

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        classmates = fx->addGroup(QStringLiteral("同学"));
        friends = fx->addGroup(QStringLiteral("朋友"));
        zhang = fx->addContact(classmates, QStringLiteral("张三"));
        li = fx->addContact(classmates, QStringLiteral("李四"));
        wang = fx->addContact(classmates, QStringLiteral("王五"));
    }
    void cleanup() { fx.reset(); }

    // The editor is open on 张三's name with a new name typed when the list is refilled.
    void aRefillEndsTheListsEditorWithoutWriting_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("zhangDeleted");
        QTest::newRow("delete") << "delete from the list" << true;
        QTest::newRow("delete, tree on the person") << "delete from the list, tree on the person" << true;
        QTest::newRow("modeless save") << "save from the modeless record form" << false;
        QTest::newRow("import") << "import" << false;
    }
    void aRefillEndsTheListsEditorWithoutWriting() {
        QFETCH(QString, how);
        QFETCH(bool, zhangDeleted);
        Frm_main& w = fx->window();
        // The tree on the person: the delete then lists the person's group again.
        clickNode(w, how.endsWith(QStringLiteral("tree on the person")) ? zhang : classmates);
        selectRow(w, zhang);
        QStringList before = storedNames(*fx);
        QVERIFY(openEditor(w.LV(), w.listModel()->index(w.listModel()->rowOfKey(zhang), 0), QStringLiteral("改名")));
        refill(w, how);
        QApplication::processEvents(); // a queued rename, if one was committed, arrives here
        QApplication::processEvents();
        QStringList after = storedNames(*fx);
        if (zhangDeleted)
            before.removeAll(zhang + QStringLiteral("=张三"));
        // Everybody who was there keeps the stored name; the command may have added somebody.
        for (const QString& entry : before)
            QVERIFY2(after.contains(entry), qPrintable(entry));
        QCOMPARE(after.size(), before.size() + (how == QStringLiteral("save from the modeless record form") || how == QStringLiteral("import") ? 1 : 0));
        QVERIFY(!after.join(u'\n').contains(QStringLiteral("改名")));
        QVERIFY(!w.LV()->viewport()->findChild<QLineEdit*>() ||
                !w.LV()->viewport()->findChild<QLineEdit*>()->isVisible());
    }

    // A rename the editor committed before the person was deleted reaches the window after the
    // delete: it renames nobody, not the person who took the row.
    void aCommittedRenameOfADeletedPersonRenamesNobody() {
        Frm_main& w = fx->window();
        clickNode(w, classmates);
        selectRow(w, zhang);
        QVERIFY(w.listModel()->setData(w.listModel()->index(w.listModel()->rowOfKey(zhang), 0),
                                       QStringLiteral("张三丰"), Qt::EditRole)); // queued
        w.Lvfocus = true;
        w.Tvfocus = false;
        fx->dialogs.answers.push_back(MsgAnswer::Yes);
        w.Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        QApplication::processEvents();
        QCOMPARE(storedNames(*fx), (QStringList{li + "=李四", wang + "=王五", classmates + "=同学", friends + "=朋友"}));
        QCOMPARE(listNames(w), (QStringList{QStringLiteral("李四"), QStringLiteral("王五")}));
    }

    // The same in the tree: a label editor open on a group or a person when that node is deleted.
    void aDeleteEndsTheTreesEditorWithoutWriting_data() {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("deleted");
        QTest::newRow("group edited, group deleted") << "classmates" << "classmates";
        QTest::newRow("person edited, person deleted") << "zhang" << "zhang";
    }
    void aDeleteEndsTheTreesEditorWithoutWriting() {
        QFETCH(QString, edited);
        QFETCH(QString, deleted);
        const QHash<QString, QString> keyOf{{"classmates", classmates}, {"zhang", zhang}};
        Frm_main& w = fx->window();
        const QString deletedKey = keyOf[deleted];
        w.TV()->expandAll();
        QVERIFY(openEditor(w.TV(), w.treeModel()->indexForKey(keyOf[edited]), QStringLiteral("改名")));
        w.treeModel()->setData(w.treeModel()->indexForKey(keyOf[edited]), QStringLiteral("改名"), Qt::EditRole);
        const QStringList renamed = storedNames(*fx);
        QVERIFY(renamed.contains(keyOf[edited] + QStringLiteral("=改名"))); // a commit before the delete is kept
        QVERIFY(openEditor(w.TV(), w.treeModel()->indexForKey(keyOf[edited]), QStringLiteral("又改名")));
        w.Lvfocus = false;
        w.Tvfocus = true;
        fx->dialogs.answers.push_back(MsgAnswer::Yes);
        w.Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        QApplication::processEvents();
        const QStringList after = storedNames(*fx);
        QVERIFY(!after.join(u'\n').contains(QStringLiteral("又改名")));
        for (const QString& entry : renamed) {
            const bool gone = entry.startsWith(deletedKey + u'=') ||
                              (deletedKey == classmates && entry.startsWith(QStringLiteral("friend")));
            QCOMPARE(after.contains(entry), !gone);
        }
    }
};

QTEST_MAIN(TestInPlace)

#include "tst_inplace.moc"
