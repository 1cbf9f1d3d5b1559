// The record form: its design, the group choice, the birthday box, the photo, saving in add and
// update mode, the refusals, the refresh of the tree and the list after a save, and EditFlag.
#include "gui/app/MainWindow.h"
#include "gui/forms/RecordForm.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "core/text/TypedDate.h"
#include "core/store/Store.h"
#include "core/store/FieldCatalogue.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/MainWindowProbe.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QImageReader>
#include <QStyle>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

const Message NoName{QStringLiteral("您没有输入姓名,不能保存"), {}, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok};

void press(frm_detail& form, const char* key) {
    form.findChild<QAction*>(QLatin1String(key))->trigger();
}

QString storedText(Fixture& fx, const QString& sql) {
    SQLite::Statement s(storeDb(*fx.state.Conn), sql.toStdString());
    if (!s.executeStep())
        return QStringLiteral("<no row>");
    return s.getColumn(0).isNull() ? QStringLiteral("<null>") : QString::fromStdString(s.getColumn(0).getString());
}

// The words beside the birthday box about text that is no date.
QLabel* hintOf(const frm_detail& form) {
    return form.findChild<QLabel*>(QStringLiteral("birthdayHint"));
}

QString writePicture(const QString& path, QSize size, const char* format) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(200, 60, 40));
    picture.save(path, format);
    return path;
}

} // namespace

class TestRecordForm : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> fx;
    QString classmates, friends;

    Frm_main& window() { return fx->window(); }
    // A record form opened as the toolbar's "新建" opens it, but left open for the test to drive.
    std::unique_ptr<frm_detail> newContactForm() {
        fx->state.EditFlag = true;
        auto form = std::make_unique<frm_detail>(window().view(), frm_detail::Mode::Add);
        form->show();
        return form;
    }

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        classmates = fx->addGroup(QStringLiteral("同学"));
        friends = fx->addGroup(QStringLiteral("朋友"));
    }
    void cleanup() { fx.reset(); }

    void design() {
        auto form = newContactForm();
        QCOMPARE(form->objectName(), QStringLiteral("frm_detail"));
        QCOMPARE(form->windowTitle(), QStringLiteral("详细资料"));
        // the designed size, and beside it the scroll bar that reaches the lists below the photo
        QCOMPARE(form->size(), QSize(478 + form->style()->pixelMetric(QStyle::PM_ScrollBarExtent), 539));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QCOMPARE(form->parentWidget(), &window());
        for (const auto& [key, caption, tooltip] :
             {std::tuple{"savebutt", "保存", "保存资料"}, std::tuple{"closebutt", "关闭", "我不保存了"}}) {
            const QAction* button = form->findChild<QAction*>(QLatin1String(key));
            QVERIFY(button);
            QCOMPARE(button->text(), QString::fromUtf8(caption));
            QCOMPARE(button->toolTip(), QString::fromUtf8(tooltip));
            QVERIFY(!button->icon().isNull());
        }
        QCOMPARE(form->findChild<QLabel*>("Label1")->text(), QStringLiteral("分组："));
        QCOMPARE(form->findChild<QGroupBox*>("Frame1")->title(), QStringLiteral("详细资料"));
        const auto* command = form->findChild<QPushButton*>("Command1");
        QCOMPARE(command->text(), QStringLiteral("文件.."));
        QCOMPARE(command->toolTip(), QStringLiteral("给此同志加上她的照片"));
        QCOMPARE(box(*form, 2)->toolTip(), QStringLiteral("时间格式为年-月-日"));
        QCOMPARE(photoArea(*form)->toolTip(), QStringLiteral("此同志的玉照!呵呵~~~~"));
        QCOMPARE(photoArea(*form)->size(), QSize(420, 283));
        QVERIFY(showsPlaceholder(*form));
        // Every box and the photo area fit inside the form.
        for (QWidget* part : form->findChildren<QWidget*>()) {
            if (part->isVisible() && part->parentWidget() == form.get())
                QVERIFY2(form->rect().contains(part->geometry()), qPrintable(part->objectName()));
        }

        // Tab runs Text1 to Text15 with 农历 right after the birthday, then Command1.
        QStringList order;
        QWidget* w = box(*form, 1);
        for (int i = 0; i < 17; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
        }
        QStringList expected;
        for (int i = 1; i <= 15; ++i)
            expected << QStringLiteral("Text%1").arg(i) << (i == 2 ? QStringLiteral("lunarBox") : QString());
        expected.removeAll(QString());
        expected << QStringLiteral("Command1");
        QCOMPARE(order, expected);
        QCOMPARE(form->focusWidget(), box(*form, 1));
    }

    // clang-format off
    void boxes_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("maxLength");
        const QStringList labels{
            "姓    名:", "生    日:", "手    机:", "工作电话:", "家庭电话:", "传真号码:",  "地    址:", "邮政编码:",
            "QQ:",       "ICQ:",      "MSN:",      "Email:",    "昵    称:", "备     注:", "照    片:"};
        const int lengths[] = {20, 10, 30, 30, 30, 30, 200, 20, 20, 20, 50, 50, 30, -1, 100};
        for (int i = 0; i < 15; ++i)
            QTest::addRow("Text%d", i + 1) << i + 1 << labels[i] << lengths[i];
    }
    // clang-format on
    void boxes() {
        QFETCH(int, number);
        QFETCH(QString, label);
        QFETCH(int, maxLength);
        auto form = newContactForm();
        QLineEdit* text = box(*form, number);
        QVERIFY(text);
        const QList<QLabel*> labels = form->findChildren<QLabel*>();
        const auto own = std::find_if(labels.begin(), labels.end(), [&](QLabel* l) { return l->buddy() == text; });
        QVERIFY(own != labels.end());
        QCOMPARE((*own)->text(), label);
        QVERIFY((*own)->geometry().right() < text->geometry().left());
        QCOMPARE(qAbs((*own)->geometry().center().y() - text->geometry().center().y()) <= 2, true);
        // Typing stops at the box's length; the remarks take anything.
        const int typed = maxLength < 0 ? 300 : maxLength + 5;
        type(text, QString(typed, QLatin1Char('7')));
        QCOMPARE(text->text().size(), maxLength < 0 ? typed : maxLength);
    }

    // A box counts characters as the user sees them: a character outside the BMP (two UTF-16 units)
    // is one, as the import counts it.
    void boxesCountCharacters() {
        auto form = newContactForm();
        QLineEdit* name = box(*form, 1);
        type(name, QString(25, QLatin1Char('x')).replace(QLatin1String("x"), QStringLiteral("𠀀")));
        QCOMPARE(name->text(), QString(20, QLatin1Char('x')).replace(QLatin1String("x"), QStringLiteral("𠀀")));
    }

    // clang-format off
    void groupChoice_data() {
        QTest::addColumn<QString>("treeNode");
        QTest::newRow("tree on everybody") << "root";
        QTest::newRow("tree on the second group") << "main2";
    }
    // clang-format on
    void groupChoice() {
        QFETCH(QString, treeNode);
        // A group id far beyond 16 bits must survive as item data and as the saved key.
        storeDb(*fx->state.Conn).exec("insert into 分类 (id, 分类, 类型) values (70000, 'main70000', '大组')");
        clickNode(window(), treeNode);
        auto form = newContactForm();
        QComboBox* groups = ::groupChoice(*form);
        QCOMPARE(groups->count(), 3);
        QCOMPARE(groups->itemText(0), QStringLiteral("同学"));
        QCOMPARE(groups->itemText(2), QStringLiteral("大组"));
        QCOMPARE(groups->itemData(2).typeId(), QMetaType::LongLong);
        QCOMPARE(groups->itemData(2).toLongLong(), 70000);
        QCOMPARE(groups->currentIndex(), 0); // the first group, whatever the tree shows

        groups->setCurrentIndex(2);
        type(box(*form, 1), QStringLiteral("大组的人"));
        press(*form, "savebutt");
        QCOMPARE(storedText(*fx, "select mainid from phone"), QStringLiteral("main70000"));
        QCOMPARE(currentNodeKey(window()), QStringLiteral("friend1"));
        QCOMPARE(window().treeModel()->keyOf(window().TV()->currentIndex().parent()), QStringLiteral("main70000"));
    }

    void savesEveryBox() {
        auto form = newContactForm();
        ::groupChoice(*form)->setCurrentIndex(1);
        const QStringList texts{"  张 三  ", "1980-5-3", " 139 0000 ", "010-1",        "010-2",
                                "010-3",     " 北京 ",   "100080 ",    "12345",        "54321",
                                "z@msn",     "z@e.cn",   "三儿",       "他说'你好'%_", ""}; // a photo is copied (tst_history)
        for (int i = 0; i < 15; ++i)
            box(*form, i + 1)->setText(texts[i]);
        press(*form, "savebutt");
        QVERIFY(!form->isVisible());
        QVERIFY(fx->dialogs.messages.isEmpty());

        ContactFields expected;
        expected.groupKey = friends;
        expected.name = QStringLiteral("张 三"); // blanks around the name go, the ones inside stay
        expected.birthday = QDate(1980, 5, 3);
        for (size_t i = 0; i < catalogue::texts().size(); ++i)
            expected.*catalogue::texts()[i]->text = texts[int(i) + 2]; // every other box exactly as typed
        QCOMPARE(fx->state.Conn->loadContact(QStringLiteral("friend1")).value(), expected);
        QCOMPARE(storedText(*fx, "select nowbirthday from phone"), QStringLiteral("<null>"));
        QCOMPARE(fx->count("select count(*) from phone"), 1);
    }

    void newContactKeyGroupAndRefresh() {
        // The data file hands out id 42 next.
        storeDb(*fx->state.Conn).exec("insert into phone (id, friendid, mainid, 姓名) values "
                                        "(7, 'friend7', 'main2', '老朋友'), (41, 'friend41', 'main1', 'x')");
        storeDb(*fx->state.Conn).exec("delete from phone where id = 41");
        clickNode(window(), QStringLiteral("root")); // the tree's node does not decide the group
        auto form = newContactForm();
        ::groupChoice(*form)->setCurrentIndex(1);
        type(box(*form, 1), QStringLiteral("新朋友"));
        press(*form, "savebutt");

        QCOMPARE(storedText(*fx, "select friendid from phone where 姓名 = '新朋友'"), QStringLiteral("friend42"));
        QCOMPARE(storedText(*fx, "select mainid from phone where 姓名 = '新朋友'"), friends);
        AppState& state = fx->state;
        QCOMPARE(state.CurrentContactId, QStringLiteral("friend42"));
        QCOMPARE(state.CurrentGroup, friends);
        QCOMPARE(state.EditFlag, false);
        // The tree holds and selects the new node, its group open; the list shows the group with
        // the new row selected.
        QCOMPARE(currentNodeKey(window()), QStringLiteral("friend42"));
        QVERIFY(window().TV()->isExpanded(window().treeModel()->indexForKey(friends)));
        QCOMPARE(listKeys(window()), QStringList({"friend7", "friend42"}));
        QCOMPARE(selectedRowKey(window().view()), QStringLiteral("friend42"));
    }

    // clang-format off
    void emptyNameRefused_data() {
        QTest::addColumn<bool>("addMode");
        QTest::newRow("new person") << true;
        QTest::newRow("existing person") << false;
    }
    // clang-format on
    void emptyNameRefused() {
        QFETCH(bool, addMode);
        const QString key = fx->addContact(classmates, QStringLiteral("张三"), QDate(1980, 5, 3));
        window();
        fx->state.EditFlag = addMode;
        fx->state.CurrentContactId = key;
        fx->state.CurrentGroup = QStringLiteral("root");
        frm_detail form(window().view(), addMode ? frm_detail::Mode::Add : frm_detail::Mode::Update);
        form.show();
        box(form, 3)->setText(QStringLiteral("139"));
        press(form, "savebutt");
        QCOMPARE(fx->dialogs.messages, QList<Message>{NoName});
        QVERIFY(form.isVisible());
        QCOMPARE(form.focusWidget(), box(form, 1));
        QCOMPARE(box(form, 3)->text(), QStringLiteral("139"));
        QCOMPARE(fx->state.EditFlag, addMode);
        QCOMPARE(fx->count("select count(*) from phone"), 1);
        QCOMPARE(storedText(*fx, "select 姓名 || 移动电话 from phone"), QStringLiteral("张三"));

        // Corrected, the same form saves.
        type(box(form, 1), QStringLiteral("李四"));
        press(form, "savebutt");
        QVERIFY(!form.isVisible());
        QCOMPARE(fx->count("select count(*) from phone where 姓名 = '李四' and 移动电话 = '139'"), 1);
        QCOMPARE(fx->count("select count(*) from phone"), addMode ? 2 : 1);
    }

    void blankNameStoredEmpty() {
        auto form = newContactForm();
        type(box(*form, 1), QStringLiteral("   "));
        press(*form, "savebutt");
        QVERIFY(fx->dialogs.messages.isEmpty());
        QCOMPARE(storedText(*fx, "select '[' || 姓名 || ']' from phone"), QStringLiteral("[]"));
        QCOMPARE(window().treeModel()->data(window().TV()->currentIndex(), Qt::DisplayRole).toString(), QString());
    }

    void noGroupRefused() {
        storeDb(*fx->state.Conn).exec("delete from 分类");
        auto form = newContactForm();
        QCOMPARE(::groupChoice(*form)->count(), 0);
        type(box(*form, 1), QStringLiteral("无处可去"));
        press(*form, "savebutt");
        QCOMPARE(fx->dialogs.messages.size(), 1);
        QCOMPARE(fx->dialogs.last().text,
                 QStringLiteral("还没有任何分组,不能保存。\n请先用“新建”按钮下的“分组”建立一个分组。"));
        QCOMPARE(fx->dialogs.last().icon, MsgIcon::Warning);
        QVERIFY(form->isVisible());
        QCOMPARE(fx->state.EditFlag, true);
        QCOMPARE(fx->count("select count(*) from phone"), 0);
    }

    // clang-format off
    void birthdayBoxStores_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("dashes") << "1980-5-3" << "1980-05-03";
        QTest::newRow("slashes") << "1980/5/3" << "1980-05-03";
        QTest::newRow("padded") << "1980-05-03" << "1980-05-03";
        QTest::newRow("29 February of a leap year") << "2024-2-29" << "2024-02-29";
        QTest::newRow("empty") << "" << "<null>";
        QTest::newRow("month 13, day 45") << "1980-13-45" << "<null>";
        QTest::newRow("29 February otherwise") << "2023-02-29" << "<null>";
        QTest::newRow("zeros") << "0000-00-00" << "<null>";
        QTest::newRow("half a date") << "1980-5" << "<null>";
        QTest::newRow("digits only") << "19800503" << "<null>";
    }
    // clang-format on
    void birthdayBoxStores() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        auto form = newContactForm();
        type(box(*form, 1), QStringLiteral("某人"));
        type(box(*form, 2), typed);
        QCOMPARE(box(*form, 2)->text(), typed);
        // Text that is no date is pointed out beside the box, and the save asks first.
        const bool noDate = stored == "<null>" && !typed.isEmpty();
        QCOMPARE(hintOf(*form)->isVisibleTo(form.get()), noDate);
        if (noDate)
            fx->dialogs.answers.push_back(MsgAnswer::Yes);
        press(*form, "savebutt");
        QCOMPARE(fx->dialogs.texts(), noDate ? QStringList{"生日无法识别，仍然保存吗？"} : QStringList());
        QCOMPARE(storedText(*fx, "select 生日 from phone"), stored);
    }

    // The hint follows the box and the 农历 tick as the user types; a save of text that is no date
    // asks first, and No keeps the form open with nothing written.
    void birthdayHintAsksBeforeSave_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("lunar");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("stored");
        QTest::newRow("lunar unticked, no") << "1950年腊月初八" << false << "请勾选农历" << false << "<no row>";
        QTest::newRow("lunar unticked, yes") << "1950年腊月初八" << false << "请勾选农历" << true << "<null>";
        QTest::newRow("lunar ticked") << "1950年腊月初八" << true << "" << true << "1951-01-15";
        QTest::newRow("no such day, no") << "1990-2-30" << false << "无法识别" << false << "<no row>";
    }
    void birthdayHintAsksBeforeSave() {
        QFETCH(QString, typed);
        QFETCH(bool, lunar);
        QFETCH(QString, hint);
        QFETCH(bool, yes);
        QFETCH(QString, stored);
        auto form = newContactForm();
        form->setFocus();
        type(box(*form, 1), QStringLiteral("某人"));
        type(box(*form, 2), typed);
        form->findChild<QCheckBox*>(QStringLiteral("lunarBox"))->setChecked(lunar);
        QCOMPARE(hintOf(*form)->isVisibleTo(form.get()), !hint.isEmpty());
        QCOMPARE(hintOf(*form)->text(), hint);
        if (!hint.isEmpty())
            fx->dialogs.answers.push_back(yes ? MsgAnswer::Yes : MsgAnswer::No);
        press(*form, "savebutt");
        if (!hint.isEmpty()) {
            const Message asked{QStringLiteral("生日无法识别，仍然保存吗？"), QStringLiteral("详细资料"),
                                MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No};
            QCOMPARE(fx->dialogs.messages, QList<Message>{asked});
        }
        QCOMPARE(form->isVisible(), !yes);
        if (!yes)
            QCOMPARE(box(*form, 2)->text(), typed); // the box keeps what was typed
        QCOMPARE(storedText(*fx, "select 生日 from phone"), stored);
    }

    // clang-format off
    void typedDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDate>("date");
        QTest::newRow("y-m-d") << "1980-5-3" << "C" << QDate(1980, 5, 3);
        QTest::newRow("y/m/d") << "1980/5/3" << "en_US" << QDate(1980, 5, 3);
        QTest::newRow("y-m-d before the locale's own order") << "1980-05-03" << "nl_NL" << QDate(1980, 5, 3);
        QTest::newRow("blanks around") << "  1980-5-3 " << "C" << QDate(1980, 5, 3);
        QTest::newRow("impossible") << "1980-13-45" << "zh_CN" << QDate();
        QTest::newRow("not a leap year") << "2023-02-29" << "C" << QDate();
        QTest::newRow("zeros") << "0000-00-00" << "C" << QDate();
        QTest::newRow("empty") << "" << "C" << QDate();
        QTest::newRow("letters") << "yesterday" << "C" << QDate();
        QTest::newRow("two-digit year") << "80-5-3" << "C" << QDate();
        QTest::newRow("zh_CN short") << "1980/5/3" << "zh_CN" << QDate(1980, 5, 3);
        QTest::newRow("en_US month first") << "5/3/1980" << "en_US" << QDate(1980, 5, 3);
        QTest::newRow("en_GB day first") << "03/05/1980" << "en_GB" << QDate(1980, 5, 3);
        QTest::newRow("de_DE") << "03.05.1980" << "de_DE" << QDate(1980, 5, 3);
        QTest::newRow("C locale") << "3 May 1980" << "C" << QDate(1980, 5, 3);
    }
    // clang-format on
    void typedDates() {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(QDate, date);
        const std::optional<QDate> typed = typedDate(text, QLocale(locale));
        QCOMPARE(typed.value_or(QDate()), date);
    }

    // A birthday shown in the box and saved unchanged keeps its day and its century.
    // clang-format off
    void birthdayRoundTrip_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDate>("date");
        for (const char* locale : {"C", "en_US", "en_GB", "de_DE", "zh_CN", "ja_JP", "ko_KR", "fi_FI", "ar_EG"}) {
            for (const QDate& date : {QDate(2005, 5, 3), QDate(1905, 12, 31), QDate(1980, 1, 1)})
                QTest::addRow("%s %s", locale, qPrintable(date.toString(Qt::ISODate))) << locale << date;
        }
    }
    // clang-format on
    void birthdayRoundTrip() {
        QFETCH(QString, locale);
        QFETCH(QDate, date);
        const QLocale l(locale);
        QVERIFY2(birthdayFormat(l).contains(QStringLiteral("yyyy")), qPrintable(birthdayFormat(l)));
        QCOMPARE(typedDate(birthdayText(date, l), l).value_or(QDate()), date);
    }

    // clang-format off
    void keyFilter_data() {
        QTest::addColumn<QChar>("typed");
        QTest::addColumn<bool>("passes");
        for (char digit = '0'; digit <= '9'; ++digit)
            QTest::addRow("digit %c", digit) << QChar(digit) << true;
        QTest::newRow("dash") << QChar('-') << true;
        QTest::newRow("slash") << QChar('/') << true;
        QTest::newRow("backspace") << QChar(8) << true;
        QTest::newRow("ctrl+v") << QChar(22) << true;
        QTest::newRow("chinese") << QChar(u'年') << true;
        QTest::newRow("full-width digit") << QChar(u'１') << true;
        for (char other : {'a', 'Z', ' ', '.', ',', '+', ':', '\\', '_', '~'})
            QTest::addRow("'%c'", other) << QChar(other) << false;
        QTest::newRow("delete character") << QChar(127) << false;
    }
    // clang-format on
    void keyFilter() {
        QFETCH(QChar, typed);
        QFETCH(bool, passes);
        QCOMPARE(birthdayKeyPasses(typed), passes);
    }

    void birthdayBoxKeys() {
        auto form = newContactForm();
        QLineEdit* birthday = box(*form, 2);
        type(birthday, QStringLiteral("19a80- 5/x3"));
        QCOMPARE(birthday->text(), QStringLiteral("1980-5/3"));
        QTest::keyClick(birthday, Qt::Key_Backspace);
        QTest::keyClick(birthday, Qt::Key_Home);
        QTest::keyClick(birthday, Qt::Key_Delete);
        QCOMPARE(birthday->text(), QStringLiteral("980-5/"));
        // An input method's Chinese is let through.
        QInputMethodEvent chinese;
        chinese.setCommitString(QStringLiteral("年"));
        QApplication::sendEvent(birthday, &chinese);
        QCOMPARE(birthday->text(), QStringLiteral("年980-5/"));
        // Pasted text is not filtered.
        birthday->clear();
        QApplication::clipboard()->setText(QStringLiteral("May 3, 1980"));
        QTest::keyClick(birthday, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(birthday->text(), QStringLiteral("May 3, 1980").left(10));
        // Other boxes take everything.
        type(box(*form, 3), QStringLiteral("a b."));
        QCOMPARE(box(*form, 3)->text(), QStringLiteral("a b."));
    }

    void photo() {
        auto form = newContactForm();
        const QString path = writePicture(fx->dir.filePath(QStringLiteral("照片.jpg")), QSize(800, 400), "JPG");
        fx->dialogs.fileAnswers.push_back(path);
        QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(fx->dialogs.fileRequests.size(), 1);
        QCOMPARE(fx->dialogs.fileRequests[0].title, QStringLiteral("打开图片文件"));
        // Every format Qt reads first, then the two the form has always offered.
        const QStringList filter = fx->dialogs.fileRequests[0].filter.split(u'|');
        QCOMPARE(filter.mid(2).join(u'|'), QStringLiteral("JPEG 图像(*.jpg)|*.jpg|位图 (*.bmp)|*.bmp"));
        QCOMPARE(filter[0], QStringLiteral("所有图片"));
        for (const QByteArray& format : QImageReader::supportedImageFormats())
            QVERIFY2(filter[1].split(u' ').contains("*." + QString::fromLatin1(format)), format.constData());
        QVERIFY(filter[1].contains("*.png") && filter[1].contains("*.gif") && filter[1].contains("*.jpeg"));
        QCOMPARE(box(*form, 15)->text(), path);
        QVERIFY(!showsPlaceholder(*form));
        const QImage shown = photoArea(*form)->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(420, 210)); // scaled into the area, proportions kept
        QVERIFY(qAbs(qRed(shown.pixel(200, 100)) - 200) < 16);

        // Cancelling changes nothing.
        QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(fx->dialogs.fileRequests.size(), 2);
        QCOMPARE(box(*form, 15)->text(), path);
        QCOMPARE(photoArea(*form)->pixmap().toImage(), shown);
        QVERIFY(fx->dialogs.messages.isEmpty());

        // A bitmap works as well.
        const QString bitmap = writePicture(fx->dir.filePath(QStringLiteral("b.bmp")), QSize(30, 60), "BMP");
        fx->dialogs.fileAnswers.push_back(bitmap);
        form->Command1_Click();
        QCOMPARE(photoArea(*form)->pixmap().size(), QSize(141, 283));
        // and so does any other format Qt reads
        const QString png = writePicture(fx->dir.filePath(QStringLiteral("p.png")), QSize(60, 30), "PNG");
        fx->dialogs.fileAnswers.push_back(png);
        form->Command1_Click();
        QCOMPARE(photoArea(*form)->pixmap().size(), QSize(420, 210));
        QCOMPARE(box(*form, 15)->text(), png);
    }

    void photoThatCannotBeLoaded() {
        auto form = newContactForm();
        QFile notAPicture(fx->dir.filePath(QStringLiteral("假的.jpg")));
        QVERIFY(notAPicture.open(QIODevice::WriteOnly));
        notAPicture.write("this is no picture");
        notAPicture.close();
        fx->dialogs.fileAnswers.push_back(writePicture(fx->dir.filePath("good.jpg"), QSize(10, 10), "JPG"));
        form->Command1_Click();
        QVERIFY(!showsPlaceholder(*form));
        fx->dialogs.fileAnswers.push_back(notAPicture.fileName());
        form->Command1_Click();
        QVERIFY(showsPlaceholder(*form));
        QCOMPARE(box(*form, 15)->text(), notAPicture.fileName());
        QCOMPARE(fx->dialogs.messages.size(), 1);
        QCOMPARE(fx->dialogs.last().text, QStringLiteral("不能显示这个图片文件:\n") + notAPicture.fileName());
        QCOMPARE(fx->dialogs.last().icon, MsgIcon::Warning);
        QVERIFY(form->isVisible());
    }

    // The refresh after a save follows what the list showed: everybody, a group, one person, or
    // a search or reminder result (run again after the next birthdays are recomputed).
    // clang-format off
    void refreshAfterSave_data() {
        QTest::addColumn<QString>("treeNode");
        QTest::addColumn<bool>("reminder");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<QString>("selectedAfter");
        QTest::addColumn<int>("pictureAfter");
        QTest::addColumn<QString>("nodeAfter"); // the rebuilt tree selects no node for everybody
        const QStringList all{"friend1", "friend2", "friend3"};
        QTest::newRow("everybody") << "root" << false << "friend2" << all << "" << 3 << "";
        QTest::newRow("group") << "main1" << false << "friend2" << QStringList{"friend1", "friend2"} << "friend2" << 3 << "main1";
        QTest::newRow("the person's node") << "friend2" << false << "friend2" << QStringList{"friend2"} << "" << 3 << "friend2";
        // friend1's birthday leaves the reminder's window: only recomputing the next birthdays
        // before the same statement runs again takes it out.
        QTest::newRow("reminder result") << "root" << true << "friend1" << QStringList{"friend3"} << "" << 1 << "";
    }
    // clang-format on
    void refreshAfterSave() {
        QFETCH(QString, treeNode);
        QFETCH(bool, reminder);
        QFETCH(QString, edited);
        QFETCH(QStringList, rowsAfter);
        QFETCH(QString, selectedAfter);
        QFETCH(int, pictureAfter);
        QFETCH(QString, nodeAfter);
        const QDate today = fx->clock.today();
        fx->addContact(classmates, QStringLiteral("今天生日"), today.addYears(-30));
        fx->addContact(classmates, QStringLiteral("以后生日"), today.addDays(40).addYears(-20));
        fx->addContact(friends, QStringLiteral("快要生日"), today.addDays(5).addYears(-25));
        Frm_main& w = window();
        clickNode(w, treeNode);
        if (reminder) {
            RunBirthdayReminder(w.view());
            QCOMPARE(listKeys(w), QStringList({"friend1", "friend3"}));
        }
        selectRow(w, edited);

        const QDate birthday = today.addDays(reminder ? 60 : 3).addYears(-20);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QCOMPARE(form.mode(), frm_detail::Mode::Update);
            box(form, 2)->setText(birthdayText(birthday));
            press(form, "savebutt");
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QCOMPARE(storedText(*fx, "select 生日 from phone where friendid = '" + edited + "'"), storedDate(birthday));
        QCOMPARE(listKeys(w), rowsAfter);
        QCOMPARE(selectedRowKey(w.view()), selectedAfter);
        QCOMPARE(w.listModel()->picture(), pictureAfter);
        QCOMPARE(fx->state.CurrentGroup, treeNode);
        QCOMPARE(currentNodeKey(w), nodeAfter);
        QCOMPARE(fx->state.EditFlag, false);
    }

    // clang-format off
    void closeWithoutSaving_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("closebutt") << 0;
        QTest::newRow("the window's close box") << 1;
        QTest::newRow("Esc") << 2;
    }
    // clang-format on
    void closeWithoutSaving() {
        QFETCH(int, how);
        const QString key = fx->addContact(classmates, QStringLiteral("张三"));
        Frm_main& w = window();
        clickNode(w, classmates);
        {
            ModalForm act(fx->dialogs, [&](frm_detail& form) {
                QCOMPARE(fx->state.EditFlag, true);
                type(box(form, 1), QStringLiteral("不要了"));
                // what was typed is thrown away only when the user says so
                fx->dialogs.answers.push_back(MsgAnswer::Discard);
                if (how == 0)
                    press(form, "closebutt");
                else if (how == 1)
                    form.close();
                else
                    QTest::keyClick(&form, Qt::Key_Escape);
                QVERIFY(!form.isVisible());
                QCOMPARE(fx->dialogs.last().buttons, MsgButtons::SaveDiscardCancel);
            });
            openNewContactForm(w.view(), true);
            QVERIFY(act.seen());
        }
        QCOMPARE(fx->state.EditFlag, false);
        QCOMPARE(fx->count("select count(*) from phone"), 1);

        // Editing somebody next updates that person and adds nobody.
        selectRow(w, key);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QCOMPARE(form.mode(), frm_detail::Mode::Update);
            box(form, 3)->setText(QStringLiteral("138"));
            press(form, "savebutt");
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QCOMPARE(fx->count("select count(*) from phone"), 1);
        QCOMPARE(storedText(*fx, "select 姓名 || 移动电话 from phone"), QStringLiteral("张三138"));
    }

    void nullColumnsOpenEmpty() {
        storeDb(*fx->state.Conn).exec(
            "insert into phone (friendid, mainid, 姓名) values ('friend7', 'main2', '只有名字')");
        Frm_main& w = window();
        clickNode(w, friends);
        selectRow(w, QStringLiteral("friend7"));
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QCOMPARE(::groupChoice(form)->currentIndex(), 1);
            QCOMPARE(box(form, 1)->text(), QStringLiteral("只有名字"));
            for (int i = 2; i <= 15; ++i)
                QVERIFY2(box(form, i)->text().isEmpty(), qPrintable(QString::number(i)));
            QVERIFY(showsPlaceholder(form));
            press(form, "savebutt");
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QVERIFY(fx->dialogs.messages.isEmpty());
        // Saved again, the empty boxes are empty texts; the birthday stays Null.
        QCOMPARE(fx->count("select count(*) from phone where 移动电话 = '' and 备注 = '' and 照片 = '' and 昵称 = ''"),
                 1);
        QCOMPARE(storedText(*fx, "select 生日 from phone"), QStringLiteral("<null>"));
    }

    // 更多资料 by keyboard: a number added and typed, 微信 removed, the first mobile edited in its row
    // and a work number in its box; both ways the boxes and the lists agree, and the save gives out
    // the columns and the values.
    void listsByKeyboard() {
        ContactFields f = contact(classmates, QStringLiteral("张三"));
        f.mobile = QStringLiteral("13900000001");
        f.values = {{catalogue::Field::Phone, QStringLiteral("手机"), QStringLiteral("13900000002"), {}},
                    {catalogue::Field::WeChat, {}, QStringLiteral("zhangsan_wx"), {}}};
        const QString key = fx->state.Conn->addContact(f);
        Frm_main& w = window();
        selectRow(w, key);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            const auto valueBox = [&](const QString& text) {
                for (QLineEdit* edit : form.findChildren<QLineEdit*>(QStringLiteral("value")))
                    if (edit->text() == text)
                        return edit;
                return static_cast<QLineEdit*>(nullptr);
            };
            QVERIFY(valueBox(QStringLiteral("13900000001")));
            auto* add = form.findChild<QToolButton*>(QStringLiteral("add_phone"));
            QTest::keyClick(add, Qt::Key_Space);
            auto* typed = qobject_cast<QLineEdit*>(form.focusWidget());
            QVERIFY(typed && typed->text().isEmpty());
            QTest::keyClicks(typed, QStringLiteral("13700000003"));
            // Tab from 微信's box reaches its 删除, which removes the row; the focus goes to 添加
            QLineEdit* wechat = valueBox(QStringLiteral("zhangsan_wx"));
            QWidget* remove = wechat->nextInFocusChain();
            while (!(remove->focusPolicy() & Qt::TabFocus))
                remove = remove->nextInFocusChain();
            QCOMPARE(remove->objectName(), QStringLiteral("remove"));
            QTest::keyClick(remove, Qt::Key_Space);
            QVERIFY(!valueBox(QStringLiteral("zhangsan_wx")));
            QCOMPARE(form.focusWidget()->objectName(), QStringLiteral("add_wechat"));
            // the first mobile's row and the 手机 box are one value
            QLineEdit* first = valueBox(QStringLiteral("13900000001"));
            first->selectAll();
            QTest::keyClicks(first, QStringLiteral("13911111111"));
            QCOMPARE(box(form, 3)->text(), QStringLiteral("13911111111"));
            QTest::keyClicks(box(form, 4), QStringLiteral("010-1234"));
            QVERIFY(valueBox(QStringLiteral("010-1234")));
            press(form, "savebutt");
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        const ContactFields saved = fx->state.Conn->loadContact(key).value();
        QCOMPARE(saved.mobile, QStringLiteral("13911111111"));
        QCOMPARE(saved.workPhone, QStringLiteral("010-1234"));
        QCOMPARE(saved.values,
                 (std::vector<TypedValue>{{catalogue::Field::Phone, QStringLiteral("手机"), QStringLiteral("13900000002"), {}},
                                          {catalogue::Field::Phone, QStringLiteral("手机"), QStringLiteral("13700000003"), {}}}));
    }

    // Values longer than a box allows (a name renamed in the list, a deep photo path, long
    // remarks) come back whole when the person is saved unchanged.
    void longValuesSurviveAnEdit() {
        ContactFields f = contact(classmates, QString(25, QChar(u'长')));
        f.photo = QStringLiteral("/") + QString(150, QLatin1Char('p')) + QStringLiteral(".jpg");
        f.remarks = QString(100000, QChar(u'注'));
        f.birthday = QDate(2005, 5, 3);
        const QString key = fx->state.Conn->addContact(f);
        Frm_main& w = window();
        selectRow(w, key);
        ModalForm act(fx->dialogs, [&](frm_detail& form) { press(form, "savebutt"); });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QCOMPARE(fx->state.Conn->loadContact(key).value(), f);
    }

    // clang-format off
    void writesThatFail_data() {
        QTest::addColumn<bool>("addMode");
        QTest::newRow("new person") << true;
        QTest::newRow("existing person") << false;
    }
    // clang-format on
    void writesThatFail() {
        QFETCH(bool, addMode);
        const QString key = fx->addContact(classmates, QStringLiteral("张三"));
        Frm_main& w = window();
        fx->state.Conn = Store::open(fx->paths.data, OpenOptions{nullptr, true});
        fx->state.EditFlag = addMode;
        fx->state.CurrentContactId = key;
        fx->state.CurrentGroup = QStringLiteral("root");
        const QStringList rowsBefore = listKeys(w);
        frm_detail form(w.view(), addMode ? frm_detail::Mode::Add : frm_detail::Mode::Update);
        form.show();
        type(box(form, 1), QStringLiteral("李四"));
        type(box(form, 7), QStringLiteral("上海"));
        press(form, "savebutt");
        QCOMPARE(fx->dialogs.messages.size(), 1);
        QVERIFY2(fx->dialogs.last().text.startsWith(QStringLiteral("资料没有保存: ")),
                 qPrintable(fx->dialogs.last().text));
        QCOMPARE(fx->dialogs.last().icon, MsgIcon::Warning);
        QVERIFY(form.isVisible());
        QCOMPARE(box(form, 1)->text(), QStringLiteral("李四"));
        QCOMPARE(box(form, 7)->text(), QStringLiteral("上海"));
        QCOMPARE(fx->state.EditFlag, addMode);
        QCOMPARE(fx->count("select count(*) from phone"), 1);
        QCOMPARE(storedText(*fx, "select 姓名 from phone"), QStringLiteral("张三"));
        QCOMPARE(listKeys(w), rowsBefore);
    }

    // A new person is written whole or not at all, even when the step that gives it its key fails.
    void newPersonIsOneWrite() {
        auto form = newContactForm();
        // Planted after the window's open, which would drop it as not the program's own.
        storeDb(*fx->state.Conn).exec(
            "create trigger refuse before update on phone begin select raise(abort, 'refused'); end");
        type(box(*form, 1), QStringLiteral("半个人"));
        press(*form, "savebutt");
        QCOMPARE(fx->dialogs.texts(), QStringList{QStringLiteral("资料没有保存: refused")});
        QCOMPARE(fx->count("select count(*) from phone"), 0);
        QVERIFY(form->isVisible());
    }

    // A form for a new person left open beside the main window, and a person edited meanwhile.
    void modelessNewAndModalEdit() {
        const QString key = fx->addContact(classmates, QStringLiteral("张三"));
        Frm_main& w = window();
        clickNode(w, classmates);
        openNewContactForm(w.view(), false);
        auto* added = w.findChild<frm_detail*>();
        QVERIFY(added && added->isVisible() && !added->isModal());
        QCOMPARE(added->mode(), frm_detail::Mode::Add);
        QCOMPARE(fx->state.EditFlag, true);
        type(box(*added, 1), QStringLiteral("新来的"));

        selectRow(w, key);
        ModalForm act(fx->dialogs, [&](frm_detail& form) {
            QVERIFY(&form != added);
            QCOMPARE(form.mode(), frm_detail::Mode::Update);
            QCOMPARE(box(form, 1)->text(), QStringLiteral("张三"));
            box(form, 3)->setText(QStringLiteral("137"));
            press(form, "savebutt");
        });
        Lv_edit(w.view());
        QVERIFY(act.seen());
        QCOMPARE(fx->count("select count(*) from phone"), 1);
        QCOMPARE(storedText(*fx, "select 移动电话 from phone"), QStringLiteral("137"));
        QCOMPARE(listKeys(w), QStringList{key}); // the group listed again, not "root"
        QCOMPARE(fx->state.EditFlag, true);      // the form for the new person is still open
        QVERIFY(added->isVisible());
        QCOMPARE(box(*added, 1)->text(), QStringLiteral("新来的"));

        press(*added, "savebutt");
        QCOMPARE(fx->count("select count(*) from phone"), 2);
        QCOMPARE(fx->state.EditFlag, false);
        QTRY_VERIFY(w.findChild<frm_detail*>() == nullptr); // destroyed once closed
    }

    void mainWindowClosesTheModelessFormFirst() {
        Frm_main& w = window();
        openNewContactForm(w.view(), false);
        QPointer<frm_detail> added = w.findChild<frm_detail*>();
        QVERIFY(added);
        fx->closeWindow();
        QVERIFY(!added || !added->isVisible());
        QCOMPARE(fx->state.EditFlag, false);
        QVERIFY(!fx->state.Conn);
        QCOMPARE(fx->count("select count(*) from phone"), 0);
    }
};

QTEST_MAIN(TestRecordForm)
#include "tst_recordform.moc"
