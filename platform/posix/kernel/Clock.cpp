// Sleeping, the millisecond tick, and the monotonic clock the layer's own
// time-outs run on.
#include <windows.h>

#include "kernel/Clock.h"

#include <errno.h>
#include <sched.h>

namespace rmwin32 {

timespec MonotonicNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec AddMs(timespec t, unsigned long long ms)
{
    t.tv_sec += static_cast<time_t>(ms / 1000);
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L)
    {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

CMonotonicCondition::CMonotonicCondition()
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&m_cond, &attr);
    pthread_condattr_destroy(&attr);
}

}  // namespace rmwin32

void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0)
    {
        // Windows gives up the rest of the time slice; so does sched_yield.
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE)
    {
        for (;;)
        {
            timespec forever = {3600, 0};
            nanosleep(&forever, nullptr);
        }
    }
    timespec left = {static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    // A signal handler on this thread must not shorten the sleep: Windows
    // knows no such interruption, and callers pace their loops with it.
    while (nanosleep(&left, &left) != 0 && errno == EINTR)
    {
    }
}

DWORD GetTickCount(void)
{
    // The monotonic clock, like the Windows tick, counts from boot and never
    // jumps with the wall clock; the value wraps after 49.7 days as there.
    const timespec now = rmwin32::MonotonicNow();
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                                  static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<DWORD>(ms);
}
