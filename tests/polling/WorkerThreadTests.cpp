// The worker thread base: starting, restarting, the cooperative stop that
// keeps the stopping thread's queue serviced, and termination of a step that
// never returns.
#include <afxwin.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "FakeDriverLibrary.h"
#include "RemoteDriver.h"
#include "TestWindows.h"
#include "WorkerThread.h"

#ifdef _WIN32
#else
#include "kernel/Kernel.h"
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_THREAD__)
#define RM_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RM_UNDER_TSAN 1
#endif
#endif

namespace {

using rmtest::FakeDriverTest;
using rmtest::PumpUntil;
using rmtest::SetEnv;
using rmtest::WaitUntil;

// What a test worker saw, kept outside it so that it outlives the worker.
struct Probe
{
    std::atomic<int> runs{0};
    std::atomic<int> runsEnded{0};  // bodies that returned: none was terminated
    std::atomic<int> steps{0};
};

class CTestWorker : public CWorkerThread
{
public:
    CTestWorker(Probe& probe, std::function<bool()> step, int nStopTimeout = 1, int nExitCode = 0)
        : CWorkerThread(THREAD_PRIORITY_NORMAL, nStopTimeout),
          m_probe(probe),
          m_step(std::move(step))
    {
        m_nExitCode = nExitCode;
    }
    ~CTestWorker() override { Stop(); }

    void Run() override
    {
        ++m_probe.runs;
        CWorkerThread::Run();
        ++m_probe.runsEnded;
    }
    bool Step() override
    {
        ++m_probe.steps;
        return m_step ? m_step() : CWorkerThread::Step();
    }

    int State() const { return m_nState; }
    HANDLE Handle() const { return m_hThread; }

private:
    Probe& m_probe;
    std::function<bool()> m_step;
};

// A worker left exactly as the base makes it.
class CPlainWorker : public CWorkerThread
{
public:
    explicit CPlainWorker(int nExitCode) : CWorkerThread(THREAD_PRIORITY_NORMAL, 1) { m_nExitCode = nExitCode; }
    int State() const { return m_nState; }
    HANDLE Handle() const { return m_hThread; }
};

bool Forever()
{
    ::Sleep(2);
    return true;
}

TEST(WorkerThread, SecondStartKeepsTheRunningThread)
{
    Probe probe;
    CTestWorker worker(probe, Forever);
    ASSERT_TRUE(worker.Start());
    const HANDLE hFirst = worker.Handle();
    EXPECT_TRUE(worker.Start());
    EXPECT_EQ(hFirst, worker.Handle());
    ASSERT_TRUE(WaitUntil([&] { return probe.steps >= 3; }));
    worker.Stop();
    EXPECT_EQ(1, probe.runs);
    EXPECT_EQ(1, probe.runsEnded);
    EXPECT_EQ(THREAD_IDLE, worker.State());
    EXPECT_EQ(nullptr, worker.Handle());
}

#ifndef _WIN32
// Our layer can be told to fail thread creation; the real system cannot.
TEST(WorkerThread, AFailedStartLeavesItIdleAndALaterStartWorks)
{
    Probe probe;
    CTestWorker worker(probe, Forever);
    rmwin32::FailNextThreadCreations(1);
    EXPECT_FALSE(worker.Start());
    EXPECT_EQ(THREAD_IDLE, worker.State());
    EXPECT_EQ(nullptr, worker.Handle());
    worker.Stop();

    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return probe.steps >= 1; }));
    worker.Stop();
    EXPECT_EQ(1, probe.runs);
    EXPECT_EQ(THREAD_IDLE, worker.State());
}
#endif

TEST(WorkerThread, StartsAgainAfterTheBodyEnded)
{
    Probe probe;
    CTestWorker worker(probe, [] { return false; });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return worker.State() == THREAD_FINISHED; }));
    EXPECT_NE(nullptr, worker.Handle());

    // A new thread that really steps: the stop flag of the old one is gone.
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return probe.runsEnded == 2; }));
    EXPECT_EQ(2, probe.runs);
    EXPECT_EQ(2, probe.steps);
    EXPECT_TRUE(WaitUntil([&] { return worker.State() == THREAD_FINISHED; }));
    worker.Stop();
    EXPECT_EQ(THREAD_IDLE, worker.State());
}

TEST(WorkerThread, StartsAgainAfterAStop)
{
    Probe probe;
    CTestWorker worker(probe, Forever);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return probe.steps >= 1; }));
    worker.Stop();
    const int nStepsBefore = probe.steps;

    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(WaitUntil([&] { return probe.steps >= nStepsBefore + 3; }));
    worker.Stop();
    EXPECT_EQ(2, probe.runs);
    EXPECT_EQ(2, probe.runsEnded);
}

class PlainWorkerExitCode : public ::testing::TestWithParam<int>
{};

TEST_P(PlainWorkerExitCode, BaseBodyRunsOnceAndEndsWithTheExitCode)
{
    CPlainWorker worker(GetParam());
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return worker.State() == THREAD_FINISHED; }));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(worker.Handle(), 3000));
    DWORD dwExitCode = STILL_ACTIVE;
    ASSERT_TRUE(::GetExitCodeThread(worker.Handle(), &dwExitCode));
    EXPECT_EQ(static_cast<DWORD>(GetParam()), dwExitCode);
    worker.Stop();
    EXPECT_EQ(THREAD_IDLE, worker.State());
    EXPECT_EQ(nullptr, worker.Handle());
}

INSTANTIATE_TEST_SUITE_P(Codes, PlainWorkerExitCode, ::testing::Values(0, 7, -1));

TEST(WorkerThread, StopOfANeverStartedWorkerLeavesTheQueueAlone)
{
    HWND hWnd = rmtest::CreateRecordingWindow();
    ASSERT_NE(nullptr, hWnd);
    ASSERT_TRUE(::PostMessageA(hWnd, WM_APP, 0, 0));

    Probe probe;
    CTestWorker worker(probe, Forever);
    worker.Stop();
    EXPECT_EQ(THREAD_IDLE, worker.State());
    EXPECT_EQ(nullptr, worker.Handle());
    EXPECT_EQ(0, probe.runs);

    MSG msg;
    EXPECT_TRUE(::PeekMessageA(&msg, hWnd, WM_APP, WM_APP, PM_REMOVE));
    ::DestroyWindow(hWnd);
}

TEST(WorkerThread, DestructionStopsTheThread)
{
    Probe probe;
    {
        CTestWorker worker(probe, Forever);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return probe.steps >= 1; }));
    }
    EXPECT_EQ(1, probe.runsEnded);
    const int nSteps = probe.steps;
    ::Sleep(30);
    EXPECT_EQ(nSteps, probe.steps);
}

// ---- A stop that has to service the stopping thread's queue ----------------------

// An application object that counts what Stop asks of it.
class CCountingApp : public CWinApp
{
public:
    BOOL PumpMessage() override
    {
        ++m_nPumps;
        return CWinApp::PumpMessage();
    }
    int ExitInstance() override
    {
        ++m_nExits;
        return CWinApp::ExitInstance();
    }
    int m_nPumps = 0;
    int m_nExits = 0;
};

// The worker sends to a window of the thread that is about to stop it, and
// blocks there until that thread services the send.
struct SendingWorker
{
    explicit SendingWorker(HWND hWnd, int nStopTimeout)
        : worker(
              probe,
              [this, hWnd] {
                  bSending = true;
                  ::SendMessageA(hWnd, WM_APP + 1, 0, 0);
                  return true;
              },
              nStopTimeout)
    {
    }
    Probe probe;
    std::atomic<bool> bSending{false};
    CTestWorker worker;
};

class StopWithSend : public ::testing::TestWithParam<bool>
{};

TEST_P(StopWithSend, ServicesTheWorkersSendInsteadOfDeadlocking)
{
    const bool bWithApp = GetParam();
    std::unique_ptr<CCountingApp> app(bWithApp ? new CCountingApp : nullptr);
    HWND hWnd = rmtest::CreateRecordingWindow();
    ASSERT_NE(nullptr, hWnd);

    // A time-out far longer than the bound below: a stop that only ended by
    // termination would miss it.
    SendingWorker sender(hWnd, 10);
    ASSERT_TRUE(sender.worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return sender.bSending.load(); }));
    ASSERT_TRUE(::PostMessageA(hWnd, WM_APP + 2, 0, 0));
    if (bWithApp)
        ::PostQuitMessage(0);

    const auto start = std::chrono::steady_clock::now();
    sender.worker.Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_LT(elapsed, std::chrono::seconds(3));
    EXPECT_EQ(1, sender.probe.runsEnded) << "the worker was terminated instead of ending";
    EXPECT_EQ(1u, rmtest::CountMessages(hWnd, WM_APP + 1));
    EXPECT_EQ(THREAD_IDLE, sender.worker.State());

    MSG msg;
    if (bWithApp)
    {
        // Posted messages went through the application, and the quit
        // message wound it down.
        EXPECT_EQ(1u, rmtest::CountMessages(hWnd, WM_APP + 2));
        EXPECT_EQ(2, app->m_nPumps);
        EXPECT_EQ(1, app->m_nExits);
        EXPECT_FALSE(::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
    else
    {
        // Without an application nothing can pump them: they wait for the
        // thread's own loop.
        EXPECT_EQ(0u, rmtest::CountMessages(hWnd, WM_APP + 2));
        EXPECT_TRUE(::PeekMessageA(&msg, hWnd, WM_APP + 2, WM_APP + 2, PM_REMOVE));
    }
    ::DestroyWindow(hWnd);
}

INSTANTIATE_TEST_SUITE_P(Application, StopWithSend, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& tp) {
                             return std::string(tp.param ? "WithApp" : "WithoutApp");
                         });

// ---- A step stuck in the driver ----------------------------------------------------

// Whether a thread of this process has ended, by its id.
class ThreadWatch
{
public:
    static unsigned long CurrentId()
    {
#ifdef _WIN32
        return ::GetCurrentThreadId();
#else
        return static_cast<unsigned long>(::syscall(SYS_gettid));
#endif
    }

    explicit ThreadWatch(unsigned long id) : m_id(id)
    {
#ifdef _WIN32
        m_hThread = ::OpenThread(SYNCHRONIZE, FALSE, id);
#endif
    }
    ~ThreadWatch()
    {
#ifdef _WIN32
        if (m_hThread != nullptr)
            ::CloseHandle(m_hThread);
#endif
    }

    bool EndsWithin(int nMs) const
    {
#ifdef _WIN32
        return m_hThread != nullptr && ::WaitForSingleObject(m_hThread, nMs) == WAIT_OBJECT_0;
#else
        const std::string path = "/proc/self/task/" + std::to_string(m_id);
        return WaitUntil(
            [&] {
                struct stat st;
                return ::stat(path.c_str(), &st) != 0;
            },
            nMs);
#endif
    }

private:
    unsigned long m_id;
#ifdef _WIN32
    HANDLE m_hThread = nullptr;
#endif
};

struct StuckCase
{
    const char* mode;  // how the driver's GetRemoteCode hangs
    int stopTimeout;
};

void PrintTo(const StuckCase& c, std::ostream* os)
{
    *os << c.mode << ", time-out " << c.stopTimeout;
}

class StuckStep : public FakeDriverTest, public ::testing::WithParamInterface<StuckCase>
{};

TEST_P(StuckStep, IsTerminatedAfterTheTimeOutAndTheLibraryCanGo)
{
    const StuckCase& c = GetParam();
#ifdef RM_UNDER_TSAN
    // ThreadSanitizer delivers signals only at calls it intercepts, so our
    // layer cannot end a thread that spins without making any.
    if (std::string(c.mode) == "busy")
        GTEST_SKIP() << "a spinning thread cannot be ended under ThreadSanitizer";
#endif
    SetEnv("TAVRIXRC_FAKE_STUCK", c.mode);
    rmtest::BindDriver("full");
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));

    Probe probe;
    std::atomic<unsigned long> threadId{0};
    CTestWorker worker(
        probe,
        [&threadId] {
            threadId = ThreadWatch::CurrentId();
            CRemoteDriver::ReadCode();
            return true;
        },
        c.stopTimeout);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return CountCalls("GetRemoteCode") == 1; }));
    ThreadWatch watch(threadId);

    const auto start = std::chrono::steady_clock::now();
    worker.Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(THREAD_IDLE, worker.State());
    EXPECT_EQ(nullptr, worker.Handle());
    EXPECT_EQ(0, probe.runsEnded);
    EXPECT_TRUE(watch.EndsWithin(3000)) << "the stuck thread is still there";
    if (c.stopTimeout > 0)
        EXPECT_GE(elapsed, std::chrono::milliseconds(c.stopTimeout * 1000 - 20));
    else
        EXPECT_LT(elapsed, std::chrono::milliseconds(900)) << "a time-out of 0 waits for nothing";
    EXPECT_LT(elapsed, std::chrono::milliseconds(c.stopTimeout * 1000 + 5000));

    // Unloading the library must not pull the code from under a thread.
    g_driver.Release();
    ::Sleep(50);
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("UnInit", calls.back());
}

INSTANTIATE_TEST_SUITE_P(Modes, StuckStep,
                         ::testing::Values(StuckCase{"sleep", 1}, StuckCase{"busy", 1}, StuckCase{"sleep", 0},
                                           StuckCase{"busy", -1}),
                         [](const ::testing::TestParamInfo<StuckCase>& tp) {
                             return std::string(tp.param.mode) + "_timeout" +
                                    (tp.param.stopTimeout < 0 ? "Negative" : std::to_string(tp.param.stopTimeout));
                         });

}  // namespace
