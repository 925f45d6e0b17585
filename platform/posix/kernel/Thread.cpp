// Threads of our Win32 subset: creation, priorities, exit codes and waiting.
// Their handles are in HandleTable.cpp, their ending in Termination.cpp.
#include "kernel/Kernel.h"
#include "kernel/ThreadObject.h"

#include <errno.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#define RM_KERNEL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RM_KERNEL_TSAN 1
#endif
#endif

namespace rmwin32 {
namespace {

// How often a wait inside the layer looks for a termination request.
const long kWaitSliceMs = 20;

pid_t CurrentTid()
{
    static thread_local pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    return tid;
}

std::atomic<int> g_nThreadCreationFaults{0};

// Takes one injected failure, if any is left.
bool TakeThreadCreationFault()
{
    int nLeft = g_nThreadCreationFaults.load();
    while (nLeft > 0 && !g_nThreadCreationFaults.compare_exchange_weak(nLeft, nLeft - 1))
    {
    }
    return nLeft > 0;
}

// Runs the thread's routine; returns its exit code, or the one given to
// TerminateThread when the thread was ended. Kept out of line so that the
// jump target's frame is this one, alive for the whole routine.
__attribute__((noinline)) DWORD RunRoutine(CThreadObject* self)
{
    if (sigsetjmp(self->m_jump, 1) != 0)
    {
        self->m_bJumpReady.store(false);
        return self->m_dwTerminateCode.load();
    }
    self->m_bJumpReady.store(true);
    // A request made before the jump point existed.
    TerminationPoint();
    const DWORD dwExitCode = self->m_pfnStart(self->m_pParam);
    self->m_bJumpReady.store(false);
    return dwExitCode;
}

void* ThreadMain(void* arg)
{
    std::shared_ptr<CThreadObject> self;
    {
        std::unique_ptr<std::shared_ptr<CThreadObject>> reference(static_cast<std::shared_ptr<CThreadObject>*>(arg));
        self = std::move(*reference);
    }
    // The creator's mask is inherited; the thread must be endable whatever it was.
    SetTerminateSignalBlocked(false);
    std::shared_ptr<CWaker> waker = CurrentWaker();
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_tid = CurrentTid();
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(self->m_tid));
        self->m_nBaseNice = errno == 0 ? nice : 0;
        self->m_waker = std::move(waker);
        self->m_bStarted = true;
        self->m_changed.Broadcast();
    }
    SetCurrentThreadObject(self.get());

    const DWORD dwExitCode = RunRoutine(self.get());

    // From here on a late signal must find nothing to jump to.
    SetTerminateSignalBlocked(true);
    SetCurrentThreadObject(nullptr);
    // The routine is over, but the thread's teardown (thread-local and key
    // destructors) is still to come: the handle is signalled by the join.
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_dwExitCode = dwExitCode;
        self->m_bEnded = true;
        self->m_waker.reset();
        self->m_changed.Broadcast();
    }
    return nullptr;
}

// Starts the thread and waits until it runs; otherwise the system's reason
// why it would not make one.
int StartThread(const std::shared_ptr<CThreadObject>& object, size_t dwStackSize)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Windows treats the size as a minimum to commit within a reserve of
    // at least the default, so only a larger size changes anything.
    size_t defaultSize = 0;
    pthread_attr_getstacksize(&attr, &defaultSize);
    if (dwStackSize > defaultSize)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        pthread_attr_setstacksize(&attr, (dwStackSize + page - 1) / page * page);
    }
    auto* reference = new std::shared_ptr<CThreadObject>(object);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, ThreadMain, reference);
    pthread_attr_destroy(&attr);
    if (rc != 0)
    {
        delete reference;
        return rc;
    }
    std::unique_lock<std::mutex> lock(object->m_mutex);
    object->m_thread = thread;
    while (!object->m_bStarted)
        object->m_changed.Wait(lock);
    return 0;
}

// The system says EAGAIN both for a limit on threads reached (RLIMIT_NPROC,
// threads-max) and for no room for another stack; Windows' code for the
// first keeps the system's words, which cover both.
DWORD ThreadCreationError(int nError)
{
    return nError == EAGAIN ? ERROR_MAX_THRDS_REACHED : ERROR_NOT_ENOUGH_MEMORY;
}

bool IsValidPriority(int nPriority)
{
    switch (nPriority)
    {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
        return true;
    default:
        return false;
    }
}

// Raising a thread above its start nice value needs privileges, so the
// higher Windows priorities stay at the base; the lower ones become nicer
// by steps wide enough to matter (one nice step is only ~10% of CPU share).
int NiceOffset(int nPriority)
{
    switch (nPriority)
    {
    case THREAD_PRIORITY_IDLE:
        return 19;
    case THREAD_PRIORITY_LOWEST:
        return 10;
    case THREAD_PRIORITY_BELOW_NORMAL:
        return 5;
    default:
        return 0;
    }
}

// A join bounded on the monotonic clock; null until: no bound.
int JoinThread(pthread_t thread, const timespec* until)
{
    if (until == nullptr)
        return pthread_join(thread, nullptr);
#ifdef RM_KERNEL_TSAN
    // ThreadSanitizer intercepts only the wall-clock variant; a join it does
    // not see leaves the thread counted as leaked and its writes unordered.
    const timespec now = MonotonicNow();
    const long long ns = (until->tv_sec - now.tv_sec) * 1000000000LL + (until->tv_nsec - now.tv_nsec);
    timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    wall = AddMs(wall, ns > 0 ? static_cast<unsigned long long>(ns + 999999) / 1000000ULL : 0);
    return pthread_timedjoin_np(thread, nullptr, &wall);
#else
    return pthread_clockjoin_np(thread, nullptr, CLOCK_MONOTONIC, until);
#endif
}

// Waits for the thread's end; only our own threads can be terminated, so only
// they need to look for a request while they wait, which they do between
// slices, since neither a join nor the condition can be woken for it.
DWORD WaitForEnd(CThreadObject& object, DWORD dwMilliseconds)
{
    const bool bInfinite = dwMilliseconds == INFINITE;
    const timespec deadline = AddMs(MonotonicNow(), bInfinite ? 0 : dwMilliseconds);
    const bool bEndable = CurrentThreadObject() != nullptr;
    std::unique_lock<std::mutex> lock(object.m_mutex);
    while (!object.m_bJoined)
    {
        if (TerminationRequested())
            return WAIT_FAILED;
        if (bInfinite && !bEndable)
        {
            AwaitJoin(object, lock, nullptr);
            continue;
        }
        timespec until = bEndable ? AddMs(MonotonicNow(), kWaitSliceMs) : deadline;
        if (!bInfinite && Before(deadline, until))
            until = deadline;
        if (!AwaitJoin(object, lock, &until) && !bInfinite && !Before(MonotonicNow(), deadline))
            return WAIT_TIMEOUT;
    }
    return WAIT_OBJECT_0;
}

}  // namespace

CThreadObject::~CThreadObject()
{
    if (m_bStarted && !m_bJoined)
        pthread_detach(m_thread);
}

bool AwaitJoin(CThreadObject& object, std::unique_lock<std::mutex>& lock, const timespec* until)
{
    for (;;)
    {
        if (object.m_bJoined)
            return true;
        // Before the routine's end there is nothing to join yet, and the
        // condition, unlike a join, hears of the end at once.
        if (object.m_bEnded && !object.m_bJoining)
        {
            object.m_bJoining = true;
            const pthread_t thread = object.m_thread;
            lock.unlock();
            const int rc = JoinThread(thread, until);
            lock.lock();
            object.m_bJoining = false;
            object.m_bJoined = rc == 0;
            // Either way: others may be waiting for the end or for their turn.
            object.m_changed.Broadcast();
            if (rc == 0)
                return true;
            if (rc == ETIMEDOUT)
                return false;
            // A thread waiting for itself from its own teardown: it waits as
            // on Windows, without spinning.
        }
        if (until == nullptr)
            object.m_changed.Wait(lock);
        else
            object.m_changed.WaitUntil(lock, *until);
        if (object.m_bJoined)
            return true;
        if (until != nullptr && !Before(MonotonicNow(), *until))
            return false;
    }
}

void FailNextThreadCreations(int nCount)
{
    g_nThreadCreationFaults = nCount;
}

}  // namespace rmwin32

using rmwin32::CThreadObject;
using rmwin32::FindThreadOrFail;
using rmwin32::InLayer;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, size_t dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    (void)lpThreadAttributes;  // No security on this side; nothing inherits handles.
    return InLayer([&]() -> HANDLE {
        if (lpStartAddress == nullptr || dwCreationFlags != 0)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        rmwin32::InstallTerminateHandler();
        auto object = std::make_shared<CThreadObject>(lpStartAddress, lpParameter);
        const int nError = rmwin32::TakeThreadCreationFault() ? EAGAIN : rmwin32::StartThread(object, dwStackSize);
        if (nError != 0)
        {
            SetLastError(rmwin32::ThreadCreationError(nError));
            return nullptr;
        }
        if (lpThreadId != nullptr)
            *lpThreadId = static_cast<DWORD>(object->m_tid);
        return rmwin32::InsertThreadHandle(std::move(object));
    });
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority)
{
    return InLayer([&]() -> BOOL {
        std::shared_ptr<CThreadObject> object = FindThreadOrFail(hThread);
        if (!object)
            return FALSE;
        if (!rmwin32::IsValidPriority(nPriority))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::lock_guard<std::mutex> lock(object->m_mutex);
        object->m_nPriority = nPriority;
        // Only while the thread is alive: an ended thread's id may already
        // name another thread. Failure (no privilege to go back up) is not
        // an error on Windows, where the call would have succeeded.
        if (!object->m_bEnded)
            setpriority(PRIO_PROCESS, static_cast<id_t>(object->m_tid),
                        object->m_nBaseNice + rmwin32::NiceOffset(nPriority));
        return TRUE;
    });
}

int GetThreadPriority(HANDLE hThread)
{
    return InLayer([&]() -> int {
        std::shared_ptr<CThreadObject> object = FindThreadOrFail(hThread);
        if (!object)
            return THREAD_PRIORITY_ERROR_RETURN;
        std::lock_guard<std::mutex> lock(object->m_mutex);
        return object->m_nPriority;
    });
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    return InLayer([&]() -> BOOL {
        std::shared_ptr<CThreadObject> object = FindThreadOrFail(hThread);
        if (!object)
            return FALSE;
        if (lpExitCode == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // As on Windows, the code is there once the thread is gone, its
        // teardown included, whether or not anybody has waited for it.
        std::unique_lock<std::mutex> lock(object->m_mutex);
        const timespec now = rmwin32::MonotonicNow();
        *lpExitCode = rmwin32::AwaitJoin(*object, lock, &now) ? object->m_dwExitCode : STILL_ACTIVE;
        return TRUE;
    });
}

DWORD GetCurrentThreadId(void)
{
    return static_cast<DWORD>(rmwin32::CurrentTid());
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return InLayer([&]() -> DWORD {
        std::shared_ptr<CThreadObject> object = FindThreadOrFail(hHandle);
        if (!object)
            return WAIT_FAILED;
        return rmwin32::WaitForEnd(*object, dwMilliseconds);
    });
}
