/* Stands in for a driver library: one that answers, code that never
   returns, sleeping or spinning, for TerminateThread to end, and a
   thread-specific value whose destructor runs in the thread's teardown. */
#include <pthread.h>
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

static pthread_key_t s_key;
static pthread_once_t s_keyOnce = PTHREAD_ONCE_INIT;

/* Slow, so that whoever is told of the thread's end too early sees nothing
   written yet, and one who unloads the library then crashes. */
static void SlowDestructor(void* written)
{
    usleep(100000);
    __atomic_store_n((int*)written, 1, __ATOMIC_SEQ_CST);
}

static void MakeKey(void)
{
    pthread_key_create(&s_key, SlowDestructor);
}

/* At the calling thread's end, after 100 ms, *written becomes 1. */
KTL_EXPORT void set_slow_key(int* written)
{
    pthread_once(&s_keyOnce, MakeKey);
    pthread_setspecific(s_key, written);
}
