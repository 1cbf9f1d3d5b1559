#pragma once
// The window that has a data folder open answers on the user's session bus, so that a click on the
// reminder's notification shows the reminder in that window: a second copy would only be refused,
// since one window at a time works on a data file.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

class RunningWindow : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.zinteva.Window")
public:
    // Answers for the data folder until destroyed: brings the window forward and runs showReminder.
    // Nothing happens where no session bus runs.
    RunningWindow(QWidget& window, std::function<void()> showReminder, const QString& dataFolder,
                  QDBusConnection bus = QDBusConnection::sessionBus());
    ~RunningWindow() override;

    // The caller's side: true when a window on that folder took the request.
    static bool showReminderIn(const QString& dataFolder, QDBusConnection bus = QDBusConnection::sessionBus());

public slots:
    Q_SCRIPTABLE void ShowReminder();

private:
    QWidget& window_;
    std::function<void()> showReminder_;
    QDBusConnection bus_;
    QString service_;
    bool reminderPending_ = false; // queued or showing: a further call raises it instead
};

// The bus name for a data folder, after its identity (device and inode), so that every path that
// leads to one folder (a symlink, a bind mount) finds the same window. Empty when it does not exist.
QString runningWindowService(const QString& dataFolder);
