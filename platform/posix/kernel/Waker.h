// How one thread wakes another out of a wait inside our layer.
#ifndef REMOTEMONITOR_KERNEL_WAKER_H
#define REMOTEMONITOR_KERNEL_WAKER_H

#include <memory>

namespace rmwin32 {

// Wakes one thread out of any wait it makes inside our layer. Every thread has
// one, made on first use; others hold it through a shared_ptr, so waking a
// thread that has ended is harmless.
class CWaker
{
public:
    CWaker();
    ~CWaker();
    CWaker(const CWaker&) = delete;
    CWaker& operator=(const CWaker&) = delete;

    // Makes Fd() readable until the owner drains it.
    void Wake();
    // Called by the owner before it looks for work, so that a wake-up after
    // the look is not lost.
    void Drain();
    // The descriptor to poll() for POLLIN.
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// The calling thread's waker.
std::shared_ptr<CWaker> CurrentWaker();

}  // namespace rmwin32

#endif
