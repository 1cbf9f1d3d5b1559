#include "gui/sync/ConflictsDialog.h"

#include "core/app/Messages.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

ConflictsDialog::ConflictsDialog(DirectorySession& session, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), session_(session), dialogs_(dialogs) {
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
    QString failure;
    conflicts_ = syncconflicts::list(session_, &failure);
    if (!failure.isEmpty())
        dialogs_.show(this, msg::warning(QStringLiteral("不能读取同步冲突：") + failure));
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

void ConflictsDialog::tell(const CommandResult& result) {
    if (result.notice)
        dialogs_.show(this, msg::warning(result.notice->text));
}

void ConflictsDialog::takeBack() {
    tell(syncconflicts::takeBack(session_, selected()));
    fill();
}

void ConflictsDialog::dismiss() {
    tell(syncconflicts::dismiss(session_, selected()));
    fill();
}
