#pragma once
// Start-up as a user sees it, measured from outside the program: a separate process is started and
// the X server reports, through its Damage extension, when the process's window is first drawn
// into. Nothing in the measured program knows it is being timed.
#include <map>
#include <string>
#include <vector>

struct PaintTimes {
    bool ok = false;
    std::string problem;
    double mapped = -1;     // ms from the start of the process to its first window being mapped
    double firstPaint = -1; // ... to the first drawing into that window
    double lastPaint = -1;  // ... to the last drawing into any of its windows before they fell quiet
    long peakKb = -1;       // the whole process's peak resident memory (from /usr/bin/time)
};

// Starts command (argv[0] a path) under /usr/bin/time with the extra environment, waits until its
// windows have drawn nothing for quietMs, then asks its first window to close (WM_DELETE_WINDOW,
// as a window manager would) and waits for an orderly exit. DISPLAY must name an X server.
PaintTimes probeStartup(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                        double quietMs = 400, double timeoutMs = 180000);

// Runs a command to its end under /usr/bin/time: wall time in ms and peak memory; stdout to outFile
// when given. ok is false when it could not start or exited non-zero.
struct RunTimes {
    bool ok = false;
    double ms = -1;
    long peakKb = -1;
};
RunTimes runTimed(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                  const std::string& outFile = {});
