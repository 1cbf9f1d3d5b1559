#include "gui/forms/KeptList.h"

#include "core/exchange/KeptText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

Frm_kept::Frm_kept(const QString& name, const std::vector<KeptProperty>& rows, QWidget* owner,
                   const std::vector<TypedValue>& values)
    : QDialog(owner) {
    std::vector<kepttext::Shown> shownRows;
    for (const TypedValue& value : values)
        shownRows.push_back(kepttext::describe(value));
    for (const KeptProperty& row : rows)
        shownRows.push_back(kepttext::describe(row));
    setObjectName(QStringLiteral("Frm_kept"));
    setWindowTitle(QStringLiteral("其它资料"));
    auto* intro = new QLabel(QStringLiteral("%1的其它资料（导出和同步时一并写出）：").arg(name), this);
    intro->setWordWrap(true);
    table_ = new QTableWidget(static_cast<int>(shownRows.size()), 2, this);
    table_->setObjectName(QStringLiteral("keptTable"));
    table_->setAccessibleName(QStringLiteral("其它资料"));
    table_->setHorizontalHeaderLabels({QStringLiteral("资料"), QStringLiteral("内容")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(true);
    for (int row = 0; row < static_cast<int>(shownRows.size()); ++row) {
        const kepttext::Shown& shown = shownRows[static_cast<size_t>(row)];
        table_->setItem(row, 0, new QTableWidgetItem(shown.label));
        // A long value (a whole letter in a note) is shown cut; its tooltip holds more.
        auto* text = new QTableWidgetItem(shown.text.left(2000));
        text->setToolTip(shown.text.left(4000));
        table_->setItem(row, 1, text);
    }
    table_->resizeColumnToContents(0);
    table_->resizeRowsToContents();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(520, 360);
    table_->setFocus();
}
