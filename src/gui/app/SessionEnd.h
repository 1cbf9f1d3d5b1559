#pragma once
// SIGTERM (a logout, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the terminal closed) end
// the program through the same close step as the exit command: settings written, the data file
// released, the backup refreshed. The handler only writes the signal's number into a socket pair;
// the event loop reads it and closes the windows in order.
#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

class SessionEnd : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for the whole process; one object at a time.
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;

    // The window whose close step ends the run; until it is set, a signal only cancels the dialog
    // open at the time, so that start-up stops.
    void setMainWindow(QWidget* window);
    // True once a signal has asked the program to end.
    bool requested() const { return signal_ != 0; }
    int signalNumber() const { return signal_; }

private:
    void readSignal();
    void closeStep();

    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> window_;
    int signal_ = 0;
    int rounds_ = 0;
};
