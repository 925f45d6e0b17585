#include "display/EndRequests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "win32_internal.h"

namespace rmwin32 {
namespace {

int g_signalPipe[2] = { -1, -1 };

// The first request to end closes the top dialog, and the tool then shuts
// down in order. Should that never finish (a driver that hangs in UnInit,
// say), the third request ends the process as the signal would have, with the
// screen given back first.
const int kInsistingSignals = 3;
volatile sig_atomic_t g_nEndRequests = 0;
RestoreScreenFn volatile g_pfnRestoreScreen = nullptr;

void GiveUp(int nSignal)
{
    if (RestoreScreenFn pfnRestore = g_pfnRestoreScreen)
        pfnRestore();
    signal(nSignal, SIG_DFL);
    raise(nSignal);
}

void OnSignal(int nSignal)
{
    const int nSavedErrno = errno;
    if (nSignal != SIGWINCH && ++g_nEndRequests >= kInsistingSignals)
        GiveUp(nSignal);
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    if (g_signalPipe[1] >= 0)
    {
        ssize_t nWritten = write(g_signalPipe[1], &byte, 1);
        (void)nWritten;  // a full pipe already holds a wake-up
    }
    errno = nSavedErrno;
}

}  // namespace

// Installed before any screen library starts, so that it leaves these
// signals to us.
void InstallEndRequestHandlers()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (pipe(g_signalPipe) != 0)
        return;
    for (int fd : g_signalPipe)
    {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int nSignal : { SIGINT, SIGTERM, SIGHUP, SIGWINCH })
        sigaction(nSignal, &sa, nullptr);
}

int EndRequestFd()
{
    return g_signalPipe[0];
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

void SetRestoreScreen(RestoreScreenFn fn)
{
    g_pfnRestoreScreen = fn;
}

void CatchEndRequests()
{
    InstallEndRequestHandlers();
}

}  // namespace rmwin32
