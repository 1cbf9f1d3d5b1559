#include "gui/forms/DuplicatesDialog.h"

#include "core/rules/Duplicates.h"
#include "core/store/FieldCatalogue.h"
#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const char* const Captions[DuplicatesDialog::FieldCount] = {
    "姓名", "生日", "移动电话", "工作电话", "家庭电话", "传真号码", "地址", "邮政编码",
    "QQ",   "ICQ",  "MSN",     "E-mail",  "昵称",     "备注",     "照片"};

// A lunar birthday is a choice of its own, shown as the list shows it.
QString shownBirthday(const ContactFields& f) {
    if (f.lunarBirthday && f.lunarBirthday->isValid())
        return lunarBirthdayText(*f.lunarBirthday);
    return f.birthday ? birthdayText(*f.birthday) : QString();
}

QString valueOf(const ContactFields& f, int field) {
    if (field == 0)
        return f.name;
    if (field == 1)
        return shownBirthday(f);
    return f.*catalogue::texts()[static_cast<size_t>(field - 2)]->text;
}

// Numbers, e-mails and messenger IDs: every one of the group's values is kept (one in the column,
// the others beside it), so there is nothing to choose.
bool keptWhole(int field) {
    return (field >= 2 && field <= 5) || (field >= 8 && field <= 11);
}

// How a kept field's values are told apart: numbers by their digits (+86 aside), e-mails case aside.
catalogue::Field keptAs(int field) {
    return field <= 5 ? catalogue::Field::Phone : field == 11 ? catalogue::Field::OtherEmail : catalogue::Field::Im;
}

constexpr int KeysRole = Qt::UserRole;

} // namespace

DuplicatesDialog::DuplicatesDialog(std::vector<QStringList> groups, Loader load, Merger merge, QWidget* parent)
    : QDialog(parent), load_(std::move(load)), mergeWith_(std::move(merge)), intro_(new QLabel(this)),
      groups_(new QListWidget(this)) {
    setObjectName(QStringLiteral("Duplicates"));
    setWindowTitle(QStringLiteral("查找重复"));
    auto* layout = new QVBoxLayout(this);
    intro_->setWordWrap(true);
    layout->addWidget(intro_);
    auto* sides = new QHBoxLayout;
    groups_->setAccessibleName(QStringLiteral("可能重复的联系人"));
    groups_->setMinimumWidth(160);
    sides->addWidget(groups_);
    auto* fields = new QFormLayout;
    for (int field = 0; field < FieldCount; ++field) {
        const QString caption = QString::fromUtf8(Captions[field]);
        if (keptWhole(field)) {
            auto* values = new QLabel(this);
            values->setAccessibleName(caption);
            values->setWordWrap(true);
            values->setTextInteractionFlags(Qt::TextSelectableByMouse);
            fields->addRow(caption, values);
            kept_.push_back(values);
            choices_.push_back(nullptr);
            continue;
        }
        auto* box = new QComboBox(this);
        box->setAccessibleName(caption);
        box->setMinimumContentsLength(24);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        fields->addRow(caption, box);
        choices_.push_back(box);
        kept_.push_back(nullptr);
    }
    sides->addLayout(fields, 1);
    layout->addLayout(sides, 1);

    auto* buttons = new QDialogButtonBox(this);
    merge_ = buttons->addButton(QStringLiteral("合并(&M)"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(merge_, &QPushButton::clicked, this, &DuplicatesDialog::mergeSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(groups_, &QListWidget::currentItemChanged, this, &DuplicatesDialog::showSelected);
    fill(groups, QString(), 0);
}

void DuplicatesDialog::setUndoer(Undoer undo) {
    undoWith_ = std::move(undo);
    if (undo_ || !undoWith_)
        return;
    auto* buttons = findChild<QDialogButtonBox*>();
    undo_ = buttons->addButton(QStringLiteral("撤销(&U)"), QDialogButtonBox::ActionRole);
    undo_->setShortcut(QKeySequence::Undo);
    undo_->setToolTip(QStringLiteral("撤销上一次合并 (Ctrl+Z)"));
    undo_->setEnabled(merges_ > 0);
    connect(undo_, &QPushButton::clicked, this, &DuplicatesDialog::undoMerge);
}

QStringList DuplicatesDialog::selectedKeys() const {
    const QListWidgetItem* item = groups_->currentItem();
    return item ? item->data(KeysRole).toStringList() : QStringList();
}

void DuplicatesDialog::fill(const std::vector<QStringList>& groups, const QString& keepSelected, int row) {
    {
        // The list is rebuilt whole, then one group selected and shown: no signal of the rebuild
        // may show a group that is not the selected one.
        const QSignalBlocker quiet(groups_);
        groups_->clear();
        for (const QStringList& group : groups) {
            const std::optional<ContactFields> first = load_(group.front());
            auto* item = new QListWidgetItem(
                QStringLiteral("%1 (%2)").arg(first ? first->name : group.front()).arg(group.size()), groups_);
            item->setData(KeysRole, group);
            if (!keepSelected.isEmpty() && group.front() == keepSelected)
                row = groups_->count() - 1;
        }
        if (groups_->count() > 0)
            groups_->setCurrentRow(std::clamp(row, 0, groups_->count() - 1));
    }
    intro_->setText(groups.empty() ? QStringLiteral("没有找到可能重复的联系人。")
                                   : QStringLiteral("同名、同手机号或同 E-mail 的联系人。选好每一项的值后按“合并”;"
                                                    "电话号码、E-mail、QQ、ICQ 和 MSN 都会保留。"));
    showSelected();
}

void DuplicatesDialog::showSelected() {
    people_.clear();
    const QStringList keys = selectedKeys();
    for (const QString& key : keys) {
        if (std::optional<ContactFields> person = load_(key))
            people_.push_back(std::move(*person));
    }
    merge_->setEnabled(people_.size() > 1);
    defaults_ = mergedDefaults(people_);
    for (int field = 0; field < FieldCount; ++field) {
        QStringList values;
        for (const ContactFields& person : people_) {
            const QString value = valueOf(person, field);
            if (values.contains(value))
                continue;
            if (keptWhole(field)) {
                // "138 1234 5678" and "+86 13812345678" are one number, kept once.
                const TypedValue typed{keptAs(field), QString(), value, QString()};
                if (value.trimmed().isEmpty() || std::any_of(values.begin(), values.end(), [&](const QString& listed) {
                        return sameTypedValue(typed, {keptAs(field), QString(), listed, QString()});
                    }))
                    continue;
            }
            values << value;
        }
        if (QLabel* list = kept(field)) {
            list->setText(values.join(QStringLiteral("、")));
            continue;
        }
        QComboBox* box = choice(field);
        box->clear();
        box->addItems(values);
        box->setCurrentIndex(std::max(0, static_cast<int>(values.indexOf(valueOf(defaults_, field)))));
    }
}

ContactFields DuplicatesDialog::picked() const {
    ContactFields merged = people_.empty() ? ContactFields{} : people_.front();
    merged.name = choices_[0]->currentText();
    // The birthday of the person whose birthday was chosen, in its calendar.
    merged.birthday = typedDate(choices_[1]->currentText());
    merged.lunarBirthday.reset();
    for (const ContactFields& person : people_) {
        if (shownBirthday(person) == choices_[1]->currentText()) {
            merged.birthday = person.birthday;
            merged.lunarBirthday = person.lunarBirthday;
            break;
        }
    }
    for (int field = 2; field < FieldCount; ++field) {
        QString ContactFields::*member = catalogue::texts()[static_cast<size_t>(field - 2)]->text;
        // A kept field's column holds the longest value; the session keeps the others beside it.
        merged.*member = keptWhole(field) ? defaults_.*member : choice(field)->currentText();
    }
    return merged;
}

void DuplicatesDialog::refresh() {
    if (find_)
        fill(find_(), selectedKeys().value(0), groups_->currentRow());
}

void DuplicatesDialog::mergeSelected() {
    const QStringList keys = selectedKeys();
    if (keys.size() < 2 || !mergeWith_(keys, picked()))
        return;
    ++merges_;
    if (undo_)
        undo_->setEnabled(true);
    const int row = groups_->currentRow();
    if (find_) {
        // The merged group is gone; the group now at its place is selected.
        fill(find_(), QString(), row);
        return;
    }
    std::vector<QStringList> rest;
    for (int i = 0; i < groups_->count(); ++i) {
        if (i != row)
            rest.push_back(groups_->item(i)->data(KeysRole).toStringList());
    }
    fill(rest, QString(), row);
}

void DuplicatesDialog::undoMerge() {
    if (merges_ == 0 || !undoWith_ || !undoWith_())
        return;
    --merges_;
    undo_->setEnabled(merges_ > 0);
    refresh();
}
