#pragma once
// The command line's answer to SIGTERM, SIGINT and SIGHUP while it writes (an import, a sync): the
// work stops at its next step and its transaction rolls back, the lock is released and the program
// says so and ends, instead of dying in the middle. A second signal ends it at once: SQLite's
// journal rolls back whatever that cuts at the next open.
//
// They nest: the program holds one for its whole command line, from before anything is read, and each
// writing mode holds its own (in the tests the mode's own is the only one). Only the outermost puts
// the handlers in place and takes them away again.
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
    // Between two owners of the signals, while the process has one thread: one that comes meanwhile
    // waits, instead of killing it while no handler is in place. The next owner releases them once
    // its handlers are in place, and a signal that waited then reaches them.
    static void holdSignals();
    static void releaseSignals();
    // The run is over (a command's work done, the window's close step done): a signal from now on
    // has nothing left to stop and is ignored while the process ends, by every thread; no handler
    // is put back after this.
    static void ignoreFromNowOn();
    static bool ignoringFromNowOn();

private:
    struct sigaction before_[3] = {};
};
