// What the kernel part (threads, handles) and the window part (queues,
// messages) of our Win32 subset share about a thread: how to wake it up from a
// wait inside the layer, and when it may be terminated. Not part of the API.
#ifndef REMOTEMONITOR_THREAD_IMPL_H
#define REMOTEMONITOR_THREAD_IMPL_H

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

// While a thread is inside our layer (holding one of its locks, or waiting in
// one of its calls), TerminateThread only marks it; the layer acts on the mark
// when the thread leaves. Public API functions that lock or wait open a scope
// at their start and call TerminationPoint() just before they return, once
// their own locals are gone.
class CLayerScope
{
public:
    CLayerScope();
    ~CLayerScope();
    CLayerScope(const CLayerScope&) = delete;
    CLayerScope& operator=(const CLayerScope&) = delete;
};

// True once TerminateThread has been called on the calling thread. Waits in
// the layer give up when they see it (their waker is woken for that).
bool TerminationRequested();

// Ends the calling thread here if termination was requested and it is no
// longer inside the layer; otherwise returns.
void TerminationPoint();

// Runs a public call, then lets a termination requested meanwhile happen,
// once the call's own scope and locals are gone. For calls that open their
// scopes where they need them.
template <typename F>
auto ApiCall(F f) -> decltype(f())
{
    auto result = f();
    TerminationPoint();
    return result;
}

// The same for a call that is inside the layer from start to end.
template <typename F>
auto InLayer(F f) -> decltype(f())
{
    return ApiCall([&] {
        CLayerScope scope;
        return f();
    });
}

}  // namespace rmwin32

#endif
