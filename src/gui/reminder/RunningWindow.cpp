#include "gui/reminder/RunningWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
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
    // A form or message the user is in keeps the window; it is brought forward instead.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    // Queued: the reminder's message waits for the user, and the caller waits for this answer.
    QTimer::singleShot(0, &window_, showReminder_);
}

bool RunningWindow::showReminderIn(const QString& dataFolder, QDBusConnection bus) {
    const QString service = runningWindowService(dataFolder);
    if (service.isEmpty() || !bus.isConnected())
        return false;
    const QDBusMessage call = QDBusMessage::createMethodCall(service, ObjectPath, Interface, QStringLiteral("ShowReminder"));
    // An absent window is an error at once; a window that took it answers when its reminder is shown.
    return bus.call(call, QDBus::BlockWithGui, 5000).type() == QDBusMessage::ReplyMessage;
}
