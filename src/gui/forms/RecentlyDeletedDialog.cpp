#include "gui/forms/RecentlyDeletedDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

RecentlyDeletedDialog::RecentlyDeletedDialog(const std::vector<DeletedContact>& people, QWidget* parent)
    : QDialog(parent), people_(people), table_(new QTableWidget(this)) {
    setObjectName(QStringLiteral("RecentlyDeleted"));
    setWindowTitle(QStringLiteral("最近删除"));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(
        people_.empty() ? QStringLiteral("最近 %1 天内没有删除过联系人。").arg(RecentlyDeleted::KeepDays)
                        : QStringLiteral("最近 %1 天内删除的联系人。选中后按“恢复”即可找回。").arg(RecentlyDeleted::KeepDays),
        this);
    layout->addWidget(hint);

    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels({QStringLiteral("姓名"), QStringLiteral("分组"), QStringLiteral("删除时间")});
    table_->setAccessibleName(QStringLiteral("最近删除的联系人"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setRowCount(static_cast<int>(people_.size()));
    for (int row = 0; row < static_cast<int>(people_.size()); ++row) {
        const DeletedContact& person = people_[static_cast<size_t>(row)];
        table_->setItem(row, 0, new QTableWidgetItem(person.name));
        table_->setItem(row, 1, new QTableWidgetItem(person.groupName));
        table_->setItem(row, 2, new QTableWidgetItem(person.deleted));
    }
    table_->resizeColumnsToContents();
    layout->addWidget(table_);

    auto* buttons = new QDialogButtonBox(this);
    restore_ = buttons->addButton(QStringLiteral("恢复(&R)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    restore_->setEnabled(false);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { restore_->setEnabled(!table_->selectionModel()->selectedRows().isEmpty()); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 360);
}

std::vector<qint64> RecentlyDeletedDialog::selectedIds() const {
    std::set<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.insert(index.row());
    std::vector<qint64> ids;
    for (const int row : rows)
        ids.push_back(people_[static_cast<size_t>(row)].id);
    return ids;
}
