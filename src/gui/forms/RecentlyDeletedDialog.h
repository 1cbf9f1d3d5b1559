#pragma once
// 最近删除: the people deleted in the last 30 days (name, group, when), from which the user brings
// back one or many. The dialog only shows and asks; the session restores.
#include "core/store/RecentlyDeleted.h"

#include <QDialog>
#include <vector>

class QTableWidget;
class QPushButton;

class RecentlyDeletedDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecentlyDeletedDialog(const std::vector<DeletedContact>& people, QWidget* parent = nullptr);

    // The entries of the selected rows, in the list's order.
    std::vector<qint64> selectedIds() const;
    QTableWidget* table() const { return table_; }
    QPushButton* restoreButton() const { return restore_; }

private:
    std::vector<DeletedContact> people_;
    QTableWidget* table_;
    QPushButton* restore_;
};
