#pragma once
// The pinyin keys of names stored without them (by an older build or another program), made once
// the window has painted, on a thread of its own with a connection of its own, so that the window
// shows at once and stays usable while a large directory is filled. A data file that nobody else
// changed since its keys were last known current is not read through at all. A file opened
// read-only keeps its keys in temp, which only the window's connection sees: it is filled there,
// behind a progress bar.
#include "core/store/OpenOptions.h"

#include <QObject>
#include <QString>
#include <atomic>

class QThread;
class QWidget;
class Store;

class PinyinKeyFiller : public QObject {
    Q_OBJECT
public:
    PinyinKeyFiller(Store& store, const QString& dataFile, const OpenOptions& options, QWidget* window);
    ~PinyinKeyFiller() override;

    // Whether the keys are being made now.
    bool running() const;
    // Waits for the fill in hand; false when it is still running after ms.
    bool wait(int ms);
    // Before the connection is closed: stops a fill in hand and, when every commit since the keys
    // were known current was the window's own, stamps the file so that the next start skips them.
    void finish();

signals:
    // The keys of these many contacts were written (after the first paint, once).
    void filled(int written);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void fillHere();

    Store& store_;
    QString dataFile_;
    OpenOptions options_;
    QWidget* window_;
    QThread* thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> written_{0};
    bool started_ = false;
};
