#pragma once
// The reminder as a desktop notification: the freedesktop notification service
// (org.freedesktop.Notifications) on the session bus. Clicking the notification opens the program
// on the reminder list.
#include "core/rules/BirthdayReport.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QEventLoop;

class DesktopNotification : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotification(const QDBusConnection& bus, QObject* parent = nullptr);

    // Shows the notification; false with a reason when the service does not answer.
    bool show(const QString& summary, const QString& body, QString* error);
    // Waits until the user clicks the notification (true) or it is closed or the time is up
    // (false). A notification that was never shown is never clicked.
    bool waitForClick(int timeoutMs);
    uint id() const { return id_; }

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    uint id_ = 0;
    enum class Outcome { Waiting, Clicked, Closed } outcome_ = Outcome::Waiting;
    QEventLoop* loop_ = nullptr;
};

// The notification's texts for a report: the reminder's own summary, and one line per person.
QString notificationBody(const BirthdayReport& report);

// What `zinteva --remind` does with its report on the user's session bus: shows it and, when it is
// clicked, starts the program on the reminder list. The wait ends when the notification is closed,
// at the latest after waitMs.
bool notifyReminder(const BirthdayReport& report, QString* error, int waitMs = 12 * 60 * 60 * 1000);

// The argument that opens the program on the reminder list.
inline constexpr const char* ShowReminderArgument = "--show-reminder";
