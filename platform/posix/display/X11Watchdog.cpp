// A request to end must end the tool even while the dialog thread is stuck
// in Xlib: a server that stops reading fills the connection, and Xlib then
// waits for ever to write (or for a reply), with signals only restarting
// its wait. A thread of its own sees every request to end; when the dialogs
// have not ended within a grace after one, it shuts the connection down.
// Xlib's wait then fails as it would on a server that went away, so the
// dialog thread comes back through the lost-connection handler and the tool
// ends in its normal order: the poller stopped, the driver's UnInit, exit.
// Only the socket is touched from this thread, never Xlib.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "display/EndRequests.h"
#include "display/X11Display.h"

namespace rmwin32 {
namespace {

// A dialog ends within milliseconds of a request when its thread is free.
const int kGraceMs = 1000;

// Odd while dialogs are shown; each change counts, so that a request seen
// during one showing is never held against the next.
std::atomic<unsigned> g_nShowing{0};
std::atomic<bool> g_bCut{false};

void DrainWatchPipe(int nWatchFd)
{
    unsigned char buffer[64];
    while (read(nWatchFd, buffer, sizeof buffer) > 0)
    {
    }
}

struct CWatched
{
    int nWatchFd;
    int nConnectionFd;
};

void* Watch(void* pArg)
{
    const int nWatchFd = static_cast<CWatched*>(pArg)->nWatchFd;
    const int nConnectionFd = static_cast<CWatched*>(pArg)->nConnectionFd;
    delete static_cast<CWatched*>(pArg);
    // The signals are the other threads' to take: one taken here would only
    // cut the grace short.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;)
    {
        struct pollfd fd = {nWatchFd, POLLIN, 0};
        if (poll(&fd, 1, -1) < 0 && errno != EINTR)
            return nullptr;
        DrainWatchPipe(nWatchFd);
        const unsigned nShowing = g_nShowing.load();
        if (nShowing % 2 == 0)
            continue;
        poll(nullptr, 0, kGraceMs);
        if (g_nShowing.load() == nShowing)
        {
            g_bCut.store(true);
            shutdown(nConnectionFd, SHUT_RDWR);
            return nullptr;
        }
    }
}

}  // namespace

void WatchConnection(int nConnectionFd)
{
    const int nWatchFd = EndRequestWatchFd();
    if (nWatchFd < 0)
        return;
    // Without the thread a dialog thread stuck in Xlib stays deaf to
    // requests to end; the dialog itself still works.
    auto* pWatched = new CWatched{nWatchFd, nConnectionFd};
    if (!StartDetachedThread(Watch, pWatched))
        delete pWatched;
}

void SetDialogsShown(bool bShown)
{
    if (bShown == (g_nShowing.load() % 2 == 1))
        return;
    g_nShowing.fetch_add(1);
}

bool ConnectionCutByWatch()
{
    return g_bCut.load();
}

}  // namespace rmwin32
