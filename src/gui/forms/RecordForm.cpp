#include "gui/forms/RecordForm.h"

#include "core/app/Messages.h"
#include "core/text/Keys.h"
#include "core/rules/BirthdayHint.h"
#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"
#include "gui/forms/FieldGrid.h"
#include "gui/forms/KeptList.h"
#include "gui/forms/ValuePanel.h"
#include "core/store/ValueLists.h"
#include "gui/shared/ColourScheme.h"
#include "gui/shared/FocusReturn.h"
#include "gui/shared/KeyTips.h"
#include "gui/shared/Pictures.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QAbstractItemView>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Name = 0, Birthday = 1, Photo = 14;

const QSize PhotoArea(420, 283);
const QSize FormSize(478, 539);

// The screen area a form over `owner` may take, less room for the window's title bar.
QSize availableForForm(const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return FormSize;
    return screen->availableGeometry().size() - QSize(8, 40);
}
// Eight rows of boxes, the toolbar and the photo area share the form's 539 pixels.
constexpr int BoxHeight = 22;
const QString PictureTitle = QStringLiteral("打开图片文件");
const QString PictureFilter = QStringLiteral("JPEG 图像(*.jpg)|*.jpg|位图 (*.bmp)|*.bmp");

// Every picture Qt can read (PNG, GIF, WebP ... as the installed image plug-ins allow) comes first,
// then the two kinds the form has always offered.
QString pictureFilter() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format).toLower();
    patterns.removeDuplicates();
    return QStringLiteral("所有图片|") + patterns.join(u' ') + u'|' + PictureFilter;
}

} // namespace

namespace {
// The birthday box beside its 农历 check box: "1950年腊月初八", "闰四月十五".
QString lunarBoxText(const LunarBirthday& b) {
    const QString monthDay = lunar::monthName(b.month, b.leap) + lunar::dayName(b.day);
    return b.year == 0 ? monthDay : QStringLiteral("%1年").arg(b.year) + monthDay;
}
} // namespace

frm_detail::frm_detail(RecordFormHost& host, Mode mode)
    : QDialog(host.formOwner()), host_(host), mode_(mode),
      key_(mode == Mode::Update ? std::optional<QString>(host.formContactKey()) : std::nullopt) {
    buildForm();
    Form_Load();
}

void frm_detail::buildForm() {
    setObjectName(QStringLiteral("frm_detail"));
    setWindowTitle(QStringLiteral("详细资料"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    // The designed 478 x 539 and, beside it, the scroll bar that reaches the lists below the photo
    // (更多资料); less where the screen is smaller (a laptop at 2x), where the form scrolls too, so
    // that 保存 and every box can still be reached.
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setFixedSize((FormSize + QSize(scrollBar, 0)).boundedTo(availableForForm(host_.formOwner())));

    auto* Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(16, 16));
    Toolbar1->setFixedHeight(28);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const struct {
        const char* key;
        const char16_t* caption;
        const char16_t* tooltip;
        int picture;
    } buttons[] = {{"savebutt", u"保存", u"保存资料", 1}, {"closebutt", u"关闭", u"我不保存了", 2}};
    for (const auto& b : buttons) {
        const QString key = QLatin1String(b.key);
        QAction* action = Toolbar1->addAction(pictures::recordForm(b.picture), QString::fromUtf16(b.caption));
        action->setObjectName(key);
        action->setToolTip(QString::fromUtf16(b.tooltip));
        connect(action, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
        if (auto* face = qobject_cast<QToolButton*>(Toolbar1->widgetForAction(action))) {
            face->setObjectName(key);
            // Ctrl+S saves (below); Esc closes, as in every dialog.
            keytips::add(face, key == QLatin1String("savebutt") ? QKeySequence(QKeySequence::Save)
                                                                 : QKeySequence(Qt::Key_Escape));
            face->setFocusPolicy(Qt::TabFocus); // a click keeps the focus in the box being typed; Tab reaches it
            toolbarFaces_.push_back(face);
        }
    }
    auto* Label1 = new QLabel(QStringLiteral("分组："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Cgroup_ = new QComboBox(this);
    Cgroup_->setObjectName(QStringLiteral("Cgroup"));
    Cgroup_->setMinimumWidth(150);
    // A long group name (30 characters) is cut in the closed list rather than pushing 关闭 off the
    // toolbar; the open list shows it whole.
    Cgroup_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Cgroup_->setMinimumContentsLength(10);
    Cgroup_->view()->setTextElideMode(Qt::ElideNone);
    Toolbar1->setMinimumWidth(Toolbar1->sizeHint().width());
    Label1->setBuddy(Cgroup_);
    auto* top = new QHBoxLayout;
    top->addWidget(Toolbar1);
    top->addStretch();
    top->addWidget(Label1);
    top->addWidget(Cgroup_);
    // Beside the field grid, not in it: what an imported card held beyond the fields.
    Kept_ = new QToolButton(this);
    Kept_->setObjectName(QStringLiteral("Kept"));
    Kept_->setText(QStringLiteral("其它资料(&M)"));
    Kept_->setToolTip(QStringLiteral("导入的名片中没有对应栏目的资料"));
    keytips::add(Kept_, QKeySequence(Qt::ALT | Qt::Key_M)); // its text's mnemonic
    Kept_->setAccessibleName(QStringLiteral("其它资料"));
    Kept_->setEnabled(false);
    connect(Kept_, &QToolButton::clicked, this, &frm_detail::showKept);
    top->addWidget(Kept_);

    auto* Frame1 = new QGroupBox(QStringLiteral("详细资料"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(Frame1);
    grid->setContentsMargins(8, 2, 8, 4);
    grid->setVerticalSpacing(2);
    for (int i = 0; i < static_cast<int>(fieldgrid::Boxes.size()); ++i) {
        QLineEdit* box = new QLineEdit(Frame1);
        box->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        fieldgrid::limitBox(box, fieldgrid::limitOf(static_cast<size_t>(i)));
        box->setFixedHeight(BoxHeight);
        auto* caption = new QLabel(QString::fromUtf16(fieldgrid::Boxes[i].label), Frame1);
        caption->setBuddy(box);
        Text_[i] = box;
        if (i == Photo) {
            grid->addWidget(caption, 7, 0); // the photo row: the box and the photo button beside it
            break;
        }
        const int row = i / 2, column = (i % 2) * 2;
        grid->addWidget(caption, row, column);
        if (i == Birthday) {
            // The birthday box and, beside it, whether it holds a lunar date.
            lunarBox_ = new QCheckBox(QStringLiteral("农历"), Frame1);
            lunarBox_->setObjectName(QStringLiteral("lunarBox"));
            lunarBox_->setToolTip(QStringLiteral("按农历过生日"));
            auto* birthdayRow = new QHBoxLayout;
            birthdayRow->setSpacing(4);
            // The box keeps room for a lunar date when the hint shows beside it.
            box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("1950年腊月初八")) + 12);
            birthdayRow->addWidget(box, 1);
            birthdayRow->addWidget(lunarBox_);
            birthdayHint_ = new QLabel(Frame1);
            birthdayHint_->setObjectName(QStringLiteral("birthdayHint"));
            birthdayHint_->setStyleSheet(QStringLiteral("color: %1").arg(schemes::warningMark().name())); // light or dark
            birthdayHint_->hide();
            birthdayRow->addWidget(birthdayHint_);
            grid->addLayout(birthdayRow, row, column + 1);
            continue;
        }
        grid->addWidget(box, row, column + 1);
    }
    connect(lunarBox_, &QCheckBox::toggled, this, &frm_detail::lunarBox_Toggled);
    connect(lunarBox_, &QCheckBox::toggled, this, &frm_detail::updateBirthdayHint);
    connect(Text_[Birthday], &QLineEdit::textChanged, this, &frm_detail::updateBirthdayHint);
    Text_[Birthday]->setToolTip(QStringLiteral("时间格式为年-月-日"));
    Text_[Birthday]->installEventFilter(this);
    Command1_ = new QPushButton(QStringLiteral("文件.."), Frame1);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setToolTip(QStringLiteral("给此同志加上她的照片"));
    Command1_->setFixedHeight(BoxHeight);
    // Enter in a box must not open the file dialog: no button of the form is pressed by Enter.
    Command1_->setAutoDefault(false);
    connect(Command1_, &QPushButton::clicked, this, &frm_detail::Command1_Click);
    auto* photoRow = new QHBoxLayout;
    photoRow->addWidget(Text_[Photo], 1);
    photoRow->addWidget(Command1_);
    grid->addLayout(photoRow, 7, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    Image1_ = new QLabel(this);
    Image1_->setObjectName(QStringLiteral("Image1"));
    Image1_->setFixedSize(PhotoArea);
    Image1_->setAlignment(Qt::AlignCenter);
    Image1_->setToolTip(QStringLiteral("此同志的玉照!呵呵~~~~"));
    Image1_->setPixmap(pictures::photoPlaceholder(PhotoArea));

    // The designed form keeps its size and every place in it; the lists come below it.
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("FormContent"));
    auto* designed = new QWidget(content);
    designed->setObjectName(QStringLiteral("FormPage"));
    designed->setFixedSize(FormSize);
    values_ = new ValuePanel(content);
    connect(values_, &ValuePanel::rebuilt, this, &frm_detail::chainTabOrder);
    connect(values_, &ValuePanel::rowsChanged, this, &frm_detail::columnsFromRows);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("FormScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(designed);
    page->addWidget(values_);
    auto* layout = new QVBoxLayout(designed);
    layout->setContentsMargins(6, 0, 6, 2);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(Frame1);
    layout->addWidget(Image1_, 0, Qt::AlignHCenter);
    scroll->setWidget(content);

    // A box that stands for the first value of a list edits that value.
    for (size_t kind = 0; kind < valuelists::columnKinds().size(); ++kind) {
        QLineEdit* box = columnBox(kind);
        connect(box, &QLineEdit::textChanged, this, [this, kind](const QString& text) {
            if (!followingRows_)
                values_->setColumn(static_cast<int>(kind), text);
        });
    }
    chainTabOrder();
    // Saving from the keyboard: Ctrl+S as everywhere, and Ctrl+Enter from any box.
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::Save), QKeySequence(Qt::CTRL | Qt::Key_Return),
                                     QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* save = new QShortcut(keys, this);
        connect(save, &QShortcut::activated, this, [this] { Toolbar1_ButtonClick(QStringLiteral("savebutt")); });
    }
    Text_[Name]->setFocus();
}

QLineEdit* frm_detail::columnBox(size_t kind) const {
    const auto column = valuelists::columnKinds()[kind].column;
    const auto texts = catalogue::texts();
    const auto at = std::find_if(texts.begin(), texts.end(), [&](const auto* field) { return field->text == column; });
    return Text_[static_cast<size_t>(at - texts.begin()) + 2];
}

void frm_detail::chainTabOrder() {
    // The boxes in their order with 农历 right after the birthday, the photo button, the lists, then
    // the group, 其它资料, 保存 and 关闭.
    QList<QWidget*> order{Text_[Name], Text_[Birthday], lunarBox_};
    for (size_t i = Birthday + 1; i < Text_.size(); ++i)
        order << Text_[i];
    order << Command1_ << values_->tabStops() << Cgroup_ << Kept_;
    for (QWidget* face : toolbarFaces_)
        order << face;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void frm_detail::columnsFromRows() {
    const std::vector<TypedValue>& rows = values_->rows();
    for (size_t kind = 0; kind < valuelists::columnKinds().size(); ++kind) {
        const int row = valuelists::rowOfColumn(rows, valuelists::columnKinds()[kind]);
        const QString text = row >= 0 ? rows[static_cast<size_t>(row)].value : QString();
        QLineEdit* box = columnBox(kind);
        if (box->text() != text) {
            followingRows_ = true;
            setBoxText(box, text);
            followingRows_ = false;
        }
    }
}

void frm_detail::Form_Load() {
    for (const GroupRow& group : host_.formGroups(this))
        Cgroup_->addItem(group.name, QVariant::fromValue<qint64>(group.id));
    if (Cgroup_->count() > 0)
        Cgroup_->setCurrentIndex(0);
    opened_ = typedFields();
    openedBirthday_ = Text_[Birthday]->text();
}

void frm_detail::setBoxText(QLineEdit* box, const QString& text) {
    // A stored value longer than the box allows (a name renamed in the list, a long photo path)
    // is shown whole: a box cut short would write the shortened text back at the next save.
    if (catalogue::characters(text) > fieldgrid::boxLimit(box))
        fieldgrid::limitBox(box, static_cast<int>(catalogue::characters(text)));
    box->setText(text);
}

void frm_detail::showContact(const ContactFields& fields) {
    if (const std::optional<qint64> group = keys::idOf(fields.groupKey)) {
        const int entry = Cgroup_->findData(QVariant::fromValue<qint64>(*group));
        if (entry >= 0)
            Cgroup_->setCurrentIndex(entry);
    }
    setBoxText(Text_[Name], fields.name);
    lunarBox_->setChecked(fields.lunarBirthday.has_value());
    if (fields.lunarBirthday)
        setBoxText(Text_[Birthday], lunarBoxText(*fields.lunarBirthday));
    else
        setBoxText(Text_[Birthday], fields.birthday ? birthdayText(*fields.birthday) : QString());
    for (size_t i = 0; i < catalogue::texts().size(); ++i)
        setBoxText(Text_[i + 2], fields.*catalogue::texts()[i]->text);
    if (!fields.photo.isEmpty())
        showPhoto(fields.photo);
    values_->setRows(valuelists::spread(fields));
    opened_ = typedFields();
    openedBirthday_ = Text_[Birthday]->text();
    kept_.clear();
    if (key_) {
        for (KeptProperty& property : host_.formKeptProperties(this, *key_)) {
            if (property.field.isEmpty())
                kept_.push_back(std::move(property));
        }
    }
    values_->setKept(kept_);
    const size_t others = kept_.size();
    Kept_->setEnabled(others > 0);
    Kept_->setText(others == 0 ? QStringLiteral("其它资料(&M)") : QStringLiteral("其它资料 %1 项(&M)").arg(others));
}

void frm_detail::showKept() {
    const FocusReturn focus;
    Frm_kept list(Text_[Name]->text(), kept_, this);
    list.exec();
}

void frm_detail::lunarBox_Toggled(bool lunar) {
    // A lunar date is written out ("1950年闰四月十五") and may need a longer box.
    QLineEdit* box = Text_[Birthday];
    const int limit = lunar ? catalogue::info(catalogue::Field::LunarBirthday).limit : fieldgrid::limitOf(Birthday);
    fieldgrid::limitBox(box, std::max(limit, static_cast<int>(catalogue::characters(box->text()))));
    box->setToolTip(lunar ? QStringLiteral("农历日期,如 1950年腊月初八、1950年闰四月十五 或 1950-12-8")
                          : QStringLiteral("时间格式为年-月-日"));
    box->setPlaceholderText(lunar ? QStringLiteral("1950年腊月初八") : QString());
}

void frm_detail::updateBirthdayHint() {
    const BirthdayHint hint = birthdayHint(Text_[Birthday]->text(), lunarBox_->isChecked());
    birthdayHint_->setText(birthdayHintText(hint));
    birthdayHint_->setToolTip(birthdayHintDetail(hint));
    birthdayHint_->setVisible(hint != BirthdayHint::None);
    Text_[Birthday]->setAccessibleDescription(birthdayHintDetail(hint));
}

bool frm_detail::showPhoto(const QString& path) {
    // Only a regular file is opened: a FIFO would block the form in open(), a device would never end.
    // The file is opened without blocking and checked through its descriptor, so nothing can be put
    // in its place between the check and the read.
    Image1_->setPixmap(pictures::photoPlaceholder(PhotoArea));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // A picture that claims more pixels than any photo has (a decompression bomb) is not decoded, and
    // no picture may make Qt allocate more than a photo needs.
    QImageReader::setAllocationLimit(PhotoAllocationLimitMb);
    QImageReader reader(&file, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    // Decode straight to the shown size: a camera's picture need not be held whole.
    const QSize stored = reader.size();
    if (stored.isValid() && static_cast<qint64>(stored.width()) * stored.height() > PhotoPixelLimit)
        return false;
    if (stored.isValid() && !stored.isEmpty()) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize shown = (turned ? stored.transposed() : stored).scaled(PhotoArea, Qt::KeepAspectRatio);
        reader.setScaledSize(turned ? shown.transposed() : shown);
    }
    const QImage picture = reader.read();
    if (picture.isNull())
        return false;
    Image1_->setPixmap(QPixmap::fromImage(picture.scaled(PhotoArea, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    return true;
}

void frm_detail::Command1_Click() {
    const QString path = host_.formDialogs().openFile(this, {PictureTitle, pictureFilter()});
    if (path.isEmpty())
        return;
    setBoxText(Text_[Photo], path);
    if (!showPhoto(path))
        host_.formDialogs().show(this, msg::warning(QStringLiteral("不能显示这个图片文件:\n") + path));
}

bool frm_detail::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text_[Birthday] && event->type() == QEvent::KeyPress)
        return !Text2_KeyPress(*static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

bool frm_detail::Text2_KeyPress(const QKeyEvent& event) const {
    const QString typed = event.text();
    // Keys that type nothing (arrows, Delete) and shortcuts (Ctrl+V pastes unfiltered) pass.
    if (typed.isEmpty() || !typed.front().isPrint() || event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return true;
    return std::all_of(typed.begin(), typed.end(), birthdayKeyPasses);
}

ContactFields frm_detail::typedFields() const {
    ContactFields f;
    f.groupKey = keys::groupKey(Cgroup_->currentData().toLongLong());
    f.name = Text_[Name]->text().trimmed();
    if (lunarBox_->isChecked()) {
        // Not a lunar date: no birthday, as for a Gregorian text that is not a date.
        f.lunarBirthday = parseLunarBirthday(Text_[Birthday]->text());
        f.birthday = f.lunarBirthday ? f.lunarBirthday->gregorian() : std::nullopt;
    } else {
        f.birthday = typedDate(Text_[Birthday]->text());
    }
    for (size_t i = 0; i < catalogue::texts().size(); ++i)
        f.*catalogue::texts()[i]->text = Text_[i + 2]->text();
    // The lists and the boxes that stand for their first values agree; the lists decide (an emptied
    // 手机 box with a second mobile below: that one is the mobile now).
    ContactFields lists;
    valuelists::gather(lists, values_->rows());
    for (const valuelists::ColumnOfKind& kind : valuelists::columnKinds())
        f.*kind.column = lists.*kind.column;
    f.values = std::move(lists.values);
    return f;
}

bool frm_detail::SaveContact() {
    Dialogs& dialogs = host_.formDialogs();
    if (Text_[Name]->text().isEmpty()) {
        dialogs.show(this, msg::warning(QStringLiteral("您没有输入姓名,不能保存")));
        Text_[Name]->setFocus();
        return false;
    }
    if (Cgroup_->currentIndex() < 0) {
        // A person must belong to a group that exists, or the tree would never show it.
        dialogs.show(this, msg::warning(QStringLiteral("还没有任何分组,不能保存。\n"
                                                       "请先用“新建”按钮下的“分组”建立一个分组。")));
        return false;
    }
    if (birthdayHint(Text_[Birthday]->text(), lunarBox_->isChecked()) != BirthdayHint::None) {
        // Stored as no birthday, as always; the user only hears of it before, not after.
        const Message question{QStringLiteral("生日无法识别，仍然保存吗？"), QStringLiteral("详细资料"),
                               MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No};
        if (dialogs.show(this, question) != MsgAnswer::Yes) {
            Text_[Birthday]->setFocus();
            return false;
        }
    }
    return host_.saveFromForm(this, key_, typedFields());
}

void frm_detail::Toolbar1_ButtonClick(const QString& key) {
    if (key == QStringLiteral("savebutt")) {
        if (!SaveContact())
            return;
        accept();
    } else if (key == QStringLiteral("closebutt")) {
        reject();
    }
}

bool frm_detail::hasUnsavedChanges() const {
    // A birthday box holding text that is no date counts as changed when its text changed.
    return !(typedFields() == opened_) || Text_[Birthday]->text() != openedBirthday_;
}

void frm_detail::reject() {
    if (hasUnsavedChanges()) {
        const Message question{QStringLiteral("这个联系人的资料已经修改，要保存吗？"), QStringLiteral("详细资料"),
                               MsgIcon::Question, MsgButtons::SaveDiscardCancel, MsgAnswer::Save};
        switch (host_.formDialogs().show(this, question)) {
        case MsgAnswer::Save:
            Toolbar1_ButtonClick(QStringLiteral("savebutt")); // a refused save keeps the form open
            return;
        case MsgAnswer::Discard:
            break;
        default:
            return; // Cancel: back to the form, everything as typed
        }
    }
    QDialog::reject();
}

bool frm_detail::anotherNewContactFormOpen() const {
    const QList<frm_detail*> forms = host_.formOwner()->findChildren<frm_detail*>(Qt::FindDirectChildrenOnly);
    return std::any_of(forms.begin(), forms.end(), [this](const frm_detail* form) {
        return form != this && form->mode_ == Mode::Add && form->isVisible();
    });
}

void frm_detail::done(int result) {
    host_.recordFormClosed(anotherNewContactFormOpen());
    QDialog::done(result);
}
