#include "gui/app/KeyFiller.h"

#include "gui/app/SessionEnd.h"

#include "core/store/PinyinKeys.h"
#include "core/store/Store.h"

#include <QDebug>
#include <QEvent>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

PinyinKeyFiller::PinyinKeyFiller(Store& store, const QString& dataFile, const OpenOptions& options, QWidget* window)
    : store_(store), dataFile_(dataFile), options_(options), window_(window) {
    store_.pinyinKeys().readStamp();
    // The window's first paint comes first; the keys are looked at on the turn of the event loop
    // after it.
    window_->installEventFilter(this);
}

PinyinKeyFiller::~PinyinKeyFiller() {
    stop_ = true;
    if (thread_)
        thread_->wait();
}

bool PinyinKeyFiller::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Paint && !started_) {
        started_ = true;
        window_->removeEventFilter(this);
        QTimer::singleShot(0, this, &PinyinKeyFiller::start);
    }
    return QObject::eventFilter(watched, event);
}

bool PinyinKeyFiller::running() const {
    return thread_ && thread_->isRunning();
}

bool PinyinKeyFiller::wait(int ms) {
    return !thread_ || thread_->wait(ms);
}

void PinyinKeyFiller::start() {
    if (store_.pinyinKeys().knownCurrent() || stop_)
        return;
    if (store_.isReadOnly()) {
        fillHere();
        return;
    }
    thread_ = QThread::create([this] {
        try {
            written_ = PinyinKeys::backfillFile(dataFile_, options_, stop_);
        } catch (const std::exception& e) {
            qDebug() << "pinyin keys:" << e.what(); // the search by pinyin then misses those names
        }
    });
    thread_->setParent(this);
    connect(thread_, &QThread::finished, this, [this] {
        if (stop_)
            return;
        store_.pinyinKeys().readStamp();
        emit filled(written_);
    });
    thread_->start(QThread::LowPriority);
}

void PinyinKeyFiller::fillHere() {
    const SessionEnd::WriteScope writing; // the progress lets a signal in: it waits for the end
    QProgressDialog progress(QStringLiteral("正在为联系人生成拼音索引..."), QString(), 0, 1, window_);
    progress.setWindowTitle(QStringLiteral("zinteva"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setCancelButton(nullptr);
    try {
        written_ = store_.pinyinKeys().backfill([&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
        });
    } catch (const std::exception& e) {
        qDebug() << "pinyin keys:" << e.what();
    }
    emit filled(written_);
}

void PinyinKeyFiller::finish() {
    stop_ = true;
    if (thread_)
        thread_->wait();
    store_.pinyinKeys().stampIfCurrent();
}
