#pragma once
// The window's side of the sync: the two drop-down entries, a progress line at the bottom of the
// window, automatic sync (at start, at the chosen interval and a short while after a local change),
// and the refresh of the tree and the list after every batch the worker committed.
#include "core/sync/SyncJob.h"
#include "gui/sync/Keyring.h"

#include <QObject>
#include <QTimer>
#include <functional>

class Dialogs;
class QLabel;
class QWidget;
class Settings;
class DirectorySession;

class SyncController : public QObject {
    Q_OBJECT
public:
    // refresh: re-reads the tree and the list. session: the window's own, whose data file the
    // worker syncs on a connection of its own.
    SyncController(QWidget* window, Dialogs& dialogs, Settings& settings, const QString& dataFile,
                   DirectorySession& session, std::function<void()> refresh);
    ~SyncController() override;

    void openSettings(); // "同步设置..."
    void syncNow();      // "立即同步"
    void openConflicts();
    void stop(); // before the data file is released: cancels and waits

    SyncJob& job() { return job_; }
    QLabel* progressLine() const { return line_; }

signals:
    void syncFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start(bool asked);
    void finished();
    // Asks whether a run that stopped for the user's yes goes on; true when it does.
    bool askToGoOn(const SyncReport& report);
    void showLine(const QString& text);
    void placeLine();
    void applyInterval();
    void checkLocalChanges();

    QWidget* window_;
    Dialogs& dialogs_;
    Settings& settings_;
    QString dataFile_;
    DirectorySession& session_;
    std::function<void()> refresh_;
    KeyringPasswords passwords_;
    SyncJob job_;
    QLabel* line_;
    QTimer hideLine_;
    QTimer refreshSoon_;
    QTimer interval_;
    QTimer changeCheck_;
    QTimer afterChange_;
    bool asked_ = false;
    bool changedInRun_ = false;
};
