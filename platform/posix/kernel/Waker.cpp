// The per-thread waker: an eventfd that a wait inside the layer polls.
#include "kernel/Waker.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace rmwin32 {

CWaker::CWaker() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_fd < 0)
    {
        // Without it a wait could never be woken; there is no error path
        // through a constructor in this code base, and hanging is worse.
        fprintf(stderr, "RemoteMonitor: cannot create an eventfd (errno %d)\n", errno);
        abort();
    }
}

CWaker::~CWaker()
{
    close(m_fd);
}

void CWaker::Wake()
{
    const uint64_t one = 1;
    // EAGAIN means the counter is full, which is readable all the same.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR)
    {
    }
}

void CWaker::Drain()
{
    uint64_t count;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR)
    {
    }
}

std::shared_ptr<CWaker> CurrentWaker()
{
    static thread_local std::shared_ptr<CWaker> t_waker;
    if (!t_waker)
        t_waker = std::make_shared<CWaker>();
    return t_waker;
}

}  // namespace rmwin32
