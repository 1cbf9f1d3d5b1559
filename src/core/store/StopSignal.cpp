#include "core/store/StopSignal.h"

#include <unistd.h>

namespace {

constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t received = 0;

extern "C" void onStopSignal(int signal) {
    if (received != 0)
        ::_exit(128 + signal); // asked twice: the journal undoes what this cuts
    received = signal;
}

} // namespace

StopSignal::StopSignal() {
    received = 0;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &action, &before_[i]);
}

StopSignal::~StopSignal() {
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &before_[i], nullptr);
}

bool StopSignal::requested() {
    return received != 0;
}

int StopSignal::signalNumber() {
    return received;
}
