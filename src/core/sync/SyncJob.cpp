#include "core/sync/SyncJob.h"

#include "core/store/Store.h"

SyncJob::SyncJob(QObject* parent) : QObject(parent) {}

SyncJob::~SyncJob() {
    cancel();
    if (thread_)
        thread_->wait();
}

bool SyncJob::isRunning() const {
    return thread_ && thread_->isRunning();
}

void SyncJob::waitForEnd() {
    if (thread_)
        thread_->wait();
}

void SyncJob::cancel() {
    cancelled_ = true;
}

bool SyncJob::start(const QString& dataFile, const SyncAccount& account, const QString& password) {
    if (isRunning())
        return false;
    if (thread_)
        thread_->wait();
    cancelled_ = false;
    const bool collection = useSyncCollection;
    const bool massDeletion = allowMassDeletion;
    thread_.reset(QThread::create([this, dataFile, account, password, collection, massDeletion] {
        SyncReport report;
        try {
            std::unique_ptr<Store> store = Store::open(dataFile);
            DavClient client(account.user, password, account.trustedCertificate);
            client.cancelled = [this] { return cancelled_.load(); };
            SyncEngine engine(*store, dataFile, client, account);
            engine.useSyncCollection = collection;
            engine.allowMassDeletion = massDeletion;
            engine.onProgress = [this](const QString& text) { emit progress(text); };
            engine.onLocalChange = [this] { emit dataChanged(); };
            report = engine.run();
        } catch (const StoreError& e) {
            report.error = QStringLiteral("无法打开数据文件：%1").arg(e.message());
        }
        QMetaObject::invokeMethod(
            this,
            [this, report] {
                report_ = report;
                emit finished();
            },
            Qt::QueuedConnection);
    }));
    thread_->start();
    return true;
}
