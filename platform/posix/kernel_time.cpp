// Sleeping and the millisecond tick of our Win32 subset.
#include <windows.h>

#include <errno.h>
#include <sched.h>
#include <time.h>

void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0) {
        // Windows gives up the rest of the time slice; so does sched_yield.
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            timespec forever = {3600, 0};
            nanosleep(&forever, nullptr);
        }
    }
    timespec left = {static_cast<time_t>(dwMilliseconds / 1000),
                     static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    // A signal handler on this thread must not shorten the sleep: Windows
    // knows no such interruption, and callers pace their loops with it.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DWORD GetTickCount(void)
{
    // The monotonic clock, like the Windows tick, counts from boot and never
    // jumps with the wall clock; the value wraps after 49.7 days as there.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long ms =
        static_cast<unsigned long long>(now.tv_sec) * 1000ULL + static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<DWORD>(ms);
}
