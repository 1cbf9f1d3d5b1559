#pragma once
// One sync run off the window's thread: a worker thread with its own connection to the data file.
// The window hears progress lines, a notice after every committed batch that changed contacts or
// groups (so the tree and the list refresh), and the end of the run.
#include "core/sync/SyncEngine.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

class SyncJob : public QObject {
    Q_OBJECT
public:
    explicit SyncJob(QObject* parent = nullptr);
    ~SyncJob() override; // cancels a running sync and waits for its thread

    // false when a sync is running already.
    bool start(const QString& dataFile, const SyncAccount& account, const QString& password);
    bool isRunning() const;
    // After finished: waits for the worker thread's last steps, so that the job can start again.
    void waitForEnd();
    void cancel();
    SyncReport report() const { return report_; }

    bool useSyncCollection = true;
    bool allowMassDeletion = false; // for the next start: the user said yes to the deletions

signals:
    void progress(const QString& text);
    void dataChanged();
    void finished();

private:
    std::unique_ptr<QThread> thread_;
    std::atomic<bool> cancelled_{false};
    SyncReport report_;
};
