#pragma once
// The command line's answer to SIGTERM, SIGINT and SIGHUP while it writes (an import, a sync): the
// work stops at its next step and its transaction rolls back, the lock is released and the program
// says so and ends, instead of dying in the middle. A second signal ends it at once: SQLite's
// journal rolls back whatever that cuts at the next open.
//
//     StopSignal stop;                       // handlers in place for this scope only
//     importer.runFile(path, options, [](int, int) { return !StopSignal::requested(); });
#include <csignal>

class StopSignal {
public:
    StopSignal();
    ~StopSignal(); // the handlers of before come back
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool requested();
    static int signalNumber();

private:
    struct sigaction before_[3] = {};
};
