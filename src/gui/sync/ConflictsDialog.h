#pragma once
// "同步冲突": the local values a sync replaced with the server's. The user takes one back (it then
// travels at the next sync) or lets it go.
#include "core/sync/SyncEngine.h"

#include <QDialog>

class Dialogs;
class DirectorySession;
class QTableWidget;

class ConflictsDialog : public QDialog {
    Q_OBJECT
public:
    // The values go back through the window's session, whose change notices refresh the window.
    ConflictsDialog(DirectorySession& session, Dialogs& dialogs, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    void takeBack(); // the selected rows
    void dismiss();

private:
    void fill();
    std::vector<SyncConflict> selected() const;

    void tell(const CommandResult& result);

    DirectorySession& session_;
    Dialogs& dialogs_;
    QTableWidget* table_;
    std::vector<SyncConflict> conflicts_;
};
