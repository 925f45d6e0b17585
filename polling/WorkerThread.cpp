#include "WorkerThread.h"

#include <afxwin.h>

namespace {

const DWORD kSliceMs = 10;
const long long kSlicesPerSecond = 1000 / kSliceMs;

// TerminateThread only starts the end of a thread. Whoever stops a worker may
// next unload the library that the worker was stuck in, so wait until it has
// really gone; bounded, because a failed termination must not hang Stop.
const DWORD kTerminationWaitMs = 2000;

// Services the calling thread's queue the way its application's own loop
// would, so that a worker blocked in a synchronous send to one of this
// thread's windows can finish its step. PeekMessageA itself delivers such
// sends; without an application object nothing more can be done here, and
// posted messages stay queued for whoever runs the loop later.
void PumpPendingMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
    {
        CWinApp* pApp = AfxGetModuleState()->m_pCurrentWinApp;
        if (pApp == nullptr)
            return;
        if (!pApp->PumpMessage())
        {
            // The quit message is gone from the queue now; the application
            // must wind down here, since its own loop will not see it.
            pApp = AfxGetModuleState()->m_pCurrentWinApp;
            if (pApp != nullptr)
                pApp->ExitInstance();
        }
        ::Sleep(0);
    }
}

}  // namespace

CWorkerThread::CWorkerThread(int nPriority, int nStopTimeout)
    : m_hThread(nullptr),
      m_nState(THREAD_IDLE),
      m_nPriority(nPriority),
      m_nStopTimeout(nStopTimeout),
      m_bStopRequested(false),
      m_nExitCode(0)
{
}

CWorkerThread::~CWorkerThread()
{
    Stop();
}

void CWorkerThread::Run()
{
    while (!m_bStopRequested)
    {
        if (!Step())
            return;
    }
}

bool CWorkerThread::Step()
{
    return false;
}

DWORD WINAPI CWorkerThread::ThreadEntry(LPVOID pParam)
{
    CWorkerThread* pThis = static_cast<CWorkerThread*>(pParam);
    pThis->Run();
    const int nExitCode = pThis->m_nExitCode;
    // The last touch of the object: from here on Start replaces this thread
    // instead of keeping it.
    pThis->m_nState = THREAD_FINISHED;
    return static_cast<DWORD>(nExitCode);
}

bool CWorkerThread::Start()
{
    m_dwStartError = ERROR_SUCCESS;
    if (m_hThread != nullptr)
    {
        if (m_nState == THREAD_RUNNING)
            return true;
        Stop();
    }

    // Recorded before the thread exists, so that a body that ends at once
    // leaves THREAD_FINISHED behind rather than being overwritten.
    m_bStopRequested = false;
    m_nState = THREAD_RUNNING;

    m_hThread = ::CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    if (m_hThread == nullptr)
    {
        m_dwStartError = ::GetLastError();
        m_nState = THREAD_IDLE;
        return false;
    }
    ::SetThreadPriority(m_hThread, m_nPriority);
    return true;
}

void CWorkerThread::Stop()
{
    if (m_hThread == nullptr)
        return;

    m_bStopRequested = true;

    bool bEnded = false;
    if (m_nStopTimeout <= 0)
    {
        // No time to wait: only a thread that has already ended is spared.
        bEnded = ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0;
    }
    else
    {
        // Only the waits count against the limit; pumping comes on top.
        const long long nSlices = static_cast<long long>(m_nStopTimeout) * kSlicesPerSecond;
        for (long long i = 0; i < nSlices; ++i)
        {
            if (::WaitForSingleObject(m_hThread, kSliceMs) == WAIT_OBJECT_0)
            {
                bEnded = true;
                break;
            }
            PumpPendingMessages();
        }
    }

    // A thread that cannot be ended (TerminateThread refused, or it has not
    // gone by the end of the wait) is left running, and the caller is told.
    if (!bEnded)
        bEnded =
            ::TerminateThread(m_hThread, 0) && ::WaitForSingleObject(m_hThread, kTerminationWaitMs) == WAIT_OBJECT_0;
    m_bThreadLeftRunning = !bEnded;

    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_nState = THREAD_IDLE;
}
