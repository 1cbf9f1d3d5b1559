#include "gui/sync/SyncController.h"

#include "core/app/Messages.h"
#include "core/app/Settings.h"
#include "core/rules/DirectorySession.h"
#include "gui/sync/ConflictsDialog.h"
#include "gui/sync/SyncAccountSettings.h"
#include "gui/sync/SyncSettingsDialog.h"
#include "gui/shared/FocusReturn.h"

#include <QEvent>
#include <QLabel>
#include <QWidget>

namespace {
constexpr int LineShownMs = 8000;
constexpr int ChangeCheckMs = 5000;
constexpr int AfterChangeMs = 10000;
constexpr int AtStartMs = 3000;
} // namespace

SyncController::SyncController(QWidget* window, Dialogs& dialogs, Settings& settings, const QString& dataFile,
                               DirectorySession& session, std::function<void()> refresh)
    : QObject(window), window_(window), dialogs_(dialogs), settings_(settings), dataFile_(dataFile),
      session_(session), refresh_(std::move(refresh)), passwords_(&dialogs, window) {
    line_ = new QLabel(window);
    line_->setObjectName(QStringLiteral("syncProgress"));
    line_->setAccessibleName(QStringLiteral("同步进度"));
    line_->setAutoFillBackground(true);
    line_->setMargin(3);
    line_->hide();
    window->installEventFilter(this);
    hideLine_.setSingleShot(true);
    connect(&hideLine_, &QTimer::timeout, line_, &QWidget::hide);
    refreshSoon_.setSingleShot(true);
    refreshSoon_.setInterval(300);
    connect(&refreshSoon_, &QTimer::timeout, this, [this] {
        if (refresh_)
            refresh_();
    });
    connect(&job_, &SyncJob::progress, this, &SyncController::showLine);
    connect(&job_, &SyncJob::dataChanged, this, [this] {
        changedInRun_ = true;
        if (!refreshSoon_.isActive())
            refreshSoon_.start();
    });
    connect(&job_, &SyncJob::finished, this, &SyncController::finished);
    connect(&interval_, &QTimer::timeout, this, [this] { start(false); });
    changeCheck_.setInterval(ChangeCheckMs);
    connect(&changeCheck_, &QTimer::timeout, this, &SyncController::checkLocalChanges);
    afterChange_.setSingleShot(true);
    afterChange_.setInterval(AfterChangeMs);
    connect(&afterChange_, &QTimer::timeout, this, [this] { start(false); });
    applyInterval();
    if (syncsettings::interval(settings_) > 0 && syncsettings::load(settings_).isSet())
        QTimer::singleShot(AtStartMs, this, [this] { start(false); });
}

SyncController::~SyncController() {
    stop();
}

void SyncController::stop() {
    interval_.stop();
    changeCheck_.stop();
    afterChange_.stop();
    job_.cancel();
    while (job_.isRunning())
        QThread::msleep(20);
}

void SyncController::applyInterval() {
    const int minutes = syncsettings::interval(settings_);
    if (minutes > 0 && syncsettings::load(settings_).isSet()) {
        interval_.start(minutes * 60 * 1000);
        changeCheck_.start();
    } else {
        interval_.stop();
        changeCheck_.stop();
    }
}

void SyncController::checkLocalChanges() {
    if (!session_.Conn || job_.isRunning() || afterChange_.isActive())
        return;
    if (session_.pendingSyncChanges() > 0)
        afterChange_.start();
}

void SyncController::openSettings() {
    const SyncAccount account = syncsettings::load(settings_);
    QString password;
    if (account.isSet()) {
        if (const std::optional<QString> known = KeyringPasswords::readKeyring(KeyringPasswords::keyOf(account)))
            password = *known;
    }
    SyncSettingsDialog dialog(account, syncsettings::interval(settings_), password, dialogs_, window_);
    connect(&dialog, &SyncSettingsDialog::conflictsRequested, this, [this, &dialog] {
        Q_UNUSED(dialog);
        openConflicts();
    });
    const FocusReturn focus;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SyncAccount chosen = dialog.account();
    syncsettings::save(settings_, chosen);
    syncsettings::setInterval(settings_, dialog.intervalMinutes());
    if (!chosen.user.isEmpty() || !dialog.password().isEmpty()) {
        if (!passwords_.remember(chosen, dialog.password()))
            showLine(QStringLiteral("没有可用的密钥环：密码只在这次运行中记住"));
    }
    applyInterval();
}

void SyncController::syncNow() {
    start(true);
}

void SyncController::start(bool asked) {
    if (job_.isRunning()) {
        if (asked)
            showLine(QStringLiteral("正在同步…"));
        return;
    }
    const SyncAccount account = syncsettings::load(settings_);
    if (!account.isSet()) {
        if (asked)
            dialogs_.show(window_, msg::info(QStringLiteral("还没有设置同步帐户。请先打开“同步设置...”。")));
        return;
    }
    const std::optional<QString> password = passwords_.password(account);
    if (!password)
        return;
    asked_ = asked;
    changedInRun_ = false;
    afterChange_.stop();
    showLine(QStringLiteral("正在同步…"));
    job_.start(dataFile_, account, *password);
    job_.allowMassDeletion = false; // a yes holds for the one run it was given for
}

void SyncController::finished() {
    const SyncReport report = job_.report();
    if (changedInRun_ && refresh_) {
        refreshSoon_.stop();
        refresh_();
    }
    QString line;
    if (!report.error.isEmpty())
        line = QStringLiteral("同步失败：%1（本地的修改留到下次同步）").arg(report.error);
    else
        line = report.text().section(u'\n', 0, 1).replace(u'\n', u' ');
    if (report.conflicts > 0)
        line += QStringLiteral(" 有 %1 处冲突，可在“同步设置...”里查看。").arg(report.conflicts);
    showLine(line);
    if (!report.error.isEmpty() && report.error.contains(QStringLiteral("密码")) && report.otherHost.isEmpty())
        passwords_.forget(syncsettings::load(settings_));
    // The run stopped before writing anything, for the user's yes: it goes again once given.
    if (report.massDeletion > 0 || !report.otherHost.isEmpty()) {
        emit syncFinished();
        if (askToGoOn(report)) {
            job_.waitForEnd(); // its thread says it finished just before it ends
            start(asked_);
        }
        return;
    }
    if (asked_ && !report.ok)
        dialogs_.show(window_, msg::warning(report.text()));
    emit syncFinished();
}

bool SyncController::askToGoOn(const SyncReport& report) {
    if (report.massDeletion > 0) {
        const Message question = msg::confirm(
            QStringLiteral("服务器上的通讯录少了很多名片：这次同步要在本地删除 %1 个联系人（共 %2 个）。\n"
                           "这常常是服务器出了问题或选错了通讯录。同步已停下，什么也没有删除。\n\n"
                           "确实要删除这 %1 个联系人吗？（删除的联系人可以在“最近删除”里找回）")
                .arg(report.massDeletion)
                .arg(report.directorySize));
        if (dialogs_.show(window_, question) != MsgAnswer::Yes)
            return false;
        job_.allowMassDeletion = true;
        return true;
    }
    SyncAccount account = syncsettings::load(settings_);
    const Message question = msg::confirm(otherHostQuestion(report.otherHost, account.url));
    if (dialogs_.show(window_, question) != MsgAnswer::Yes)
        return false;
    account.otherHost = report.otherHost;
    syncsettings::save(settings_, account);
    return true;
}

void SyncController::openConflicts() {
    if (!session_.Conn)
        return;
    const FocusReturn focus;
    ConflictsDialog dialog(session_, dialogs_, window_);
    dialog.exec();
}

void SyncController::showLine(const QString& text) {
    line_->setText(text);
    placeLine();
    line_->show();
    line_->raise();
    hideLine_.start(LineShownMs);
}

void SyncController::placeLine() {
    const int height = line_->sizeHint().height();
    line_->setGeometry(0, window_->height() - height, window_->width(), height);
}

bool SyncController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Resize && line_->isVisible())
        placeLine();
    return QObject::eventFilter(watched, event);
}
