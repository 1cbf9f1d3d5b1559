#include "gui/forms/ValuePanel.h"

#include "core/exchange/KeptText.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/ValueLists.h"
#include "gui/forms/FieldGrid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace {

using catalogue::Field;

// The labels offered for a list; a list without any keeps each row's label as it came.
std::vector<const char16_t*> labelsOf(Field field) {
    switch (field) {
    case Field::Phone:
        return {u"手机", u"工作", u"家庭", u"传真", u"其他"};
    case Field::OtherEmail:
    case Field::OtherAddress:
    case Field::Url:
        return {u"工作", u"家庭", u"其他"};
    case Field::Im:
        return {u"Skype", u"Telegram", u"WhatsApp", u"Line", u"XMPP"};
    default:
        return {};
    }
}

// The parts a row of a structured field shows, by their place in the value: an address as ADR
// (post box;extended;street;locality;region;postal code;country) in Chinese order, a company with
// its department.
struct Part {
    int index;
    const char16_t* name;
    int row, column, span;
};
std::vector<Part> partsOf(Field field) {
    if (field == Field::OtherAddress)
        return {{4, u"省", 0, 0, 1}, {3, u"市", 0, 1, 1}, {1, u"区", 0, 2, 1}, {2, u"街道", 1, 0, 2}, {5, u"邮编", 1, 2, 1}};
    if (field == Field::Organization)
        return {{0, u"单位", 0, 0, 1}, {1, u"部门", 0, 1, 1}};
    return {};
}

// How many characters a box of the list takes: the column's limit where a row may become a column
// (an e-mail address), else the field's, else the cap of a box without a limit.
int limitOf(Field field) {
    int limit = catalogue::info(field == Field::OtherEmail ? Field::Email : field).limit;
    if (field == Field::OtherAddress)
        limit = catalogue::info(Field::Address).limit;
    return limit > 0 ? limit : fieldgrid::RemarksLimit;
}

QString fieldName(Field field) {
    return QString::fromUtf16(catalogue::info(field).label);
}

} // namespace

ValuePanel::ValuePanel(QWidget* parent) : QGroupBox(QStringLiteral("更多资料"), parent) {
    setObjectName(QStringLiteral("ValuePanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 4);
    layout->setSpacing(2);
    kept_ = new QLabel(this);
    kept_->setObjectName(QStringLiteral("keptList"));
    kept_->setTextFormat(Qt::PlainText);
    kept_->setWordWrap(true);
    kept_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    kept_->hide();
    layout->addWidget(kept_);
    rebuild();
}

void ValuePanel::setRows(std::vector<TypedValue> rows) {
    rows_ = std::move(rows);
    rebuild();
}

void ValuePanel::setKept(const std::vector<KeptProperty>& kept) {
    QStringList lines;
    for (const KeptProperty& property : kept) {
        const kepttext::Shown shown = kepttext::describe(property);
        lines << shown.label + QStringLiteral("：") + shown.text.left(200);
    }
    kept_->setText(QStringLiteral("其它资料（只读，导出和同步时一并写出）：\n") + lines.join(u'\n'));
    kept_->setVisible(!kept.empty());
}

void ValuePanel::setColumn(int kind, const QString& text) {
    const size_t before = rows_.size();
    const valuelists::ColumnOfKind& column = valuelists::columnKinds()[static_cast<size_t>(kind)];
    valuelists::setColumn(rows_, column, text);
    if (rows_.size() != before) {
        rebuild();
        return;
    }
    const int row = valuelists::rowOfColumn(rows_, column);
    if (row >= 0 && firstBoxOfRow_[static_cast<size_t>(row)]->text() != text)
        firstBoxOfRow_[static_cast<size_t>(row)]->setText(text);
}

void ValuePanel::addRow(Field field) {
    const auto last = std::find_if(rows_.rbegin(), rows_.rend(), [&](const TypedValue& v) { return v.field == field; });
    const auto at = last == rows_.rend() ? rows_.end() : last.base();
    const std::vector<const char16_t*> labels = labelsOf(field);
    // A new number is a mobile's, a new address or e-mail address the other kind.
    const QString label = labels.empty() ? QString() : QString::fromUtf16(labels[field == Field::Phone ? 0 : 2]);
    const auto index = static_cast<int>(at - rows_.begin());
    rows_.insert(at, TypedValue{field, field == Field::Im ? QString() : label, QString(), QString()});
    rebuild(index);
    emit rowsChanged();
}

void ValuePanel::removeRow(size_t index) {
    if (index >= rows_.size())
        return;
    const Field field = rows_[index].field;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    // The next row of the same list takes the focus, else the list's 添加.
    int next = -1;
    for (size_t i = index; i < rows_.size() && next < 0; ++i)
        next = rows_[i].field == field ? static_cast<int>(i) : -1;
    for (size_t i = index; i-- > 0 && next < 0;)
        next = rows_[i].field == field ? static_cast<int>(i) : -1;
    rebuild(next, field, next < 0);
    emit rowsChanged();
}

void ValuePanel::editValue(size_t index, const QString& value) {
    TypedValue& row = rows_[index];
    if (row.value == value)
        return;
    row.value = value;
    row.line.clear(); // written anew from what was typed
    emit rowsChanged();
}

void ValuePanel::editLabel(size_t index, const QString& label) {
    TypedValue& row = rows_[index];
    if (row.label == label)
        return;
    row.label = label;
    row.line.clear();
    emit rowsChanged();
}

QWidget* ValuePanel::valueRow(size_t index) {
    const TypedValue& value = rows_[index];
    const std::vector<Part> parts = partsOf(value.field);
    auto* box = new QWidget(lists_);
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const QString name = fieldName(value.field);
    if (parts.empty()) {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QStringLiteral("value"));
        edit->setAccessibleName(name);
        fieldgrid::limitBox(edit, limitOf(value.field));
        edit->setText(value.value);
        connect(edit, &QLineEdit::textEdited, this, [this, index](const QString& text) { editValue(index, text); });
        layout->addWidget(edit, 0, 0);
        firstBoxOfRow_[index] = edit;
        tabStops_ << edit;
        return box;
    }
    // Every part of the value in its place; the parts not shown (a post box, the country) stay.
    auto shared = std::make_shared<QStringList>(valuelists::structuredParts(value.value));
    while (shared->size() < 7)
        shared->append(QString());
    const qsizetype keep = value.field == Field::OtherAddress ? 7 : 1; // ADR has its seven parts
    std::vector<QLineEdit*> edits;
    for (const Part& part : parts) {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QStringLiteral("part%1").arg(part.index));
        edit->setPlaceholderText(QString::fromUtf16(part.name));
        edit->setAccessibleName(name + QString::fromUtf16(part.name));
        edit->setToolTip(QString::fromUtf16(part.name));
        fieldgrid::limitBox(edit, limitOf(value.field));
        edit->setText(shared->at(part.index));
        layout->addWidget(edit, part.row, part.column, 1, part.span);
        connect(edit, &QLineEdit::textEdited, this, [this, index, shared, part, keep](const QString& text) {
            (*shared)[part.index] = text;
            editValue(index, valuelists::joinParts(*shared, keep));
        });
        edits.push_back(edit);
        tabStops_ << edit;
    }
    if (value.field == Field::OtherAddress) {
        layout->setColumnStretch(0, 1);
        layout->setColumnStretch(1, 1);
        layout->setColumnStretch(2, 1);
    }
    firstBoxOfRow_[index] = edits.front();
    return box;
}

void ValuePanel::rebuild(int focusRow, Field focusAdd, bool focusOnAdd) {
    if (lists_) {
        // Out of the form at once (its controls are no longer the form's), deleted once the click or
        // key that got here has returned.
        lists_->hide();
        lists_->setParent(nullptr);
        lists_->deleteLater();
    }
    lists_ = new QWidget(this);
    lists_->setObjectName(QStringLiteral("valueLists"));
    grid_ = new QGridLayout(lists_);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(4);
    grid_->setVerticalSpacing(2);
    grid_->setColumnStretch(2, 1);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, lists_);
    tabStops_.clear();
    firstBoxOfRow_.assign(rows_.size(), nullptr);
    const int firstEmail = valuelists::rowOfColumn(rows_, valuelists::columnKinds().back());
    QWidget* focus = nullptr;
    int line = 0;
    for (const catalogue::FieldInfo& info : catalogue::all()) {
        if (info.storage != catalogue::Storage::Typed)
            continue;
        const Field field = info.field;
        const QString name = fieldName(field);
        auto* caption = new QLabel(name + u':', lists_);
        grid_->addWidget(caption, line, 0);
        auto* add = new QToolButton(lists_);
        add->setObjectName(QStringLiteral("add_%1").arg(QLatin1String(info.id)));
        add->setText(QStringLiteral("添加"));
        add->setAccessibleName(QStringLiteral("添加") + name);
        add->setToolTip(QStringLiteral("添加一项%1").arg(name));
        add->setFocusPolicy(Qt::StrongFocus);
        connect(add, &QToolButton::clicked, this, [this, field] { addRow(field); });
        grid_->addWidget(add, line, 3);
        tabStops_ << add;
        if (focusOnAdd && field == focusAdd)
            focus = add;
        const std::vector<const char16_t*> labels = labelsOf(field);
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].field != field)
                continue;
            ++line;
            if (!labels.empty()) {
                auto* label = new QComboBox(lists_);
                label->setObjectName(QStringLiteral("label"));
                label->setEditable(true);
                label->setAccessibleName(name + QStringLiteral("的标签"));
                for (const char16_t* text : labels)
                    label->addItem(QString::fromUtf16(text));
                label->setEditText(rows_[i].label);
                label->setMinimumContentsLength(4);
                label->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
                if (static_cast<int>(i) == firstEmail) {
                    // The first e-mail address is the Email box's: it has no label of its own.
                    label->setEnabled(false);
                    label->setEditText(QString());
                    label->setToolTip(QStringLiteral("第一个邮件地址即 Email 栏，没有标签"));
                } else {
                    tabStops_ << label;
                }
                connect(label, &QComboBox::currentTextChanged, this,
                        [this, i](const QString& text) { editLabel(i, text); });
                grid_->addWidget(label, line, 1);
            }
            grid_->addWidget(valueRow(i), line, 2);
            auto* remove = new QToolButton(lists_);
            remove->setObjectName(QStringLiteral("remove"));
            remove->setText(QStringLiteral("删除"));
            remove->setAccessibleName(QStringLiteral("删除这项") + name);
            remove->setToolTip(QStringLiteral("删除这项%1").arg(name));
            remove->setFocusPolicy(Qt::StrongFocus);
            connect(remove, &QToolButton::clicked, this, [this, i] { removeRow(i); });
            grid_->addWidget(remove, line, 3);
            tabStops_ << remove;
            if (static_cast<int>(i) == focusRow)
                focus = firstBoxOfRow_[i];
        }
        ++line;
    }
    lists_->show(); // its controls can take the focus at once
    emit rebuilt();
    if (focus)
        focus->setFocus(Qt::TabFocusReason);
}
