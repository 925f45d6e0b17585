// The monotonic clock the layer's time-outs are measured on: they must not
// stretch or shrink when the wall clock is set.
#ifndef REMOTEMONITOR_KERNEL_CLOCK_H
#define REMOTEMONITOR_KERNEL_CLOCK_H

#include <pthread.h>
#include <time.h>

#include <mutex>

namespace rmwin32 {

timespec MonotonicNow();
timespec AddMs(timespec t, unsigned long long ms);
bool Before(const timespec& a, const timespec& b);

// A condition variable whose timed waits run on the monotonic clock.
class CMonotonicCondition
{
public:
    CMonotonicCondition();
    ~CMonotonicCondition() { pthread_cond_destroy(&m_cond); }
    CMonotonicCondition(const CMonotonicCondition&) = delete;
    CMonotonicCondition& operator=(const CMonotonicCondition&) = delete;

    void Broadcast() { pthread_cond_broadcast(&m_cond); }
    void Wait(std::unique_lock<std::mutex>& lock) { pthread_cond_wait(&m_cond, lock.mutex()->native_handle()); }
    void WaitUntil(std::unique_lock<std::mutex>& lock, const timespec& deadline)
    {
        pthread_cond_timedwait(&m_cond, lock.mutex()->native_handle(), &deadline);
    }

private:
    pthread_cond_t m_cond;
};

}  // namespace rmwin32

#endif
