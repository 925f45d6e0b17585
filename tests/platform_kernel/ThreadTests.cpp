// Threads and their handles: the end signals the handle with the exit code,
// only once the thread's teardown has run, waits time out, closed and made-up handles fail, priorities, per-thread last
// error, Sleep and the tick.
#include <windows.h>

#include "KernelTestUtil.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace kerneltest;

namespace {

// A thread that runs until released.
struct CHeldThread
{
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    DWORD exitCode = 0;

    static DWORD WINAPI Main(LPVOID p)
    {
        auto* self = static_cast<CHeldThread*>(p);
        WaitUntil([&] { return self->release.load(); }, 30000);
        const DWORD code = self->exitCode;
        // Last touch: the owner may destroy *self once it sees this.
        self->finished = true;
        return code;
    }
};

TEST(ThreadHandle, SignalledAtTheEndWithTheExitCode)
{
    struct Ctx
    {
        std::atomic<DWORD> seenId{0};
        LPVOID seenParam = nullptr;
    } ctx;
    DWORD id = 0;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            c->seenParam = p;
            c->seenId = GetCurrentThreadId();
            return 1234567;
        },
        &ctx, 0, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    // Stays signalled.
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 1234567u);
    EXPECT_EQ(ctx.seenParam, &ctx);
    EXPECT_EQ(ctx.seenId.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(h));

    // The thread id is optional.
    h = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(h));
}

// Written by the helper library's key destructor in the thread's teardown.
int g_nTeardownWrote = 0;

TEST(ThreadHandle, SignalledOnlyOnceTheThreadIsGone)
{
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    struct Ctx
    {
        void (*setSlowKey)(int*);
        std::atomic<bool> returned{false};
    } ctx;
    ctx.setSlowKey = Proc<void (*)(int*)>(lib, "set_slow_key");
    ASSERT_NE(ctx.setSlowKey, nullptr);
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            c->setSlowKey(&g_nTeardownWrote);
            c->returned = true;
            return 6;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ctx.returned.load(); }));
    const DWORD early = WaitForSingleObject(h, 0);
    DWORD earlyCode = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &earlyCode));
    if (__atomic_load_n(&g_nTeardownWrote, __ATOMIC_SEQ_CST) == 0)
    {
        EXPECT_EQ(early, WAIT_TIMEOUT);
        EXPECT_EQ(earlyCode, static_cast<DWORD>(STILL_ACTIVE));
    }

    // Several waiters at once, with and without a bound: one joins, all see
    // the end only after the teardown.
    DWORD otherResult = WAIT_FAILED;
    int otherSaw = 0;
    std::thread other([&] {
        otherResult = WaitForSingleObject(h, INFINITE);
        otherSaw = __atomic_load_n(&g_nTeardownWrote, __ATOMIC_SEQ_CST);
    });
    const DWORD result = WaitForSingleObject(h, 5000);
    const int saw = __atomic_load_n(&g_nTeardownWrote, __ATOMIC_SEQ_CST);
    other.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(otherResult, WAIT_OBJECT_0);
    EXPECT_EQ(otherSaw, 1);
    // Unloading now would run the destructor in unmapped code.
    ASSERT_EQ(saw, 1) << "signalled before the thread's teardown";
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 6u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_TRUE(FreeLibrary(lib));
}

TEST(ThreadHandle, WaitTimesOutWhileTheThreadRuns)
{
    CHeldThread held;
    held.exitCode = 3;
    HANDLE h = CreateThread(nullptr, 0, CHeldThread::Main, &held, 0, nullptr);
    ASSERT_NE(h, nullptr);

    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(h, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    held.release = true;
    // As the worker's owner waits: in 10 ms slices.
    DWORD result = WAIT_TIMEOUT;
    for (int i = 0; i < 500 && result == WAIT_TIMEOUT; ++i)
        result = WaitForSingleObject(h, 10);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(ThreadHandle, ClosedAndMadeUpHandlesFail)
{
    HANDLE h = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(CloseHandle(h));

    int local = 0;
    for (HANDLE bad : {h, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)),
                       static_cast<HANDLE>(&local), reinterpret_cast<HANDLE>(static_cast<intptr_t>(4))})
    {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        DWORD code = 0;
        EXPECT_FALSE(GetExitCodeThread(bad, &code));
        EXPECT_FALSE(SetThreadPriority(bad, THREAD_PRIORITY_NORMAL));
        EXPECT_EQ(GetThreadPriority(bad), THREAD_PRIORITY_ERROR_RETURN);
        EXPECT_FALSE(TerminateThread(bad, 0));
    }
}

TEST(ThreadHandle, ClosingBeforeTheEndLetsTheThreadFinish)
{
    CHeldThread held;
    HANDLE h = CreateThread(nullptr, 0, CHeldThread::Main, &held, 0, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    held.release = true;
    EXPECT_TRUE(WaitUntil([&] { return held.finished.load(); }));
}

TEST(ThreadHandle, CreationArgumentsAreChecked)
{
    SetLastError(0);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    // Suspended creation is not supported; failing beats running early.
    EXPECT_EQ(CreateThread(
                  nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0x4, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A large stack is honoured: a thread using 4 MiB of it survives.
    HANDLE h = CreateThread(
        nullptr, 8u << 20,
        [](LPVOID) -> DWORD {
            volatile char big[4u << 20];
            big[0] = 1;
            big[sizeof big - 1] = 2;
            return static_cast<DWORD>(big[0] + big[sizeof big - 1]);
        },
        nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(ThreadHandle, PriorityIsRecordedAndLoweringReachesTheThread)
{
    CHeldThread held;
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, CHeldThread::Main, &held, 0, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_NORMAL);

    errno = 0;
    const int baseNice = getpriority(PRIO_PROCESS, id);
    ASSERT_EQ(errno, 0);
    EXPECT_TRUE(SetThreadPriority(h, THREAD_PRIORITY_LOWEST));
    EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_LOWEST);
    if (baseNice < 19)
    {
        EXPECT_GT(getpriority(PRIO_PROCESS, id), baseNice);
    }

    // Raising needs no privilege to succeed, as on Windows.
    for (int p : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                  THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL})
    {
        EXPECT_TRUE(SetThreadPriority(h, p)) << p;
        EXPECT_EQ(GetThreadPriority(h), p);
    }
    for (int bad : {3, -3, 14, 16, -16, THREAD_PRIORITY_ERROR_RETURN})
    {
        SetLastError(0);
        EXPECT_FALSE(SetThreadPriority(h, bad)) << bad;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_TIME_CRITICAL);

    held.release = true;
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    // Recorded still after the end, without touching a thread id that may
    // now name another thread.
    EXPECT_TRUE(SetThreadPriority(h, THREAD_PRIORITY_LOWEST));
    EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_LOWEST);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(LastError, IsPerThread)
{
    SetLastError(1234);
    struct Ctx
    {
        DWORD seenAtStart = 77;
        DWORD seenAfterSet = 0;
    } ctx;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            c->seenAtStart = GetLastError();
            SetLastError(99);
            c->seenAfterSet = GetLastError();
            return 0;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ctx.seenAtStart, 0u);
    EXPECT_EQ(ctx.seenAfterSet, 99u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), 1234u);
}

void IgnoreSignal(int) {}

TEST(Sleep, IsNotShortenedBySignals)
{
    struct sigaction action = {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // without SA_RESTART, nanosleep returns EINTR
    struct sigaction old;
    ASSERT_EQ(sigaction(SIGUSR2, &action, &old), 0);

    struct Ctx
    {
        std::atomic<bool> started{false};
        pthread_t thread{};
        std::chrono::steady_clock::duration slept{};
    } ctx;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            c->thread = pthread_self();
            const auto start = std::chrono::steady_clock::now();
            c->started = true;
            Sleep(300);
            c->slept = std::chrono::steady_clock::now() - start;
            return 0;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ctx.started.load(); }));
    for (int i = 0; i < 5; ++i)
    {
        Sleep(20);
        if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
            break;
        pthread_kill(ctx.thread, SIGUSR2);
    }
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_GE(ctx.slept, std::chrono::milliseconds(300));
    EXPECT_TRUE(CloseHandle(h));
    sigaction(SIGUSR2, &old, nullptr);
}

TEST(Sleep, TickCountAdvancesAcrossASleep)
{
    const DWORD before = GetTickCount();
    Sleep(30);
    const DWORD after = GetTickCount();
    EXPECT_GE(after - before, 30u);
    EXPECT_LT(after - before, 5000u);
    Sleep(0);  // yields and returns
}

}  // namespace
