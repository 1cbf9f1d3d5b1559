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
#include <QVBoxLayout>

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

} // namespace

DuplicatesDialog::DuplicatesDialog(std::vector<QStringList> groups, Loader load, Merger merge, QWidget* parent)
    : QDialog(parent), keys_(std::move(groups)), load_(std::move(load)), mergeWith_(std::move(merge)),
      groups_(new QListWidget(this)) {
    setObjectName(QStringLiteral("Duplicates"));
    setWindowTitle(QStringLiteral("查找重复"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(keys_.empty() ? QStringLiteral("没有找到可能重复的联系人。")
                                               : QStringLiteral("同名、同手机号或同 E-mail 的联系人。选好每一项的值后按“合并”。"),
                                 this));
    auto* sides = new QHBoxLayout;
    groups_->setAccessibleName(QStringLiteral("可能重复的联系人"));
    groups_->setMinimumWidth(160);
    sides->addWidget(groups_);
    auto* fields = new QFormLayout;
    for (int field = 0; field < FieldCount; ++field) {
        auto* box = new QComboBox(this);
        box->setAccessibleName(QString::fromUtf8(Captions[field]));
        box->setMinimumContentsLength(24);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        fields->addRow(QString::fromUtf8(Captions[field]), box);
        choices_.push_back(box);
    }
    sides->addLayout(fields, 1);
    layout->addLayout(sides, 1);

    auto* buttons = new QDialogButtonBox(this);
    merge_ = buttons->addButton(QStringLiteral("合并(&M)"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(merge_, &QPushButton::clicked, this, &DuplicatesDialog::mergeCurrent);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(groups_, &QListWidget::currentRowChanged, this, &DuplicatesDialog::showGroup);

    for (const QStringList& group : keys_) {
        const std::optional<ContactFields> first = load_(group.front());
        groups_->addItem(QStringLiteral("%1 (%2)").arg(first ? first->name : group.front()).arg(group.size()));
    }
    merge_->setEnabled(false);
    if (!keys_.empty())
        groups_->setCurrentRow(0);
}

void DuplicatesDialog::showGroup(int row) {
    people_.clear();
    merge_->setEnabled(row >= 0 && row < static_cast<int>(keys_.size()));
    if (!merge_->isEnabled())
        return;
    for (const QString& key : keys_[static_cast<size_t>(row)]) {
        if (std::optional<ContactFields> person = load_(key))
            people_.push_back(std::move(*person));
    }
    const ContactFields defaults = mergedDefaults(people_);
    for (int field = 0; field < FieldCount; ++field) {
        QComboBox* box = choices_[static_cast<size_t>(field)];
        box->clear();
        QStringList values;
        for (const ContactFields& person : people_) {
            const QString value = valueOf(person, field);
            if (!values.contains(value))
                values << value;
        }
        box->addItems(values);
        box->setCurrentIndex(std::max(0, static_cast<int>(values.indexOf(valueOf(defaults, field)))));
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
    for (int field = 2; field < FieldCount; ++field)
        merged.*catalogue::texts()[static_cast<size_t>(field - 2)]->text =
            choices_[static_cast<size_t>(field)]->currentText();
    return merged;
}

void DuplicatesDialog::mergeCurrent() {
    const int row = groups_->currentRow();
    if (row < 0 || row >= static_cast<int>(keys_.size()))
        return;
    if (!mergeWith_(keys_[static_cast<size_t>(row)], picked()))
        return;
    keys_.erase(keys_.begin() + row);
    delete groups_->takeItem(row);
    if (keys_.empty())
        showGroup(-1);
}
