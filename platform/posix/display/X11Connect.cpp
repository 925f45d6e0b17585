// The connection, opened on a thread of its own: a server that accepts the
// connection and then never answers (stopped, or a dead TCP link) would hold
// XOpenDisplay, and with it the dialog thread, for ever, deaf to requests to
// end. The dialog thread waits for the open with a bound and gives it up at
// once on a request to end, which then stays pending for the display taken
// instead.
#include <X11/Xlib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>

#include "display/EndRequests.h"
#include "display/X11Display.h"

namespace rmwin32 {
namespace {

struct COpenAttempt
{
    std::mutex mutex;
    ::Display* pDisplay = nullptr;
    bool bDone = false;
    bool bAbandoned = false;
    int nDoneFd = -1;

    ~COpenAttempt()
    {
        if (nDoneFd >= 0)
            close(nDoneFd);
    }
};

void* OpenOnThread(void* pArg)
{
    const std::shared_ptr<COpenAttempt> pAttempt = *static_cast<std::shared_ptr<COpenAttempt>*>(pArg);
    delete static_cast<std::shared_ptr<COpenAttempt>*>(pArg);
    ::Display* pDisplay = XOpenDisplay(nullptr);
    std::lock_guard<std::mutex> lock(pAttempt->mutex);
    if (pAttempt->bAbandoned)
    {
        // Answered after all, but too late: another display has been taken.
        if (pDisplay != nullptr)
            XCloseDisplay(pDisplay);
        return nullptr;
    }
    pAttempt->pDisplay = pDisplay;
    pAttempt->bDone = true;
    const uint64_t nOne = 1;
    ssize_t nWritten = write(pAttempt->nDoneFd, &nOne, sizeof nOne);
    (void)nWritten;
    return nullptr;
}

}  // namespace

bool StartDetachedThread(void* (*pfnMain)(void*), void* pArg)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, pfnMain, pArg);
    pthread_attr_destroy(&attr);
    return rc == 0;
}

::Display* OpenConnectionWithin(int nMs)
{
    auto pAttempt = std::make_shared<COpenAttempt>();
    pAttempt->nDoneFd = eventfd(0, EFD_CLOEXEC);
    if (pAttempt->nDoneFd < 0)
        return nullptr;
    auto* pReference = new std::shared_ptr<COpenAttempt>(pAttempt);
    if (!StartDetachedThread(OpenOnThread, pReference))
    {
        delete pReference;
        // The open goes without its bound then: a server that answers is
        // the usual case, and this the one way left to show the dialog.
        return XOpenDisplay(nullptr);
    }

    struct pollfd fds[2] = {{pAttempt->nDoneFd, POLLIN, 0}, {EndRequestFd(), POLLIN, 0}};
    const nfds_t nFds = fds[1].fd >= 0 ? 2 : 1;
    int nReady;
    do
        nReady = poll(fds, nFds, nMs);
    while (nReady < 0 && errno == EINTR);
    std::lock_guard<std::mutex> lock(pAttempt->mutex);
    if (pAttempt->bDone)
        return pAttempt->pDisplay;
    pAttempt->bAbandoned = true;
    if (nReady == 0)
        std::fprintf(stderr, "RemoteMonitor: the X server did not answer within %d seconds.\n", nMs / 1000);
    return nullptr;
}

}  // namespace rmwin32
