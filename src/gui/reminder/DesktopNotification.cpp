#include "gui/reminder/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

// Named apart from the other files' D-Bus names: the library compiles its files in batches.
namespace {
const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString NotificationsInterface = QStringLiteral("org.freedesktop.Notifications");
const QString DefaultAction = QStringLiteral("default");
} // namespace

DesktopNotification::DesktopNotification(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
    bus_.connect(NotificationsService, NotificationsPath, NotificationsInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
    bus_.connect(NotificationsService, NotificationsPath, NotificationsInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

bool DesktopNotification::show(const QString& summary, const QString& body, QString* error) {
    if (!bus_.isConnected()) {
        *error = QStringLiteral("没有连接到桌面会话总线");
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath, NotificationsInterface, QStringLiteral("Notify"));
    // The body may be read as markup by the service: a name is text, never a link or a tag.
    call << QStringLiteral("zinteva") << uint(0) << QStringLiteral("x-office-address-book") << summary
         << body.toHtmlEscaped() << QStringList{DefaultAction, QStringLiteral("查看")} << QVariantMap{} << int(-1);
    const QDBusReply<uint> reply = bus_.call(call, QDBus::Block, 10000);
    if (!reply.isValid()) {
        *error = reply.error().message().isEmpty() ? QStringLiteral("通知服务没有回答") : reply.error().message();
        return false;
    }
    id_ = reply.value();
    return true;
}

bool DesktopNotification::waitForClick(int timeoutMs) {
    if (id_ == 0)
        return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (outcome_ == Outcome::Waiting) {
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    return outcome_ == Outcome::Clicked;
}

void DesktopNotification::onActionInvoked(uint id, const QString& action) {
    if (id != id_ || id_ == 0 || action != DefaultAction || outcome_ != Outcome::Waiting)
        return;
    outcome_ = Outcome::Clicked;
    if (loop_)
        loop_->quit();
}

void DesktopNotification::onClosed(uint id, uint) {
    if (id != id_ || id_ == 0 || outcome_ != Outcome::Waiting)
        return;
    outcome_ = Outcome::Closed;
    if (loop_)
        loop_->quit();
}

QString notificationBody(const BirthdayReport& report) {
    QStringList lines;
    for (QString line : report.lines())
        lines << line.replace(u'\t', QStringLiteral("  "));
    return lines.join(u'\n');
}

bool notifyReminder(const BirthdayReport& report, QString* error, int waitMs) {
    DesktopNotification notification(QDBusConnection::sessionBus());
    if (!notification.show(report.summary(), notificationBody(report), error))
        return false;
    if (notification.waitForClick(waitMs))
        QProcess::startDetached(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ShowReminderArgument)});
    return true;
}
