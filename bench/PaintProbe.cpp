#include "PaintProbe.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string temporaryName(const char* what) {
    char name[] = "/tmp/zinteva-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    return std::string(name) + "." + what;
}

long readPeak(const std::string& file) {
    std::ifstream in(file);
    long kb = -1;
    std::string line;
    while (std::getline(in, line)) {
        // /usr/bin/time -f %M writes the peak alone on the last line.
        char* end = nullptr;
        const long value = std::strtol(line.c_str(), &end, 10);
        if (end != line.c_str() && *end == '\0')
            kb = value;
    }
    std::remove(file.c_str());
    std::remove(file.substr(0, file.rfind('.')).c_str());
    return kb;
}

// fork + exec under /usr/bin/time; stdout to outFile (or /dev/null), stderr kept.
pid_t start(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
            const std::string& peakFile, const std::string& outFile) {
    std::vector<std::string> full{"/usr/bin/time", "-f", "%M", "-o", peakFile};
    full.insert(full.end(), command.begin(), command.end());
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    for (const auto& [key, value] : environment)
        setenv(key.c_str(), value.c_str(), 1);
    const int out = open(outFile.empty() ? "/dev/null" : outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
        dup2(out, 1);
        close(out);
    }
    if (!getenv("ZINTEVA_BENCH_DETAIL")) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 2);
        close(quiet);
    }
    std::vector<char*> argv;
    for (std::string& word : full)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

bool waitFor(pid_t pid, double timeoutMs, int* status) {
    const auto begin = Clock::now();
    while (msBetween(begin, Clock::now()) < timeoutMs) {
        if (waitpid(pid, status, WNOHANG) == pid)
            return true;
        usleep(2000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return false;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

} // namespace

PaintTimes probeStartup(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                        double quietMs, double timeoutMs) {
    PaintTimes result;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    for (int attempt = 0; attempt < 20 && xcb_connection_has_error(c); ++attempt) {
        // A loaded X server can refuse a connection for a moment.
        xcb_disconnect(c);
        usleep(50000);
        c = xcb_connect(nullptr, nullptr);
    }
    if (xcb_connection_has_error(c)) {
        result.problem = "no X display";
        xcb_disconnect(c);
        return result;
    }
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(c, xcb_disconnect);
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) {
        result.problem = "the X server has no Damage extension";
        return result;
    }
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(c, "WM_DELETE_WINDOW");
    xcb_flush(c);

    const std::string peakFile = temporaryName("peak");
    const auto begin = Clock::now();
    const pid_t pid = start(command, environment, peakFile, {});
    if (pid < 0) {
        result.problem = "fork failed";
        return result;
    }

    std::set<xcb_window_t> windows; // every top-level window created since the start
    xcb_window_t first = XCB_WINDOW_NONE;
    Clock::time_point last;
    bool exited = false;
    int status = 0;
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (true) {
        const double now = msBetween(begin, Clock::now());
        if (now > timeoutMs) {
            result.problem = "timed out";
            break;
        }
        if (result.firstPaint >= 0 && msBetween(last, Clock::now()) >= quietMs)
            break;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            result.problem = "the program ended before it fell quiet";
            break;
        }
        poll(&fd, 1, 5);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto when = Clock::now();
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
                if (created->parent == root && windows.insert(created->window).second) {
                    // Made before the window is mapped, so no drawing into it can be missed; an
                    // input-only window refuses it, which is harmless.
                    xcb_damage_create(c, xcb_generate_id(c), created->window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                    xcb_flush(c);
                }
            } else if (type == XCB_MAP_NOTIFY) {
                auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (first == XCB_WINDOW_NONE && windows.count(mapped->window)) {
                    first = mapped->window;
                    result.mapped = msBetween(begin, when);
                }
            } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY) {
                auto* damaged = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                if (first != XCB_WINDOW_NONE && windows.count(damaged->drawable)) {
                    if (result.firstPaint < 0 && damaged->drawable == first)
                        result.firstPaint = msBetween(begin, when);
                    if (result.firstPaint >= 0) {
                        result.lastPaint = msBetween(begin, when);
                        last = when;
                    }
                }
            }
            std::free(event);
        }
    }
    if (!exited) {
        // Closed as a window manager closes a window, so the program takes its orderly way out.
        if (first != XCB_WINDOW_NONE) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = first;
            message.type = protocols;
            message.data.data32[0] = deleteWindow;
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c, 0, first, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
            xcb_flush(c);
        }
        if (!waitFor(pid, 60000, &status) && result.problem.empty())
            result.problem = "the program did not end when its window was closed";
    }
    result.peakKb = readPeak(peakFile);
    result.ok = result.problem.empty() && result.firstPaint >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (result.problem.empty() && !result.ok)
        result.problem = "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return result;
}

RunTimes runTimed(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                  const std::string& outFile) {
    RunTimes result;
    const std::string peakFile = temporaryName("peak");
    const auto begin = Clock::now();
    const pid_t pid = start(command, environment, peakFile, outFile);
    int status = 0;
    if (pid < 0)
        return result;
    const bool ended = waitFor(pid, 30 * 60 * 1000.0, &status);
    result.ms = msBetween(begin, Clock::now());
    result.peakKb = readPeak(peakFile);
    result.ok = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}
