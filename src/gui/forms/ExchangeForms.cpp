#include "gui/forms/ExchangeForms.h"

#include "core/exchange/Importer.h"
#include "core/text/Keys.h"
#include "core/app/Messages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QDialogButtonBox* buttons(QDialog* dialog, const QString& okText) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setText(okText);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

} // namespace

Frm_import::Frm_import(const QString& file, int cards, const std::vector<GroupRow>& groups, const QString& defaultGroup,
                       QWidget* owner)
    : QDialog(owner), Cgroup(new QComboBox(this)) {
    setObjectName(QStringLiteral("Frm_import"));
    setWindowTitle(QStringLiteral("导入联系人"));
    Cgroup->setObjectName(QStringLiteral("Cgroup"));
    for (const GroupRow& group : groups) {
        Cgroup->addItem(group.name, group.key);
        if (group.key == defaultGroup)
            Cgroup->setCurrentIndex(Cgroup->count() - 1);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("文件:"), new QLabel(QFileInfo(file).fileName(), this));
    form->addRow(QStringLiteral("联系人:"), new QLabel(QStringLiteral("%1 位").arg(cards), this));
    form->addRow(QStringLiteral("没有分组的放入:"), Cgroup);
    auto* note =
        new QLabel(QStringLiteral("名片里写明分组(CATEGORIES)的联系人放入同名的分组,没有这个分组时新建。"), this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons(this, QStringLiteral("导入")));
    setMinimumWidth(360);
}

QString Frm_import::chosenGroup() const {
    return Cgroup->currentData().toString();
}

Frm_export::Frm_export(const QString& groupName, int shownRows, QWidget* owner)
    : QDialog(owner), all_(new QRadioButton(QStringLiteral("全部联系人"), this)), group_(new QRadioButton(this)),
      shown_(new QRadioButton(this)), format_(new QComboBox(this)) {
    setObjectName(QStringLiteral("Frm_export"));
    setWindowTitle(QStringLiteral("导出联系人"));
    group_->setText(groupName.isEmpty() ? QStringLiteral("当前分组(请先在左边选一个分组)")
                                        : QStringLiteral("当前分组: %1").arg(groupName));
    group_->setEnabled(!groupName.isEmpty());
    shown_->setText(QStringLiteral("列表中显示的 %1 位联系人").arg(shownRows));
    shown_->setEnabled(shownRows > 0);
    all_->setChecked(true);
    // Each format with the one line that tells whom it suits; the chosen one's line shows under it.
    const auto addFormat = [&](const QString& name, ExportFormat format, const QString& why) {
        format_->addItem(name, int(format));
        format_->setItemData(format_->count() - 1, why, Qt::ToolTipRole);
    };
    addFormat(QStringLiteral("vCard 3.0 名片 (.vcf)"), ExportFormat::VCard30,
              QStringLiteral("手机、Outlook 和多数通讯录都能导入，不知道选哪个就选它"));
    addFormat(QStringLiteral("vCard 4.0 名片 (.vcf)"), ExportFormat::VCard40,
              QStringLiteral("较新的名片格式，给 Nextcloud、iCloud 等较新的程序"));
    addFormat(QStringLiteral("CSV 表格, UTF-8 (.csv)"), ExportFormat::CsvUtf8,
              QStringLiteral("表格：WPS、LibreOffice 和较新的 Excel 打开，中文不乱"));
    addFormat(QStringLiteral("CSV 表格, GBK (.csv)"), ExportFormat::CsvGbk,
              QStringLiteral("表格：中文 Windows 上的旧版 Excel 双击打开，中文不乱"));
    addFormat(QStringLiteral("CSV 表格, GB18030 (.csv)"), ExportFormat::CsvGb18030,
              QStringLiteral("同 GBK，还能存下 GBK 没有的生僻字"));
    auto* why = new QLabel(this);
    why->setObjectName(QStringLiteral("formatHint"));
    // One line each: the label is as wide as the longest explanation.
    int widest = 0;
    for (int i = 0; i < format_->count(); ++i)
        widest = std::max(widest, why->fontMetrics().horizontalAdvance(format_->itemData(i, Qt::ToolTipRole).toString()));
    why->setMinimumWidth(widest + 4);
    QPalette grey = why->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::PlaceholderText));
    why->setPalette(grey);
    const auto explain = [this, why] { why->setText(format_->currentData(Qt::ToolTipRole).toString()); };
    connect(format_, &QComboBox::currentIndexChanged, why, explain);
    explain();
    auto* which = new QGroupBox(QStringLiteral("导出哪些联系人"), this);
    auto* whichLayout = new QVBoxLayout(which);
    whichLayout->addWidget(all_);
    whichLayout->addWidget(group_);
    whichLayout->addWidget(shown_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("格式:"), format_);
    form->addRow(QString(), why);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(form);
    layout->addWidget(buttons(this, QStringLiteral("导出...")));
}

ExportSelection::Kind Frm_export::chosenKind() const {
    if (group_->isChecked())
        return ExportSelection::Kind::Group;
    if (shown_->isChecked())
        return ExportSelection::Kind::Keys;
    return ExportSelection::Kind::All;
}

ExportFormat Frm_export::chosenFormat() const {
    return ExportFormat(format_->currentData().toInt());
}
