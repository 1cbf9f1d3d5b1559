#include "app/MainWindow.h"
#include "forms/QueryForm.h"
#include "list/ContactList.h"
#include "list/ContactListModel.h"
#include "shared/SearchBuilder.h"
#include "store/Store.h"
#include "support/Fixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

const QString NothingFound = QStringLiteral("按您的条件没有查到数据！");
const QString NoCondition = QStringLiteral("你没有输入查询条件!");

// The field each box searches, for writing test people: nullptr for the birthday (a date).
QString ContactFields::*const FieldOfBox[search::BoxCount] = {&ContactFields::name,      nullptr,
                                                              &ContactFields::mobile,    &ContactFields::workPhone,
                                                              &ContactFields::homePhone, &ContactFields::fax,
                                                              &ContactFields::address,   &ContactFields::postcode,
                                                              &ContactFields::qq,        &ContactFields::icq,
                                                              &ContactFields::msn,       &ContactFields::email,
                                                              &ContactFields::nickname,  &ContactFields::remarks};

ContactFields personWith(const QString& groupKey, const QString& name, int box, const QString& value) {
    ContactFields f = contact(groupKey, name);
    if (FieldOfBox[box])
        f.*FieldOfBox[box] = value;
    else
        f.birthday = QDate::fromString(value, Qt::ISODate);
    return f;
}

QStringList listKeys(Frm_main& w) {
    QStringList keys;
    for (int row = 0; row < w.listModel()->rowCount(); ++row)
        keys << w.listModel()->keyAt(row);
    return keys;
}

// Fills the form's boxes (box number -> text), presses 查询 and reports whether the form closed.
bool runSearch(Frm_main& w, const std::map<int, QString>& texts) {
    Frm_query form(w.view(), &w);
    for (const auto& [number, text] : texts)
        form.Text(number)->setText(text);
    form.Command1_Click();
    return form.result() == QDialog::Accepted;
}

// Records where the input focus was when a message came up.
class FocusAtMessage final : public Dialogs {
public:
    FocusAtMessage(Dialogs& inner, QWidget* form) : inner_(inner), form_(form) {}
    MsgAnswer show(QWidget* parent, const Message& message) override {
        focus = form_->focusWidget();
        return inner_.show(parent, message);
    }
    std::optional<QString> input(QWidget* p, const QString& prompt, const QString& caption) override {
        return inner_.input(p, prompt, caption);
    }
    QString openFile(QWidget* p, const FileRequest& request) override { return inner_.openFile(p, request); }
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
        texts[2] = QStringLiteral("139");
        texts[0] = QStringLiteral("A");
        texts[12] = QStringLiteral("小");
        const Query query = search::buildQuery(texts);
        QCOMPARE(query.where, QStringLiteral("姓名 like ? escape '\\' and 移动电话 like ? escape '\\' and "
                                             "昵称 like ? escape '\\'"));
        QCOMPARE(query.binds, QStringList({"%A%", "%139%", "%小%"}));
        QVERIFY(search::buildQuery(search::BoxTexts{}).isEmpty());
    }

    void containsPatternEscapes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("plain") << "139"
                               << "%139%";
        QTest::newRow("percent") << "50%"
                                 << "%50\\%%";
        QTest::newRow("underscore") << "a_b"
                                    << "%a\\_b%";
        QTest::newRow("backslash") << "c:\\d"
                                   << "%c:\\\\d%";
        QTest::newRow("quote") << "O'Neil"
                               << "%O'Neil%";
        QTest::newRow("blanks") << "  "
                                << "%  %";
    }
    void containsPatternEscapes() {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QCOMPARE(search::containsPattern(text), pattern);
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
        QTest::newRow("Text2 birthday month-day") << 2 << "1975-05-03"
                                                  << "1975-03-05"
                                                  << "05-03";
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
    }
    void eachBoxSearchesItsColumn() {
        QFETCH(int, box);
        QFETCH(QString, hit);
        QFETCH(QString, miss);
        QFETCH(QString, typed);
        Fixture f;
        const QString group = f.addGroup("同学");
        Store& store = f.open();
        // The names stay apart from every typed text, so only the searched column can match.
        const QString hitKey = store.addContact(personWith(group, box == 1 ? hit : "甲", box - 1, hit));
        store.addContact(personWith(group, box == 1 ? miss : "乙", box - 1, miss));
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{box, typed}}));
        QCOMPARE(listKeys(w), QStringList{hitKey});
        QCOMPARE(w.listModel()->picture(), 3);
        QVERIFY(w.LV()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(w.state().ListSource);
    }

    void allConditionsMustHold() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString both = f.addContact(group, "张三", {}, "13900001111");
        f.addContact(group, "张四", {}, "13800001111");
        f.addContact(group, "李三", {}, "13900002222");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{1, "张"}, {3, "139"}}));
        QCOMPARE(listKeys(w), QStringList{both});
    }

    void blanksOnlyBoxCountsAsFilled() {
        Fixture f;
        const QString group = f.addGroup("同学");
        Store& store = f.open();
        const QString spaced = store.addContact(personWith(group, "甲", 12, "小  李"));
        store.addContact(personWith(group, "乙", 12, "小李"));
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{13, "  "}}));
        QCOMPARE(listKeys(w), QStringList{spaced});
    }

    void nullColumnsNeverMatch() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString withPhone = f.addContact(group, "张三", QDate(1980, 5, 3), "139");
        {
            SQLite::Statement insert(f.open().database(),
                                     "insert into phone (friendid, mainid, 姓名) values ('friend900', ?, '张无')");
            insert.bind(1, group.toStdString());
            insert.exec();
        }
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{1, "张"}}));
        QCOMPARE(listKeys(w).size(), 2); // both exist and have names
        QVERIFY(runSearch(w, {{1, "张"}, {3, "1"}}));
        QCOMPARE(listKeys(w), QStringList{withPhone});
        QVERIFY(runSearch(w, {{2, "-"}}));
        QCOMPARE(listKeys(w), QStringList{withPhone});
    }

    void noBoxFilledKeepsTheFormOpen() {
        Fixture f;
        const QString group = f.addGroup("同学");
        f.addContact(group, "张三", {}, "139");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{3, "139"}}));
        const Query before = w.state().QuerySql;

        Frm_query form(w.view(), &w);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        FocusAtMessage spy(f.dialogs, &form);
        w.state().env.dialogs = &spy;
        form.Text(5)->setFocus();
        form.Command1_Click();
        w.state().env.dialogs = &f.dialogs;

        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.last(), msg::plain(NoCondition));
        QCOMPARE(spy.focus, form.Text(1));
        QVERIFY(form.isVisible());
        QCOMPARE(w.state().QuerySql, before);
        QVERIFY(w.state().ListSource);
        QCOMPARE(w.listModel()->rowCount(), 1);
    }

    void noMatchKeepsTheList() {
        Fixture f;
        const QString group = f.addGroup("同学");
        f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        const QStringList everybody = listKeys(w);
        QCOMPARE(everybody.size(), 2);
        QVERIFY(runSearch(w, {{1, "王"}})); // the form closes whatever was found
        QCOMPARE(f.dialogs.last(), msg::plain(NothingFound));
        QCOMPARE(listKeys(w), everybody);
        QVERIFY(w.state().ListSource);
        QCOMPARE(w.state().QuerySql.binds, QStringList{"%王%"});
    }

    // Whatever is typed is only ever text to look for: nothing fails, nothing matches more.
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
        QString longText;
        while (longText.size() < 100 * 1024)
            longText += QStringLiteral("汉%_\\'a");
        QString longLookalike = longText;
        longLookalike.replace(QLatin1Char('%'), QLatin1Char('z'));
        QTest::newRow("100 KB") << longText << longLookalike;
    }
    void hostileTextsMatchOnlyThemselves() {
        QFETCH(QString, typed);
        QFETCH(QString, lookalike);
        Fixture f;
        const QString group = f.addGroup("同学");
        Store& store = f.open();
        const QString hit = store.addContact(personWith(group, "甲", 13, "x" + typed + "y"));
        store.addContact(personWith(group, "乙", 13, lookalike));
        store.addContact(personWith(group, "丙", 13, "xy"));
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{14, typed}}));
        QCOMPARE(f.dialogs.texts(), QStringList());
        QCOMPARE(listKeys(w), QStringList{hit});
        QCOMPARE(f.count("select count(*) from phone"), 3);
    }

    void longTextIsFoundLikeAShortOne() {
        // Past SQLite's LIKE limit the same "contains" holds, ASCII case folded as LIKE does.
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString word = QString(60000, QLatin1Char('A'));
        Store& store = f.open();
        const QString hit = store.addContact(personWith(group, "甲", 13, "前" + word.toLower() + "后"));
        store.addContact(personWith(group, "乙", 13, word.left(59999)));
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{14, word}}));
        QCOMPARE(listKeys(w), QStringList{hit});
    }

    void searchRunsAgainAfterASave() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString first = f.addContact(group, "张三", {}, "13900001111");
        f.addContact(group, "李四", {}, "13800001111");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{3, "139"}}));
        QCOMPARE(listKeys(w), QStringList{first});

        // A save elsewhere adds a match and changes a name; the list refresh runs the same search.
        const QString second = f.addContact(group, "王五", {}, "0139");
        ContactFields renamed = contact(group, "张叁");
        renamed.mobile = "13900001111";
        f.open().updateContact(first, renamed);
        ListQueryResult(w.view());
        QCOMPARE(listKeys(w), QStringList({first, second}));
        QCOMPARE(w.listModel()->picture(), 1);
        QCOMPARE(w.listModel()->data(w.listModel()->index(0, 0), Qt::DisplayRole).toString(), QString("张叁"));
    }

    void searchWithoutHitsLeavesAnEmptyListAfterASave() {
        Fixture f;
        const QString group = f.addGroup("同学");
        f.addContact(group, "张三");
        Frm_main& w = f.window();
        QVERIFY(runSearch(w, {{1, "王"}}));
        QCOMPARE(w.listModel()->rowCount(), 1);
        ListQueryResult(w.view());
        QCOMPARE(w.listModel()->rowCount(), 0);
    }

    void boxesLabelsAndLimits_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("maxLength");
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
        QCOMPARE(edit->objectName(), QStringLiteral("Text%1").arg(box));
        QLabel* caption = nullptr;
        for (QLabel* l : form.findChildren<QLabel*>())
            caption = l->buddy() == edit ? l : caption;
        QVERIFY(caption);
        QCOMPARE(caption->text(), label);
        // Typing past the limit is refused; the remarks box takes more than any other.
        const int typed = maxLength > 0 ? maxLength + 5 : 300;
        QTest::keyClicks(edit, QString(typed, QLatin1Char('9')));
        QCOMPARE(edit->text().size(), maxLength > 0 ? maxLength : typed);
    }

    void formDesign() {
        Fixture f;
        Frm_main& w = f.window();
        Frm_query form(w.view(), &w);
        QCOMPARE(form.windowTitle(), QStringLiteral("查询"));
        QCOMPARE(form.Frame1()->objectName(), QStringLiteral("Frame1"));
        QCOMPARE(form.Frame1()->title(), QStringLiteral("查询资料"));
        QCOMPARE(form.Text(2)->toolTip(), QStringLiteral("时间格式为年-月-日"));
        QCOMPARE(form.Command1()->text(), QStringLiteral("查询"));
        QCOMPARE(form.Command1()->toolTip(), QStringLiteral("查了哟"));
        QVERIFY(form.Command1()->isDefault());
        QCOMPARE(form.Command2()->text(), QStringLiteral("取消"));
        QCOMPARE(form.Command2()->toolTip(), QStringLiteral("不查了"));
        QList<QWidget*> expected;
        for (int box = 1; box <= search::BoxCount; ++box)
            expected << form.Text(box);
        expected << form.Command1() << form.Command2();
        QWidget* at = form.Text(1);
        for (QWidget* next : expected.mid(1)) {
            at = at->nextInFocusChain();
            while (at->focusPolicy() == Qt::NoFocus)
                at = at->nextInFocusChain();
            QCOMPARE(at, next);
        }
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.width() >= 427 && form.height() >= 231);
        QCOMPARE(form.minimumSize(), form.maximumSize()); // not resizable
    }

    void enterSearchesAndEscapeCloses() {
        Fixture f;
        const QString group = f.addGroup("同学");
        const QString hit = f.addContact(group, "张三");
        f.addContact(group, "李四");
        Frm_main& w = f.window();
        {
            Frm_query form(w.view(), &w);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.Text(1)->setText("张");
            QTest::keyClick(form.Text(1), Qt::Key_Return);
            QCOMPARE(form.result(), int(QDialog::Accepted));
            QCOMPARE(listKeys(w), QStringList{hit});
        }
        const Query before = w.state().QuerySql;
        w.state().ListSource = false;
        Frm_query form(w.view(), &w);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Text(1)->setText("李");
        QTest::keyClick(form.Text(1), Qt::Key_Escape);
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(!form.isVisible());
        QCOMPARE(w.state().QuerySql, before);
        QVERIFY(!w.state().ListSource);
        QCOMPARE(listKeys(w), QStringList{hit});
        QVERIFY(f.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
