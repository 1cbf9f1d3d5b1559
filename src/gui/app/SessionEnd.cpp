#include "gui/app/SessionEnd.h"

#include <QApplication>
#include <QDialog>
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

extern "C" void onSignal(int signal) {
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

SessionEnd::SessionEnd(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return; // the signals keep their default action: the program ends as it did before
    }
    notifier_ = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SessionEnd::readSignal);
    setHandler(onSignal);
}

SessionEnd::~SessionEnd() {
    if (pipeFds[0] < 0)
        return;
    setHandler(SIG_DFL);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SessionEnd::setMainWindow(QWidget* window) {
    window_ = window;
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
    // A dialog open now (a form, a question, a file chooser) is cancelled first, so that the code
    // that opened it returns before the window releases the data file; then the window closes.
    // A dialog that will not go away does not keep the close step from running for long.
    constexpr int MostRounds = 50;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && ++rounds_ <= MostRounds) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(10, this, &SessionEnd::closeStep);
        return;
    }
    const QWidgetList popups = QApplication::topLevelWidgets();
    for (QWidget* widget : popups) {
        if (widget->isVisible() && widget != window_ && widget->isWindow() && widget->windowType() == Qt::Popup)
            widget->close();
    }
    if (window_) {
        window_->close();
        QApplication::quit();
    }
}
