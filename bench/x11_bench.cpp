// The tool in its X11 window, on an X server of its own (Xvfb): how long from
// exec to the window being mapped, how long from the card's change of code to
// the field showing it, and how often the main thread wakes while nothing
// changes.
//   x11_bench [--json FILE]
// The field's text is published as its window's WM_NAME once it has been
// drawn, so the PropertyNotify of that name marks the repaint. The simulated
// card counts its script from OpenCard, which its call log records as it
// happens; the bench takes that moment from the log with inotify, a fraction
// of a millisecond after the card took it, so the shortest latency may come
// out just below zero.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PrivateXServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kLaunches = 10;
const int kChanges = 240;
const int kFirstChangeMs = 1000;
const int kChangeEveryMs = 50;
const int kIdleSeconds = 10;

double MsSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct CStats
{
    double dMin, dMedian, dP99, dMax;
};

CStats Summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {0, 0, 0, 0};
    const size_t n = values.size();
    return {values.front(), values[n / 2], values[std::min(n - 1, n * 99 / 100)], values.back()};
}

class CServer
{
public:
    CServer() : m_server(rmtest::StartPrivateXvfb())
    {
        if (!m_server.name.empty())
            m_pX = XOpenDisplay(m_server.name.c_str());
        if (m_pX != nullptr)
            XSelectInput(m_pX, DefaultRootWindow(m_pX), SubstructureNotifyMask);
    }
    ~CServer()
    {
        if (m_pX != nullptr)
            XCloseDisplay(m_pX);
        rmtest::StopPrivateXvfb(m_server);
    }

    ::Display* X() const { return m_pX; }
    const std::string& Name() const { return m_server.name; }

private:
    rmtest::CPrivateXvfb m_server;
    ::Display* m_pX = nullptr;
};

pid_t Launch(const std::string& exe, const std::string& display, const std::string& script, const std::string& log)
{
    const pid_t pid = fork();
    if (pid == 0)
    {
        int fdNull = open("/dev/null", O_RDWR);
        dup2(fdNull, STDIN_FILENO);
        dup2(fdNull, STDOUT_FILENO);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("REMOTEMONITOR_DISPLAY", "x11", 1);
        setenv("TAVRIXRC_SIM_SCRIPT", script.c_str(), 1);
        setenv("TAVRIXRC_SIM_LOG", log.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void End(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Waits for the next top-level window to be mapped; 0 after 10 s.
Window WaitForMap(::Display* pX)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline)
    {
        while (XPending(pX) > 0)
        {
            XEvent event;
            XNextEvent(pX, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(pX))
                return event.xmap.window;
        }
        struct pollfd fd = {ConnectionNumber(pX), POLLIN, 0};
        poll(&fd, 1, 100);
    }
    return 0;
}

std::vector<double> MeasureLaunches(const CServer& server, const std::string& exe, const std::string& dir)
{
    std::vector<double> times;
    std::ofstream(dir + "/silent.script") << "# no key\n";
    for (int i = 0; i < kLaunches; ++i)
    {
        const auto start = Clock::now();
        const pid_t pid = Launch(exe, server.Name(), dir + "/silent.script", dir + "/launch.log");
        if (WaitForMap(server.X()) != 0)
            times.push_back(MsSince(start, Clock::now()));
        End(pid);
    }
    return times;
}

// The moment the log's OpenCard line is written, by the steady clock.
bool WaitForOpenCard(int nInotify, const std::string& log, Clock::time_point* pWhen)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline)
    {
        struct pollfd fd = {nInotify, POLLIN, 0};
        if (poll(&fd, 1, 100) > 0)
        {
            const auto when = Clock::now();
            char buffer[4096];
            while (read(nInotify, buffer, sizeof buffer) > 0)
            {
            }
            if (ReadFile(log).find("OpenCard(0) -> 1") != std::string::npos)
            {
                *pWhen = when;
                return true;
            }
        }
    }
    return false;
}

std::vector<double> MeasureLatency(const CServer& server, const std::string& exe, const std::string& dir)
{
    std::vector<double> latencies;
    const std::string script = dir + "/changes.script";
    const std::string log = dir + "/latency.log";
    {
        std::ofstream out(script);
        for (int k = 0; k < kChanges; ++k)
            out << kFirstChangeMs + k * kChangeEveryMs << " " << (k + 1) << "\n";
    }
    std::ofstream(log).close();
    const int nInotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(nInotify, log.c_str(), IN_MODIFY);
    const pid_t pid = Launch(exe, server.Name(), script, log);
    Clock::time_point opened;
    const bool bOpened = WaitForOpenCard(nInotify, log, &opened);
    close(nInotify);
    const Window top = WaitForMap(server.X());
    Window root = 0, parent = 0;
    Window* pChildren = nullptr;
    unsigned int nChildren = 0;
    if (!bOpened || top == 0 || !XQueryTree(server.X(), top, &root, &parent, &pChildren, &nChildren) || nChildren < 3)
    {
        End(pid);
        return latencies;
    }
    const Window field = pChildren[2];  // the code field, third in creation order
    XFree(pChildren);
    XSelectInput(server.X(), field, PropertyChangeMask);
    XFlush(server.X());

    const auto deadline = opened + std::chrono::milliseconds(kFirstChangeMs + kChanges * kChangeEveryMs + 2000);
    int nLastSeen = 0;
    while (nLastSeen < kChanges && Clock::now() < deadline)
    {
        struct pollfd fd = {ConnectionNumber(server.X()), POLLIN, 0};
        if (XPending(server.X()) == 0)
            poll(&fd, 1, 100);
        while (XPending(server.X()) > 0)
        {
            XEvent event;
            XNextEvent(server.X(), &event);
            if (event.type != PropertyNotify || event.xproperty.window != field || event.xproperty.atom != XA_WM_NAME)
                continue;
            const auto when = Clock::now();
            char* pszName = nullptr;
            if (!XFetchName(server.X(), field, &pszName) || pszName == nullptr)
                continue;
            const int nCode = std::atoi(pszName);
            XFree(pszName);
            if (nCode < 1 || nCode > kChanges || nCode <= nLastSeen)
                continue;
            nLastSeen = nCode;
            const auto changed = opened + std::chrono::milliseconds(kFirstChangeMs + (nCode - 1) * kChangeEveryMs);
            latencies.push_back(MsSince(changed, when));
        }
    }
    End(pid);
    return latencies;
}

long ContextSwitches(pid_t pid)
{
    long nTotal = 0;
    std::stringstream status(ReadFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
    {
        if (line.find("ctxt_switches:") != std::string::npos)
            nTotal += std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return nTotal;
}

double MeasureIdleWakeups(const CServer& server, const std::string& exe, const std::string& dir)
{
    const pid_t pid = Launch(exe, server.Name(), dir + "/silent.script", dir + "/idle.log");
    if (WaitForMap(server.X()) == 0)
    {
        End(pid);
        return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long nBefore = ContextSwitches(pid);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const long nAfter = ContextSwitches(pid);
    End(pid);
    return static_cast<double>(nAfter - nBefore) / kIdleSeconds;
}

std::string Here()
{
    char szPath[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    std::string path(szPath, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

}  // namespace

int main(int argc, char** argv)
{
    const char* pszJson = nullptr;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--json") == 0 && i + 1 < argc)
        {
            pszJson = argv[++i];
        }
        else
        {
            std::fprintf(stderr, "usage: x11_bench [--json FILE]\n");
            return 2;
        }
    }
    const std::string exe = Here() + "/" RM_EXE_FROM_BENCH;
    if (access(exe.c_str(), X_OK) != 0)
    {
        std::fprintf(stderr, "x11_bench: %s is missing: build the preset first\n", exe.c_str());
        return 1;
    }
    CServer server;
    if (server.X() == nullptr)
    {
        std::fprintf(stderr, "x11_bench: no X server could be started (is Xvfb installed?)\n");
        return 1;
    }
    char szDir[] = "/tmp/rm-x11-bench-XXXXXX";
    const std::string dir = mkdtemp(szDir);

    const CStats launch = Summarize(MeasureLaunches(server, exe, dir));
    const std::vector<double> latencies = MeasureLatency(server, exe, dir);
    const CStats latency = Summarize(latencies);
    const double dIdle = MeasureIdleWakeups(server, exe, dir);
    std::system(("rm -rf '" + dir + "'").c_str());

    std::printf("RemoteMonitor in an X11 window (Xvfb, no window manager)\n\n");
    std::printf("%-44s %8s %8s %8s %8s\n", "", "min", "median", "p99", "max");
    std::printf("%-44s %8.1f %8.1f %8.1f %8.1f  ms (%d runs)\n", "exec to window mapped", launch.dMin, launch.dMedian,
                launch.dP99, launch.dMax, kLaunches);
    std::printf("%-44s %8.1f %8.1f %8.1f %8.1f  ms (%zu of %d changes)\n", "card's change to field repainted",
                latency.dMin, latency.dMedian, latency.dP99, latency.dMax, latencies.size(), kChanges);
    std::printf("%-44s %8.1f %8.1f %8s %8.1f  ms\n", "  of which the 20 ms poll alone (floor)", 0.0, 10.0, "", 20.0);
    std::printf("%-44s %8.2f  per second over %d s with no change\n", "main thread wake-ups", dIdle, kIdleSeconds);

    if (pszJson != nullptr)
    {
        FILE* pFile = std::fopen(pszJson, "w");
        if (pFile == nullptr)
        {
            std::fprintf(stderr, "x11_bench: cannot write %s\n", pszJson);
            return 1;
        }
        std::fprintf(pFile,
                     "{\n  \"exec_to_mapped_ms\": {\"runs\": %d, \"min\": %.2f, \"median\": %.2f, \"max\": %.2f},\n"
                     "  \"change_to_repaint_ms\": {\"changes\": %zu, \"min\": %.2f, \"median\": %.2f, \"p99\": %.2f, "
                     "\"max\": %.2f, \"poll_floor_max\": 20},\n"
                     "  \"idle_main_thread_wakeups_per_s\": %.2f\n}\n",
                     kLaunches, launch.dMin, launch.dMedian, launch.dMax, latencies.size(), latency.dMin,
                     latency.dMedian, latency.dP99, latency.dMax, dIdle);
        std::fclose(pFile);
    }
    return 0;
}
