#include "display/EndRequests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace rmwin32 {
namespace {

const int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// Signals that mean the process has gone wrong: it cannot go on, but the
// terminal is given back before the default action (and its core dump).
const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

int g_signalPipe[2] = {-1, -1};
// The same end requests again, for a watcher on another thread: the dialog
// thread's reads of the first pipe must not hide a request from it.
int g_watchPipe[2] = {-1, -1};
RestoreScreenFn volatile g_pfnRestoreScreen = nullptr;
// What was installed before us, so that a fatal signal still reaches it.
struct sigaction g_previousFatal[NSIG];

void RestoreScreen()
{
    if (RestoreScreenFn pfnRestore = g_pfnRestoreScreen)
        pfnRestore();
}

void WriteToPipe(const int (&fds)[2], unsigned char byte)
{
    if (fds[1] >= 0)
    {
        ssize_t nWritten = write(fds[1], &byte, 1);
        (void)nWritten;  // a full pipe already holds a wake-up
    }
}

void WriteRequest(unsigned char byte)
{
    WriteToPipe(g_signalPipe, byte);
    if (byte != SIGWINCH)
        WriteToPipe(g_watchPipe, byte);
}

void OnSignal(int nSignal)
{
    const int nSavedErrno = errno;
    WriteRequest(static_cast<unsigned char>(nSignal));
    errno = nSavedErrno;
}

void OnFatalSignal(int nSignal)
{
    RestoreScreen();
    sigaction(nSignal, &g_previousFatal[nSignal], nullptr);
    raise(nSignal);
}

void OnShutDownOverdue(int)
{
    RestoreScreen();
    static const char kMessage[] = "RemoteMonitor: the driver library did not finish shutting down in time; "
                                   "giving up on it.\n";
    ssize_t nWritten = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)nWritten;
    _exit(EXIT_FAILURE);
}

void Install(int nSignal, void (*pfnHandler)(int), int nFlags, struct sigaction* pPrevious = nullptr)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = pfnHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = nFlags;
    sigaction(nSignal, &sa, pPrevious);
}

bool MakePipe(int (&fds)[2])
{
    if (pipe(fds) != 0)
        return false;
    for (int fd : fds)
    {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return true;
}

}  // namespace

// Installed before any screen library starts, so that it leaves these
// signals to us.
void InstallEndRequestHandlers()
{
    if (g_signalPipe[0] >= 0 || !MakePipe(g_signalPipe))
        return;
    MakePipe(g_watchPipe);
    for (int nSignal : kEndSignals)
        Install(nSignal, OnSignal, SA_RESTART);
    Install(SIGWINCH, OnSignal, SA_RESTART);
    // A reader that goes away is an end request (see RequestEnd), not a
    // death that would skip the driver's shut-down.
    signal(SIGPIPE, SIG_IGN);
    for (int nSignal : kFatalSignals)
        Install(nSignal, OnFatalSignal, SA_RESETHAND | SA_NODEFER, &g_previousFatal[nSignal]);
}

int EndRequestFd()
{
    return g_signalPipe[0];
}

int EndRequestWatchFd()
{
    return g_watchPipe[0];
}

CEndRequests ReadEndRequests()
{
    CEndRequests requests;
    if (g_signalPipe[0] < 0)
        return requests;
    unsigned char buffer[64];
    ssize_t nRead;
    while ((nRead = read(g_signalPipe[0], buffer, sizeof buffer)) > 0)
    {
        for (ssize_t i = 0; i < nRead; ++i)
        {
            if (buffer[i] == SIGWINCH)
                requests.bResized = true;
            else
                ++requests.nEnds;
        }
    }
    return requests;
}

void RequestEnd()
{
    WriteRequest(static_cast<unsigned char>(SIGTERM));
}

void SetRestoreScreen(RestoreScreenFn fn)
{
    g_pfnRestoreScreen = fn;
}

void CatchEndRequests()
{
    InstallEndRequestHandlers();
}

void BoundShutDown(unsigned int nSeconds)
{
    // Requests to end change nothing from here on: the shut-down is already
    // under way, and none of them may cut it short before the driver is told.
    Install(SIGALRM, OnShutDownOverdue, 0);
    alarm(nSeconds);
}

}  // namespace rmwin32
