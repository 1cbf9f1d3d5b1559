// The search: which people each box finds, what typed texts can never do, and the form itself.
#include "gui/app/MainWindow.h"
#include "gui/forms/QueryForm.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "core/store/Store.h"
#include "support/Fixture.h"
#include "support/MainWindowProbe.h"
#include "support/StoreProbe.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
const QString NothingFound = QStringLiteral("按您的条件没有查到数据！");

// The field each box searches, for writing test people; nullptr: the birthday, a date.
QString ContactFields::*const FieldOfBox[search::BoxCount] = {&ContactFields::name,      nullptr,
                                                              &ContactFields::mobile,    &ContactFields::workPhone,
                                                              &ContactFields::homePhone, &ContactFields::fax,
                                                              &ContactFields::address,   &ContactFields::postcode,
                                                              &ContactFields::qq,        &ContactFields::icq,
                                                              &ContactFields::msn,       &ContactFields::email,
                                                              &ContactFields::nickname,  &ContactFields::remarks};

QString addPerson(Fixture& f, const QString& group, const QString& name, int box, const QString& value) {
    ContactFields c = contact(group, name);
    if (FieldOfBox[box - 1])
        c.*FieldOfBox[box - 1] = value;
    else
        c.birthday = QDate::fromString(value, Qt::ISODate);
    return f.open().addContact(c);
}

// Types into the boxes (box number -> text) and presses 查询; true when the form closed.
bool runSearch(Frm_main& w, const std::map<int, QString>& texts) {
    Frm_query form(w.view(), &w);
    for (const auto& [number, text] : texts)
        form.Text(number)->setText(text);
    form.Command1_Click();
    return form.result() == QDialog::Accepted;
}

// Notes where the input focus was when a message came up.
class FocusAtMessage final : public Dialogs {
public:
    FocusAtMessage(Dialogs& inner, QWidget* form) : inner_(inner), form_(form) {}
    MsgAnswer show(QWidget* parent, const Message& m) override {
        focus = form_->focusWidget();
        return inner_.show(parent, m);
    }
    std::optional<QString> input(QWidget* p, const QString& t, const QString& c) override {
        return inner_.input(p, t, c);
    }
    QString openFile(QWidget* p, const FileRequest& r) override { return inner_.openFile(p, r); }
    QString saveFile(QWidget* p, const FileRequest& r) override { return inner_.saveFile(p, r); }
    int openForm(QDialog& form) override { return inner_.openForm(form); }
    QWidget* focus = nullptr;

private:
    Dialogs& inner_;
    QWidget* form_;
};
} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void conditionsInBoxOrderJoinedByAnd() {
        search::BoxTexts texts;
        texts[2] = "139";
        texts[0] = "张";
        const Query query = search::buildQuery(texts);
        // the mobile box also asks the other numbers, and their digits alone
        QVERIFY2(query.where.startsWith("(姓名 like ? escape '\\') and (移动电话 like ? escape '\\' or "),
                 qPrintable(query.where));
        QCOMPARE(query.binds.mid(0, 2), QStringList({"%张%", "%139%"}));
        QVERIFY(search::buildQuery(search::BoxTexts{}).isEmpty());
    }

    // Each box finds the person whose own column holds the text, and not the other one.
    void eachBoxSearchesItsColumn_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("hit");
        QTest::addColumn<QString>("miss");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Text1 name") << 1 << "李小龙"
                                    << "成龙"
                                    << "小龙";
        QTest::newRow("Text2 birthday year") << 2 << "1980-05-03"
                                             << "1981-08-19"
                                             << "1980";
        QTest::newRow("Text2 month-day") << 2 << "1975-05-03"
                                         << "1975-03-05"
                                         << "05-03";
        // A whole date is a date, as the record form takes it: not a piece of the stored text.
        QTest::newRow("Text2 date with slashes") << 2 << "1985-12-08"
                                                 << "1985-08-12"
                                                 << "1985/12/8";
        QTest::newRow("Text2 date without zeros") << 2 << "1985-12-01"
                                                  << "1985-12-18"
                                                  << "1985-12-1";
        QTest::newRow("Text2 Chinese date") << 2 << "1985-12-08"
                                            << "1985-12-09"
                                            << "1985年12月8日";
        QTest::newRow("Text2 month and day, any year") << 2 << "1604-05-17"
                                                       << "1604-07-15"
                                                       << "5月17日";
        QTest::newRow("Text2 year and month") << 2 << "1985-12-08"
                                              << "1984-12-08"
                                              << "1985-12";
        QTest::newRow("Text3 mobile") << 3 << "13912345678"
                                      << "13800000000"
                                      << "139";
        QTest::newRow("Text4 work") << 4 << "010-6655"
                                    << "021-6655"
                                    << "010";
        QTest::newRow("Text5 home") << 5 << "0755-1234"
                                    << "0755-4321"
                                    << "1234";
        QTest::newRow("Text6 fax") << 6 << "88-77"
                                   << "77-88"
                                   << "8-7";
        QTest::newRow("Text7 address") << 7 << "北京市海淀区"
                                       << "上海市"
                                       << "海淀";
        QTest::newRow("Text8 postcode") << 8 << "100080"
                                        << "200000"
                                        << "1000";
        QTest::newRow("Text9 qq") << 9 << "123456"
                                  << "654321"
                                  << "2345";
        QTest::newRow("Text10 icq") << 10 << "998877"
                                    << "112233"
                                    << "887";
        QTest::newRow("Text11 msn") << 11 << "li@msn.com"
                                    << "wang@msn.com"
                                    << "li@";
        QTest::newRow("Text12 email") << 12 << "li@example.cn"
                                      << "li@example.com"
                                      << ".cn";
        QTest::newRow("Text13 nickname") << 13 << "小李子"
                                         << "老王"
                                         << "李子";
        QTest::newRow("Text14 remarks") << 14 << "大学同学,爱下棋"
                                        << "邻居"
                                        << "下棋";
        QTest::newRow("blanks only") << 13 << "小  李"
                                     << "小 李"
                                     << "  ";
    }
    void eachBoxSearchesItsColumn() {
        QFETCH(int, box);
        QFETCH(QString, hit);
        QFETCH(QString, miss);
        QFETCH(QString, typed);
        Fixture f;
        const QString group = f.addGroup("同学");
        // The names differ from every typed text, so only the searched column can match.
        const QString hitKey = addPerson(f, group, box == 1 ? hit : "甲", box, hit);
        addPerson(f, group, box == 1 ? miss : "乙", box, miss);
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{box, typed}}));
        QCOMPARE(listKeys(w), QStringList{hitKey});
        QCOMPARE(w.listModel()->picture(), 3);
        QVERIFY(!w.LV()->selectionModel()->hasSelection());
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(w.state().ListSource.isQuery());
    }

    // The boxes below the fourteen find the values beyond the columns; Tab reaches them after 取消.
    void valueBoxesFindTypedValues() {
        Fixture f;
        const QString group = f.addGroup("同事");
        ContactFields c = contact(group, "甲");
        c.values = {{catalogue::Field::Organization, {}, "星辰科技;研发部", {}}, {catalogue::Field::Title, {}, "经理", {}}};
        const QString hit = f.open().addContact(c);
        f.addContact(group, "乙");
        Frm_main& w = f.window();
        Frm_query form(w.view(), &w);
        QWidget* next = form.Command2()->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        QCOMPARE(next, form.valueBox(0));
        form.valueBox(0)->setText("星辰");
        form.valueBox(1)->setText("经理");
        form.Command1_Click();
        QCOMPARE(listKeys(w), QStringList{hit});
    }

    void allConditionsHoldAndNullNeverMatches() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString both = f.addContact(group, "张三", QDate(1980, 5, 3), "13900001111");
        f.addContact(group, "张四", {}, "13800001111");
        f.addContact(group, "李三", {}, "13900002222");
        {
            SQLite::Statement insert(storeDb(f.open()),
                                     "insert into phone (friendid, mainid, 姓名) values ('friend900', ?, '张无')");
            insert.bind(1, group.toStdString());
            insert.exec();
        }
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{1, "张"}, {3, "139"}}));
        QCOMPARE(listKeys(w), QStringList{both});
        QVERIFY(runSearch(w, {{2, "-"}}));
        QCOMPARE(listKeys(w), QStringList{both});
    }

    void noBoxFilledKeepsTheFormOpen() {
        Fixture f;
        f.addContact(f.addGroup("同学"), "张三", {}, "139");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{3, "139"}}));
        const ListShows before = w.state().ListSource;
        Frm_query form(w.view(), &w);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        FocusAtMessage spy(f.dialogs, &form);
        w.state().env.dialogs = &spy;
        form.Text(5)->setFocus();
        form.Command1_Click();
        w.state().env.dialogs = &f.dialogs;
        QCOMPARE(f.dialogs.messages, QList<Message>{msg::plain("你没有输入查询条件!")});
        QCOMPARE(spy.focus, form.Text(1));
        QVERIFY(form.isVisible());
        // The search the list shows stays, so that a save refreshes it as before.
        QCOMPARE(w.state().ListSource, before);
        QCOMPARE(w.listModel()->rowCount(), 1);
    }

    void noMatchKeepsTheList() {
        Fixture f;
        const QString group = f.addGroup("同学");
        f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        const QStringList everybody = listKeys(w);
        QVERIFY(runSearch(w, {{1, "王"}})); // the form closes whatever was found
        QCOMPARE(f.dialogs.messages, QList<Message>{msg::plain(NothingFound)});
        QCOMPARE(listKeys(w), everybody);
        QVERIFY(w.state().ListSource.isQuery());
        QCOMPARE(w.state().ListSource.query->binds, QStringList{"%王%"});
        ListQueryResult(w.view()); // a save now runs the search again: nobody
        QCOMPARE(w.listModel()->rowCount(), 0);
    }

    // Whatever is typed is only text to look for: nothing fails, nothing matches more.
    void hostileTextsMatchOnlyThemselves_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("lookalike"); // what a wildcard or a splice would also find
        QTest::newRow("quote") << "'"
                               << "x\"y";
        QTest::newRow("percent") << "%"
                                 << "xzy";
        QTest::newRow("underscore") << "_"
                                    << "xzy";
        QTest::newRow("backslash") << "\\"
                                   << "x/y";
        QTest::newRow("comment") << "--"
                                 << "x-y";
        QTest::newRow("semicolon") << ";"
                                   << "x,y";
        QTest::newRow("splice") << "'; delete from phone; --"
                                << "x; delete from phone; y";
        QTest::newRow("emoji") << "😀"
                               << "x😃y";
        // Past SQLite's 50,000-byte limit for LIKE patterns.
        QString longText;
        while (longText.size() < 100 * 1024)
            longText += QStringLiteral("汉%_\\'a");
        QTest::newRow("100 KB") << longText << QString(longText).replace('%', 'z');
    }
    void hostileTextsMatchOnlyThemselves() {
        QFETCH(QString, typed);
        QFETCH(QString, lookalike);
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString hit = addPerson(f, group, "甲", 14, "x" + typed + "y");
        addPerson(f, group, "乙", 14, lookalike);
        addPerson(f, group, "丙", 14, "xy");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{14, typed}}));
        QCOMPARE(f.dialogs.texts(), QStringList());
        QCOMPARE(listKeys(w), QStringList{hit});
        QCOMPARE(f.count("select count(*) from phone"), 3);
    }

    void searchRunsAgainAfterASave() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString first = f.addContact(group, "张三", {}, "13900001111");
        f.addContact(group, "李四", {}, "13800001111");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{3, "139"}}));
        QCOMPARE(listKeys(w), QStringList{first});
        // A save adds a match and renames the first; the refresh runs the very same search.
        const QString second = f.addContact(group, "王五", {}, "0139");
        ContactFields renamed = contact(group, "张叁");
        renamed.mobile = "13900001111";
        f.open().updateContact(first, renamed);
        ListQueryResult(w.view());
        QCOMPARE(listKeys(w), QStringList({first, second}));
        QCOMPARE(w.listModel()->picture(), 1);
        QCOMPARE(w.listModel()->index(0, 0).data().toString(), QString("张叁"));
    }

    void boxesLabelsAndLimits_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("maxLength"); // 0: none
        const std::pair<const char*, int> design[search::BoxCount] = {
            {"姓    名:", 20}, {"生    日:", 10},  {"手    机:", 30}, {"工作电话:", 30}, {"家庭电话:", 30},
            {"传真号码:", 30}, {"地    址:", 200}, {"邮政编码:", 20}, {"QQ:", 20},       {"ICQ:", 20},
            {"MSN:", 50},      {"Email:", 50},     {"昵    称:", 30}, {"备     注:", 0}};
        for (int i = 0; i < search::BoxCount; ++i)
            QTest::addRow("Text%d", i + 1) << i + 1 << QString::fromUtf8(design[i].first) << design[i].second;
    }
    void boxesLabelsAndLimits() {
        QFETCH(int, box);
        QFETCH(QString, label);
        QFETCH(int, maxLength);
        Fixture f;
        Frm_main& w = f.window();
        Frm_query form(w.view(), &w);
        QLineEdit* edit = form.Text(box);
        QCOMPARE(edit->objectName(), QString("Text%1").arg(box));
        QLabel* caption = nullptr;
        for (QLabel* l : form.findChildren<QLabel*>())
            caption = l->buddy() == edit ? l : caption;
        QVERIFY(caption);
        QCOMPARE(caption->text(), label);
        const int typed = maxLength > 0 ? maxLength + 5 : 300;
        QTest::keyClicks(edit, QString(typed, '9'));
        QCOMPARE(edit->text().size(), maxLength > 0 ? maxLength : typed);
    }

    void formDesignEnterAndEscape() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString hit = f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        {
            Frm_query form(w.view(), &w);
            QCOMPARE(form.windowTitle(), QString("查询"));
            QCOMPARE(form.Frame1()->title(), QString("查询资料"));
            QCOMPARE(form.Text(2)->toolTip(), QString("时间格式为年-月-日"));
            QCOMPARE(form.Command1()->text() + form.Command1()->toolTip(), QString("查询查了哟"));
            QCOMPARE(form.Command2()->text() + form.Command2()->toolTip(), QString("取消不查了"));
            QList<QWidget*> order;
            for (int box = 1; box <= search::BoxCount; ++box)
                order << form.Text(box);
            order << form.Command1() << form.Command2();
            QWidget* at = order.first();
            for (QWidget* next : order.mid(1)) {
                do
                    at = at->nextInFocusChain();
                while (at->focusPolicy() == Qt::NoFocus);
                QCOMPARE(at, next);
            }
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.minimumSize(), form.maximumSize()); // not resizable
            form.Text(1)->setText("张");
            QTest::keyClick(form.Text(1), Qt::Key_Return);
            QCOMPARE(form.result(), int(QDialog::Accepted));
            QCOMPARE(listKeys(w), QStringList{hit});
        }
        w.state().ListSource = ListShows::node();
        Frm_query form(w.view(), &w);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Text(1)->setText("李");
        QTest::keyClick(form.Text(1), Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QVERIFY(!w.state().ListSource.isQuery());
        QCOMPARE(listKeys(w), QStringList{hit});
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
