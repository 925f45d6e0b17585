// Threads, thread handles and waiting for our Win32 subset, and the per-thread
// state that the window part shares with us (thread_impl.h).
//
// Handles. A thread handle names a reference-counted thread object; the table
// of live handles holds one reference, the running thread another, so either
// may go first. Handle values are never reused, and every call looks its
// handle up in the table, so a closed or made-up handle fails with
// ERROR_INVALID_HANDLE instead of being dereferenced.
//
// How TerminateThread ends a thread. Every thread made by CreateThread starts
// in ThreadMain, which sets a sigsetjmp point (saving the signal mask) before
// it calls the thread's routine. TerminateThread marks the target as pending,
// wakes its waker (so that a wait inside our layer gives up) and sends it
// kTerminateSignal. In the target the handler ignores the signal if the
// thread is not one of ours or has no pending request; if the thread is
// inside our layer (a CLayerScope is open) it returns, and the layer ends the
// thread at TerminationPoint() once it has left; otherwise it siglongjmps to
// ThreadMain, which records the exit code, signals the object and returns
// from the thread's start routine. TerminateThread waits up to
// kTerminateWaitMs for the end, re-sending the signal every kResendMs in case
// it arrived while the thread was inside the layer, and returns FALSE if the
// thread is still running then. A thread terminating itself jumps at once.
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
#include <windows.h>

#include "thread_impl.h"
#include "win32_internal.h"

#include <errno.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace rmwin32 {
namespace {

const DWORD kTerminateWaitMs = 3000;
const DWORD kResendMs = 50;
// How often a wait inside the layer looks for a termination request.
const long kWaitSliceMs = 20;

int TerminateSignal()
{
    return SIGRTMIN + 4;
}

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
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Time-outs must not stretch or shrink when the wall clock is set.
class CMonotonicCondition
{
public:
    CMonotonicCondition()
    {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&m_cond, &attr);
        pthread_condattr_destroy(&attr);
    }
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

struct CThreadObject
{
    CThreadObject(LPTHREAD_START_ROUTINE pfnStart, LPVOID pParam) : m_pfnStart(pfnStart), m_pParam(pParam) {}

    const LPTHREAD_START_ROUTINE m_pfnStart;
    const LPVOID m_pParam;

    std::mutex m_mutex;
    CMonotonicCondition m_changed;
    // Guarded by m_mutex. While m_bEnded is false the thread has not passed
    // the point where it sets it, so it is alive and m_thread and m_tid are
    // valid to signal.
    bool m_bStarted = false;
    bool m_bEnded = false;
    DWORD m_dwExitCode = STILL_ACTIVE;
    pthread_t m_thread{};
    pid_t m_tid = 0;
    int m_nBaseNice = 0;
    int m_nPriority = THREAD_PRIORITY_NORMAL;
    std::shared_ptr<CWaker> m_waker;

    // Read by the thread itself, also from its signal handler.
    std::atomic<bool> m_bTerminatePending{false};
    std::atomic<DWORD> m_dwTerminateCode{0};
    std::atomic<bool> m_bJumpReady{false};
    sigjmp_buf m_jump;
};

// Read from the signal handler: initial-exec keeps the access a plain load,
// with no lazy allocation behind it.
__attribute__((tls_model("initial-exec"))) thread_local CThreadObject* t_pSelf = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local std::atomic<int> t_nLayerDepth{0};

class CHandleTable
{
public:
    HANDLE Insert(std::shared_ptr<CThreadObject> object)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 4;
        m_objects.emplace(m_next, std::move(object));
        return reinterpret_cast<HANDLE>(m_next);
    }
    std::shared_ptr<CThreadObject> Find(HANDLE h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(h));
        return it == m_objects.end() ? nullptr : it->second;
    }
    std::shared_ptr<CThreadObject> Remove(HANDLE h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(h));
        if (it == m_objects.end())
            return nullptr;
        std::shared_ptr<CThreadObject> object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

private:
    std::mutex m_mutex;
    // Starts well away from small integers and from pointers a caller might
    // pass by mistake.
    uintptr_t m_next = 0x10000;
    std::map<uintptr_t, std::shared_ptr<CThreadObject>> m_objects;
};

CHandleTable& Handles()
{
    // Never destroyed: threads still running at exit may use their handles.
    static CHandleTable* table = new CHandleTable;
    return *table;
}

pid_t CurrentTid()
{
    static thread_local pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    return tid;
}

// Jumps out of the stuck code, or returns when the thread is not one of ours,
// has no request, or is inside the layer (which then acts on leaving it).
void OnTerminateSignal(int)
{
    const int savedErrno = errno;
    TerminationPoint();
    errno = savedErrno;
}

std::atomic<int> g_nThreadCreationFaults{0};

// Takes one injected failure, if any is left.
bool TakeThreadCreationFault()
{
    int nLeft = g_nThreadCreationFaults.load();
    while (nLeft > 0 && !g_nThreadCreationFaults.compare_exchange_weak(nLeft, nLeft - 1)) {
    }
    return nLeft > 0;
}

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

// Runs the thread's routine; returns its exit code, or the one given to
// TerminateThread when the thread was ended. Kept out of line so that the
// jump target's frame is this one, alive for the whole routine.
__attribute__((noinline)) DWORD RunRoutine(CThreadObject* self)
{
    if (sigsetjmp(self->m_jump, 1) != 0) {
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
    t_pSelf = self.get();

    const DWORD dwExitCode = RunRoutine(self.get());

    // From here on a late signal must find nothing to jump to.
    SetTerminateSignalBlocked(true);
    t_pSelf = nullptr;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_dwExitCode = dwExitCode;
        self->m_bEnded = true;
        self->m_waker.reset();
        self->m_changed.Broadcast();
    }
    return nullptr;
}

bool IsValidPriority(int nPriority)
{
    switch (nPriority) {
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
    switch (nPriority) {
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

}  // namespace

// ---- thread_impl.h ------------------------------------------------------------

CWaker::CWaker() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_fd < 0) {
        // Without it a wait could never be woken; there is no error path
        // through a constructor in this code base, and hanging is worse.
        fprintf(stderr, "RemoteMonitor: cannot create an eventfd (errno %d)\n", errno);
        abort();
    }
}

CWaker::~CWaker()
{
    close(m_fd);
}

void CWaker::Wake()
{
    const uint64_t one = 1;
    // EAGAIN means the counter is full, which is readable all the same.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CWaker::Drain()
{
    uint64_t count;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

std::shared_ptr<CWaker> CurrentWaker()
{
    static thread_local std::shared_ptr<CWaker> t_waker;
    if (!t_waker)
        t_waker = std::make_shared<CWaker>();
    return t_waker;
}

CLayerScope::CLayerScope()
{
    t_nLayerDepth.fetch_add(1, std::memory_order_relaxed);
}

CLayerScope::~CLayerScope()
{
    t_nLayerDepth.fetch_sub(1, std::memory_order_relaxed);
}

bool TerminationRequested()
{
    CThreadObject* self = t_pSelf;
    return self != nullptr && self->m_bTerminatePending.load();
}

void FailNextThreadCreations(int nCount)
{
    g_nThreadCreationFaults = nCount;
}

void TerminationPoint()
{
    CThreadObject* self = t_pSelf;
    if (self != nullptr && self->m_bJumpReady.load() && self->m_bTerminatePending.load() &&
        t_nLayerDepth.load(std::memory_order_relaxed) == 0)
        siglongjmp(self->m_jump, 1);
}

}  // namespace rmwin32

// ---- Win32 API --------------------------------------------------------------

using rmwin32::CThreadObject;
using rmwin32::Handles;
using rmwin32::InLayer;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, size_t dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    (void)lpThreadAttributes;  // No security on this side; nothing inherits handles.
    return InLayer([&]() -> HANDLE {
        if (lpStartAddress == nullptr || dwCreationFlags != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (rmwin32::TakeThreadCreationFault()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        rmwin32::InstallTerminateHandler();
        auto object = std::make_shared<CThreadObject>(lpStartAddress, lpParameter);

        pthread_attr_t attr;
        pthread_attr_init(&attr);
        // Nobody joins: the end is reported through the object instead.
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        // Windows treats the size as a minimum to commit within a reserve of
        // at least the default, so only a larger size changes anything.
        size_t defaultSize = 0;
        pthread_attr_getstacksize(&attr, &defaultSize);
        if (dwStackSize > defaultSize) {
            const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
            pthread_attr_setstacksize(&attr, (dwStackSize + page - 1) / page * page);
        }
        auto* reference = new std::shared_ptr<CThreadObject>(object);
        pthread_t thread;
        const int rc = pthread_create(&thread, &attr, rmwin32::ThreadMain, reference);
        pthread_attr_destroy(&attr);
        if (rc != 0) {
            delete reference;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        pid_t tid;
        {
            std::unique_lock<std::mutex> lock(object->m_mutex);
            object->m_thread = thread;
            while (!object->m_bStarted)
                object->m_changed.Wait(lock);
            tid = object->m_tid;
        }
        if (lpThreadId != nullptr)
            *lpThreadId = static_cast<DWORD>(tid);
        return Handles().Insert(std::move(object));
    });
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority)
{
    return InLayer([&]() -> BOOL {
        std::shared_ptr<CThreadObject> object = Handles().Find(hThread);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!rmwin32::IsValidPriority(nPriority)) {
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
        std::shared_ptr<CThreadObject> object = Handles().Find(hThread);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return THREAD_PRIORITY_ERROR_RETURN;
        }
        std::lock_guard<std::mutex> lock(object->m_mutex);
        return object->m_nPriority;
    });
}

BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    return InLayer([&]() -> BOOL {
        std::shared_ptr<CThreadObject> object = Handles().Find(hThread);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        std::shared_ptr<rmwin32::CWaker> waker;
        {
            std::lock_guard<std::mutex> lock(object->m_mutex);
            if (object->m_bEnded)
                return TRUE;
            // The first request's exit code stands.
            if (!object->m_bTerminatePending.load()) {
                object->m_dwTerminateCode.store(dwExitCode);
                object->m_bTerminatePending.store(true);
            }
            waker = object->m_waker;
        }
        if (waker)
            waker->Wake();
        // Ourselves: the jump happens in InLayer's TerminationPoint.
        if (object.get() == rmwin32::t_pSelf)
            return TRUE;

        const timespec deadline = rmwin32::AddMs(rmwin32::MonotonicNow(), rmwin32::kTerminateWaitMs);
        std::unique_lock<std::mutex> lock(object->m_mutex);
        while (!object->m_bEnded) {
            const timespec now = rmwin32::MonotonicNow();
            if (!rmwin32::Before(now, deadline))
                break;
            pthread_kill(object->m_thread, rmwin32::TerminateSignal());
            timespec slice = rmwin32::AddMs(now, rmwin32::kResendMs);
            if (rmwin32::Before(deadline, slice))
                slice = deadline;
            object->m_changed.WaitUntil(lock, slice);
        }
        return object->m_bEnded ? TRUE : FALSE;
    });
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    return InLayer([&]() -> BOOL {
        std::shared_ptr<CThreadObject> object = Handles().Find(hThread);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (lpExitCode == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::lock_guard<std::mutex> lock(object->m_mutex);
        *lpExitCode = object->m_bEnded ? object->m_dwExitCode : STILL_ACTIVE;
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
        std::shared_ptr<CThreadObject> object = Handles().Find(hHandle);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        const bool bInfinite = dwMilliseconds == INFINITE;
        const timespec deadline = rmwin32::AddMs(rmwin32::MonotonicNow(), bInfinite ? 0 : dwMilliseconds);
        // Only our own threads can be terminated, so only they need to look
        // for a request while they wait.
        const bool bEndable = rmwin32::t_pSelf != nullptr;
        std::unique_lock<std::mutex> lock(object->m_mutex);
        while (!object->m_bEnded) {
            if (rmwin32::TerminationRequested())
                return WAIT_FAILED;
            const timespec now = rmwin32::MonotonicNow();
            if (!bInfinite && !rmwin32::Before(now, deadline))
                return WAIT_TIMEOUT;
            if (bInfinite && !bEndable) {
                object->m_changed.Wait(lock);
                continue;
            }
            timespec until = bEndable ? rmwin32::AddMs(now, rmwin32::kWaitSliceMs) : deadline;
            if (!bInfinite && rmwin32::Before(deadline, until))
                until = deadline;
            object->m_changed.WaitUntil(lock, until);
        }
        return WAIT_OBJECT_0;
    });
}

BOOL CloseHandle(HANDLE hObject)
{
    return InLayer([&]() -> BOOL {
        // The thread keeps its own reference; closing only drops the handle's.
        if (!Handles().Remove(hObject)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return TRUE;
    });
}
