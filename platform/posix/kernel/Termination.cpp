// How TerminateThread ends a thread. Every thread made by CreateThread starts
// in ThreadMain, which sets a sigsetjmp point (saving the signal mask) before
// it calls the thread's routine. TerminateThread marks the target as pending,
// wakes its waker (so that a wait inside our layer gives up) and sends it
// kTerminateSignal. In the target the handler ignores the signal if the
// thread is not one of ours or has no pending request; if the thread is
// inside our layer (a CLayerScope is open) it returns, and the layer ends the
// thread at TerminationPoint() once it has left; otherwise it siglongjmps to
// ThreadMain, which records the exit code and returns from the thread's
// start routine; the thread then ends through pthread's normal exit path and
// can be joined. TerminateThread waits up to kTerminateWaitMs for that end
// (the thread joined), re-sending the signal every kResendMs in case it
// arrived while the thread was inside the layer, and returns FALSE if the
// thread is not gone then. A thread terminating itself jumps at once.
//
// Limits, the same in kind as on Windows, where TerminateThread is a last
// resort:
// - whatever the ended code held is abandoned: its own locks, the C library's
//   (a thread jumped out of malloc leaves malloc's lock taken), half-updated
//   data. Our own layer is protected by the deferral above; the code it is
//   meant for, a driver library sleeping or spinning, holds none.
// - C++ destructors of the frames jumped over do not run.
// - code that blocks kTerminateSignal, or sits in a system call that does not
//   return on a signal, cannot be ended; TerminateThread then returns FALSE.
// - under ThreadSanitizer asynchronous signals are delivered only when the
//   thread reaches an intercepted call, so a pure busy loop cannot be ended.
// - kTerminateSignal (SIGRTMIN+4) belongs to us; code that installs its own
//   handler for it breaks TerminateThread.
#include "kernel/Kernel.h"
#include "kernel/ThreadObject.h"

#include <errno.h>
#include <signal.h>

namespace rmwin32 {
namespace {

const DWORD kTerminateWaitMs = 3000;
const DWORD kResendMs = 50;

int TerminateSignal()
{
    return SIGRTMIN + 4;
}

// Jumps out of the stuck code, or returns when the thread is not one of ours,
// has no request, or is inside the layer (which then acts on leaving it).
void OnTerminateSignal(int)
{
    const int savedErrno = errno;
    TerminationPoint();
    errno = savedErrno;
}

// Marks the thread; false when it has ended already. The first request's
// exit code stands.
bool RequestTermination(CThreadObject& object, DWORD dwExitCode)
{
    std::shared_ptr<CWaker> waker;
    {
        std::lock_guard<std::mutex> lock(object.m_mutex);
        if (object.m_bEnded)
            return false;
        if (!object.m_bTerminatePending.load())
        {
            object.m_dwTerminateCode.store(dwExitCode);
            object.m_bTerminatePending.store(true);
        }
        waker = object.m_waker;
    }
    if (waker)
        waker->Wake();
    return true;
}

// Signals the thread until it has ended or the wait is over; true once it is
// gone, its teardown included, since the caller may unload its code next.
bool WaitForTermination(CThreadObject& object)
{
    const timespec deadline = AddMs(MonotonicNow(), kTerminateWaitMs);
    std::unique_lock<std::mutex> lock(object.m_mutex);
    while (!object.m_bEnded)
    {
        const timespec now = MonotonicNow();
        if (!Before(now, deadline))
            break;
        pthread_kill(object.m_thread, TerminateSignal());
        timespec slice = AddMs(now, kResendMs);
        if (Before(deadline, slice))
            slice = deadline;
        object.m_changed.WaitUntil(lock, slice);
    }
    return AwaitJoin(object, lock, &deadline);
}

}  // namespace

void InstallTerminateHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_handler = OnTerminateSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a thread ended inside a system call must not resume it.
        action.sa_flags = 0;
        sigaction(TerminateSignal(), &action, nullptr);
    });
}

void SetTerminateSignalBlocked(bool bBlocked)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, TerminateSignal());
    pthread_sigmask(bBlocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace rmwin32

BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    return rmwin32::InLayer([&]() -> BOOL {
        std::shared_ptr<rmwin32::CThreadObject> object = rmwin32::FindThreadOrFail(hThread);
        if (!object)
            return FALSE;
        if (!rmwin32::RequestTermination(*object, dwExitCode))
            return TRUE;
        // Ourselves: the jump happens in InLayer's TerminationPoint.
        if (object.get() == rmwin32::CurrentThreadObject())
            return TRUE;
        return rmwin32::WaitForTermination(*object) ? TRUE : FALSE;
    });
}
