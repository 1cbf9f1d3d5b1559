#include "core/store/StopSignal.h"

#include <unistd.h>

namespace {

constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t received = 0;
int depth = 0; // StopSignals alive: the outermost one installs the handlers and puts back the old ones
bool ignoring = false; // the run is over: nothing puts a handler back

extern "C" void onStopSignal(int signal) {
    if (received != 0)
        ::_exit(128 + signal); // asked twice: the journal undoes what this cuts
    received = signal;
}

} // namespace

StopSignal::StopSignal() {
    // A signal that came to an outer one still counts for the work of this one.
    if (depth++ > 0)
        return;
    received = 0;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &action, &before_[i]);
}

StopSignal::~StopSignal() {
    if (--depth > 0 || ignoring)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &before_[i], nullptr);
}

bool StopSignal::requested() {
    return received != 0;
}

int StopSignal::signalNumber() {
    return received;
}

namespace {
void mask(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Handled)
        sigaddset(&set, signal);
    ::sigprocmask(how, &set, nullptr);
}
} // namespace

void StopSignal::holdSignals() {
    mask(SIG_BLOCK);
}

void StopSignal::releaseSignals() {
    mask(SIG_UNBLOCK);
}

void StopSignal::ignoreFromNowOn() {
    // A disposition, not a mask: a mask holds for one thread only, and a thread of Qt's (the
    // network's, the session bus's) would take the signal with the default action and die.
    ignoring = true;
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    for (const int signal : Handled)
        ::sigaction(signal, &action, nullptr);
}

bool StopSignal::ignoringFromNowOn() {
    return ignoring;
}
