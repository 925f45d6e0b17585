// When a thread may be ended: never while it is inside our layer (holding one
// of its locks, or waiting in one of its calls). TerminateThread only marks
// such a thread; the layer acts on the mark when the thread leaves.
#ifndef REMOTEMONITOR_KERNEL_LAYERSCOPE_H
#define REMOTEMONITOR_KERNEL_LAYERSCOPE_H

namespace rmwin32 {

struct CThreadObject;

// Public API functions that lock or wait open a scope at their start and call
// TerminationPoint() just before they return, once their own locals are gone.
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
// longer inside the layer; otherwise returns. Safe in a signal handler.
void TerminationPoint();

// The object of the calling thread when CreateThread made it, else null.
// Safe in a signal handler.
CThreadObject* CurrentThreadObject();
void SetCurrentThreadObject(CThreadObject* pSelf);

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
