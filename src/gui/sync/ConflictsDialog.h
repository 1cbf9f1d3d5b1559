#pragma once
// "同步冲突": the local values a sync replaced with the server's. The user takes one back (it then
// travels at the next sync) or lets it go.
#include "core/sync/SyncEngine.h"

#include <QDialog>
#include <functional>

class Dialogs;
class QTableWidget;

class ConflictsDialog : public QDialog {
    Q_OBJECT
public:
    // changed: called after a value was taken back, so the window shows it.
    ConflictsDialog(Store& store, Dialogs& dialogs, std::function<void()> changed, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    void takeBack(); // the selected rows
    void dismiss();

private:
    void fill();
    std::vector<SyncConflict> selected() const;

    Store& store_;
    Dialogs& dialogs_;
    std::function<void()> changed_;
    QTableWidget* table_;
    std::vector<SyncConflict> conflicts_;
};
