#include "gui/app/SessionEnd.h"

#include "core/store/StopSignal.h"

#include <QApplication>
#include <QDialog>
#include <QProgressDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1}; // [0] written by the handler, [1] read by the event loop
constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t received = 0; // the first signal's number, 0 before it
int writes = 0;                         // WriteScopes alive (the window's thread only)
SessionEnd* current = nullptr;

extern "C" void onSignal(int signal) {
    // A second signal: whoever sent it will not wait for the close step. Nothing is harmed by ending
    // here: a transaction cut this way is rolled back from its journal at the next open, and the
    // backup is only ever replaced by a finished, checked copy renamed over it.
    if (received != 0)
        ::_exit(128 + signal);
    received = signal;
    const int saved = errno;
    const char number = static_cast<char>(signal);
    // Nothing else is safe here; a full socket only means an end is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[0], &number, 1);
    errno = saved;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : HandledSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

SessionEnd::WriteScope::WriteScope() {
    ++writes;
}

SessionEnd::WriteScope::~WriteScope() {
    // The last write is over: a close step that waited for it goes on, from the event loop.
    if (--writes == 0 && current && current->requested())
        QTimer::singleShot(0, current, &SessionEnd::closeStep);
}

int SessionEnd::writesUnderWay() {
    return writes;
}

SessionEnd::SessionEnd(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        StopSignal::releaseSignals();
        return; // the signals keep their default action: the program ends as it did before
    }
    notifier_ = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SessionEnd::readSignal);
    received = 0;
    current = this;
    setHandler(onSignal);
    // A signal that came after the command line's handlers went (main holds them) reaches these now.
    StopSignal::releaseSignals();
}

SessionEnd::~SessionEnd() {
    if (current == this)
        current = nullptr;
    if (pipeFds[0] < 0)
        return;
    setHandler(StopSignal::ignoringFromNowOn() ? SIG_IGN : SIG_DFL);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SessionEnd::setMainWindow(QWidget* window) {
    window_ = window;
    // A signal during start-up cancelled the dialog of the time; the window it then had no window
    // to close is closed as soon as the event loop runs.
    if (window_ && requested())
        QTimer::singleShot(0, this, &SessionEnd::closeStep);
}

void SessionEnd::readSignal() {
    char number = 0;
    while (::read(pipeFds[1], &number, 1) == 1) {
        if (signal_ == 0)
            signal_ = number;
    }
    closeStep();
}

void SessionEnd::closeStep() {
    // A dialog open now (a form, a question, a file chooser, the progress of an import) is cancelled
    // first, so that the code that opened it returns before the window releases the data file; then
    // the window closes. A dialog that will not go away does not keep the close step from running
    // for long, unless a write is under way: that is always waited for.
    constexpr int MostRounds = 50;
    if (closing_)
        return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && (writes > 0 || ++rounds_ <= MostRounds)) {
        if (auto* progress = qobject_cast<QProgressDialog*>(modal))
            progress->cancel(); // the write behind it stops at its next step and rolls back
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(10, this, &SessionEnd::closeStep);
        return;
    }
    if (writes > 0)
        return; // the write's end calls again (WriteScope)
    const QWidgetList popups = QApplication::topLevelWidgets();
    for (QWidget* widget : popups) {
        if (widget->isVisible() && widget != window_ && widget->isWindow() && widget->windowType() == Qt::Popup)
            widget->close();
    }
    if (window_) {
        closing_ = true;
        window_->close();
        QApplication::quit();
    }
}
