/* Stands in for a driver library: one that answers, and code that never
   returns, sleeping or spinning, for TerminateThread to end. */
#include <unistd.h>

#define KTL_EXPORT __attribute__((visibility("default")))

KTL_EXPORT int answer(void)
{
    return 42;
}

/* Which copy was loaded: 1 beside the executable, 2 in the other directory. */
KTL_EXPORT int where(void)
{
    return KTL_WHERE;
}

KTL_EXPORT void stuck_sleep(volatile int* entered)
{
    __atomic_store_n(entered, 1, __ATOMIC_SEQ_CST);
    for (;;)
        usleep(100000);
}

KTL_EXPORT void stuck_busy(volatile int* entered)
{
    volatile unsigned long spins = 0;
    __atomic_store_n(entered, 1, __ATOMIC_SEQ_CST);
    for (;;)
        spins = spins + 1;
}
