#pragma once
// SIGTERM (a logout, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the terminal closed) end
// the program through the same close step as the exit command: settings written, the data file
// released, the backup refreshed. The handler only writes the signal's number into a socket pair;
// the event loop reads it and closes the windows in order.
//
// A write that lets events through while it works (an import showing its progress) is never cut:
// the close step cancels the dialog that shows it and waits until the write has finished or rolled
// back (WriteScope). A second signal while the program is closing ends it at once: the data file's
// journal rolls back a transaction cut that way at the next open, and the backup is only ever
// replaced by a renamed, checked copy.
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
    // open at the time, so that start-up stops. A signal that came before it is set closes it then.
    void setMainWindow(QWidget* window);
    // True once a signal has asked the program to end.
    bool requested() const { return signal_ != 0; }
    int signalNumber() const { return signal_; }

    // Held for as long as a write on the window's connection may process events: the close step
    // waits for the last one to go. Nests; harmless without a SessionEnd.
    class WriteScope {
    public:
        WriteScope();
        ~WriteScope();
        WriteScope(const WriteScope&) = delete;
        WriteScope& operator=(const WriteScope&) = delete;
    };
    // How many writes are under way now.
    static int writesUnderWay();

private:
    void readSignal();
    void closeStep();

    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> window_;
    int signal_ = 0;
    int rounds_ = 0;
    bool closing_ = false;
};
