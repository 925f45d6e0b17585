// A reusable base that owns one thread running a loop of steps, with a
// cooperative stop that falls back to termination after a bounded wait.
#ifndef REMOTEMONITOR_WORKERTHREAD_H
#define REMOTEMONITOR_WORKERTHREAD_H

#include <windows.h>

#include <atomic>

// Life states of the owned thread.
enum
{
    THREAD_IDLE = 0,     // no thread, or its handle has been closed
    THREAD_RUNNING = 1,  // Start is creating or has created the thread
    THREAD_FINISHED = 2  // the body has returned; the handle is still open
};

class CWorkerThread
{
public:
    // nPriority is a SetThreadPriority value; nStopTimeout is how many
    // seconds Stop waits before it terminates the thread.
    CWorkerThread(int nPriority, int nStopTimeout);

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // The thread body: steps until a stop is requested or a step says done.
    virtual void Run();
    // One unit of work; true asks for another.
    virtual bool Step();
    // A subclass whose Step uses its own members must Stop in its own
    // destructor, before they go.
    virtual ~CWorkerThread();

    // True when a thread is running for this object afterwards; a running
    // thread is kept, an ended one is replaced.
    bool Start();
    // Why the last Start made no thread: CreateThread's last error;
    // ERROR_SUCCESS when it has one, or before any Start.
    DWORD StartError() const { return m_dwStartError; }
    // Afterwards the object owns no thread. Waits up to m_nStopTimeout
    // seconds while servicing the calling thread's messages, then terminates
    // the thread. A time-out of 0 or less terminates a thread that has not
    // already ended at once, without waiting.
    void Stop();
    // True when the last Stop could neither wait out nor terminate the
    // thread: it may still be running whatever code it was in, which must
    // therefore stay loaded and must not be shut down beside it.
    bool LeftThreadRunning() const { return m_bThreadLeftRunning; }

    static DWORD WINAPI ThreadEntry(LPVOID pParam);

protected:
    HANDLE m_hThread;  // touched by the controlling thread only
    std::atomic<int> m_nState;
    int m_nPriority;
    int m_nStopTimeout;
    std::atomic<bool> m_bStopRequested;
    int m_nExitCode;  // what the thread routine returns; set by subclasses

private:
    bool m_bThreadLeftRunning = false;     // touched by the controlling thread only
    DWORD m_dwStartError = ERROR_SUCCESS;  // likewise
};

#endif
