#include "gui/sync/ConflictsDialog.h"

#include "core/app/Messages.h"
#include "core/store/Store.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

ConflictsDialog::ConflictsDialog(Store& store, Dialogs& dialogs, std::function<void()> changed, QWidget* parent)
    : QDialog(parent), store_(store), dialogs_(dialogs), changed_(std::move(changed)) {
    setWindowTitle(QStringLiteral("同步冲突"));
    setObjectName(QStringLiteral("SyncConflicts"));
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("conflicts"));
    table_->setAccessibleName(QStringLiteral("同步冲突"));
    table_->setColumnCount(5);
    table_->setHorizontalHeaderLabels({QStringLiteral("联系人"), QStringLiteral("字段"), QStringLiteral("本地的值"),
                                       QStringLiteral("服务器的值"), QStringLiteral("时间")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* back = buttons->addButton(QStringLiteral("取回本地值(&B)"), QDialogButtonBox::ActionRole);
    QPushButton* drop = buttons->addButton(QStringLiteral("保留服务器的值(&K)"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    connect(back, &QPushButton::clicked, this, &ConflictsDialog::takeBack);
    connect(drop, &QPushButton::clicked, this, &ConflictsDialog::dismiss);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(720, 360);
    fill();
}

void ConflictsDialog::fill() {
    try {
        conflicts_ = syncconflicts::list(store_);
    } catch (const StoreError& e) {
        conflicts_.clear();
        dialogs_.show(this, msg::warning(QStringLiteral("不能读取同步冲突：") + e.message()));
    }
    table_->setRowCount(static_cast<int>(conflicts_.size()));
    for (int row = 0; row < static_cast<int>(conflicts_.size()); ++row) {
        const SyncConflict& c = conflicts_[row];
        const std::optional<CardField> field = synccard::fieldFromId(c.field);
        const QStringList cells = {c.name, field ? synccard::fieldLabel(*field) : c.field, c.local, c.server,
                                   QDateTime::fromString(c.at, Qt::ISODate).toLocalTime().toString(
                                       QStringLiteral("yyyy-MM-dd HH:mm"))};
        for (int column = 0; column < cells.size(); ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table_->resizeColumnsToContents();
    if (!conflicts_.empty())
        table_->selectRow(0);
}

std::vector<SyncConflict> ConflictsDialog::selected() const {
    QSet<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.insert(index.row());
    std::vector<SyncConflict> out;
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(conflicts_.size()))
            out.push_back(conflicts_[row]);
    }
    return out;
}

void ConflictsDialog::takeBack() {
    bool any = false;
    try {
        for (const SyncConflict& c : selected()) {
            syncconflicts::takeBack(store_, c);
            any = true;
        }
    } catch (const StoreError& e) {
        dialogs_.show(this, msg::warning(QStringLiteral("不能取回本地值：") + e.message()));
    }
    if (any && changed_)
        changed_();
    fill();
}

void ConflictsDialog::dismiss() {
    try {
        for (const SyncConflict& c : selected())
            syncconflicts::dismiss(store_, c.id);
    } catch (const StoreError& e) {
        dialogs_.show(this, msg::warning(QStringLiteral("不能删除同步冲突：") + e.message()));
    }
    fill();
}
