#include "gui/reminder/RunningWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <sys/stat.h>

namespace {
const QString ObjectPath = QStringLiteral("/Window");
const QString Interface = QStringLiteral("org.example.zinteva.Window");
} // namespace

QString runningWindowService(const QString& dataFolder) {
    struct stat status {};
    if (::stat(QFile::encodeName(dataFolder).constData(), &status) != 0)
        return {};
    return QStringLiteral("org.example.zinteva.d%1_i%2")
        .arg(static_cast<qulonglong>(status.st_dev))
        .arg(static_cast<qulonglong>(status.st_ino));
}

RunningWindow::RunningWindow(QWidget& window, std::function<void()> showReminder, const QString& dataFolder,
                             QDBusConnection bus)
    : window_(window), showReminder_(std::move(showReminder)), bus_(bus), service_(runningWindowService(dataFolder)) {
    if (service_.isEmpty() || !bus_.isConnected())
        return;
    if (!bus_.registerObject(ObjectPath, this, QDBusConnection::ExportScriptableSlots) ||
        !bus_.registerService(service_))
        service_.clear();
}

RunningWindow::~RunningWindow() {
    if (service_.isEmpty())
        return;
    bus_.unregisterService(service_);
    bus_.unregisterObject(ObjectPath);
}

void RunningWindow::ShowReminder() {
    if (window_.isMinimized())
        window_.showNormal();
    window_.raise();
    window_.activateWindow();
    // A form or message the user is in keeps the window; it is brought forward instead. So is the
    // reminder itself: calls that come while it is on its way or showing raise that one, never a
    // second box over it (ten clicks on the notification, ten calls at once).
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    if (reminderPending_)
        return;
    reminderPending_ = true;
    // Queued: the reminder's message waits for the user, and the caller waits for this answer.
    QTimer::singleShot(0, this, [this] {
        const QPointer<RunningWindow> self(this); // the program may end while the reminder shows
        showReminder_();
        if (self)
            reminderPending_ = false;
    });
}

bool RunningWindow::showReminderIn(const QString& dataFolder, QDBusConnection bus) {
    const QString service = runningWindowService(dataFolder);
    if (service.isEmpty() || !bus.isConnected())
        return false;
    const QDBusMessage call = QDBusMessage::createMethodCall(service, ObjectPath, Interface, QStringLiteral("ShowReminder"));
    // An absent window is an error at once; a window that took it answers when its reminder is shown.
    return bus.call(call, QDBus::BlockWithGui, 5000).type() == QDBusMessage::ReplyMessage;
}
