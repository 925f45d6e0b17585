// What a thread handle names: the thread CreateThread made, its exit code and
// what TerminateThread needs to end it.
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

// The thread object a live handle names; sets ERROR_INVALID_HANDLE and
// returns null for a closed or made-up one.
std::shared_ptr<CThreadObject> FindThreadOrFail(HANDLE hThread);

// A new handle to the object, never a value handed out before.
HANDLE InsertThreadHandle(std::shared_ptr<CThreadObject> object);

// Installs, once, the handler of the signal that ends a stuck thread.
void InstallTerminateHandler();

// Blocks or unblocks that signal on the calling thread.
void SetTerminateSignalBlocked(bool bBlocked);

}  // namespace rmwin32

#endif
