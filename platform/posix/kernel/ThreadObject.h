// What a thread handle names: the thread CreateThread made, its exit code and
// what TerminateThread needs to end it. The thread is joinable: its handle is
// signalled once a waiter has joined it, so after the thread-local and key
// destructors and the C library's teardown, as on Windows, where a handle is
// signalled only when the thread is gone.
#ifndef REMOTEMONITOR_KERNEL_THREADOBJECT_H
#define REMOTEMONITOR_KERNEL_THREADOBJECT_H

#include <windows.h>

#include "kernel/Clock.h"
#include "kernel/Waker.h"

#include <pthread.h>
#include <setjmp.h>
#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace rmwin32 {

struct CThreadObject
{
    CThreadObject(LPTHREAD_START_ROUTINE pfnStart, LPVOID pParam) : m_pfnStart(pfnStart), m_pParam(pParam) {}
    // Detaches a thread nobody joined: no one can any more. May run on the
    // thread itself, when its own reference is the last.
    ~CThreadObject();
    CThreadObject(const CThreadObject&) = delete;
    CThreadObject& operator=(const CThreadObject&) = delete;

    const LPTHREAD_START_ROUTINE m_pfnStart;
    const LPVOID m_pParam;

    std::mutex m_mutex;
    CMonotonicCondition m_changed;
    // Guarded by m_mutex. While m_bEnded is false the thread has not passed
    // the point where it sets it, so it is alive and m_thread and m_tid are
    // valid to signal. m_bJoined: the thread is gone and the handle signalled.
    // Only one waiter may join (m_bJoining); the others wait on m_changed.
    bool m_bStarted = false;
    bool m_bEnded = false;
    bool m_bJoining = false;
    bool m_bJoined = false;
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

// The thread object a live handle names; sets ERROR_INVALID_HANDLE and
// returns null for a closed or made-up one.
std::shared_ptr<CThreadObject> FindThreadOrFail(HANDLE hThread);

// A new handle to the object, never a value handed out before.
HANDLE InsertThreadHandle(std::shared_ptr<CThreadObject> object);

// Waits, with the object's lock held, until the thread has been joined or
// until has come (null: no bound), joining it itself when nobody else does;
// true when joined. A past until still joins a thread that is gone already.
bool AwaitJoin(CThreadObject& object, std::unique_lock<std::mutex>& lock, const timespec* until);

// Installs, once, the handler of the signal that ends a stuck thread.
void InstallTerminateHandler();

// Blocks or unblocks that signal on the calling thread.
void SetTerminateSignalBlocked(bool bBlocked);

}  // namespace rmwin32

#endif
