// TerminateThread: it really ends a thread stuck in a library, sleeping or
// spinning, so that the library can be unloaded right after; it waits for a
// thread inside our layer to leave it; a thread can end itself; a thread that
// cannot be ended is reported, not waited for forever.
#include <windows.h>

#include "KernelTestUtil.h"
#include "kernel/Kernel.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

#include <atomic>

using namespace kerneltest;

#if defined(__SANITIZE_THREAD__)
#define KERNEL_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KERNEL_TEST_TSAN 1
#endif
#endif

namespace {

struct CStuckCtx
{
    StuckFn fn = nullptr;
    volatile int entered = 0;
};

DWORD WINAPI CallStuck(LPVOID p)
{
    auto* ctx = static_cast<CStuckCtx*>(p);
    ctx->fn(&ctx->entered);
    return 1;  // never reached
}

// Ends a thread stuck in the helper library's `entry`, then unloads the
// library and runs fresh code in a new copy of it.
void EndStuckThreadAndUnload(const char* entry)
{
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    CStuckCtx ctx;
    ctx.fn = Proc<StuckFn>(lib, entry);
    ASSERT_NE(ctx.fn, nullptr);

    HANDLE h = CreateThread(nullptr, 0, CallStuck, &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return __atomic_load_n(&ctx.entered, __ATOMIC_SEQ_CST) != 0; }));
    EXPECT_EQ(WaitForSingleObject(h, 50), WAIT_TIMEOUT);

    EXPECT_TRUE(TerminateThread(h, 0xDEAD));
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 0xDEADu);
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_TRUE(FreeLibrary(lib));
    EXPECT_EQ(GetModuleHandleA(kLib), nullptr) << "still mapped: nothing was proven";

    lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Proc<IntFn>(lib, "answer")(), 42);
    EXPECT_TRUE(FreeLibrary(lib));

    // And threads still work.
    h = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 8; }, nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 8u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(TerminateThread, EndsAThreadSleepingInALibrary)
{
    EndStuckThreadAndUnload("stuck_sleep");
}

TEST(TerminateThread, EndsAThreadSpinningInALibrary)
{
#ifdef KERNEL_TEST_TSAN
    GTEST_SKIP() << "ThreadSanitizer delivers signals only at intercepted calls";
#else
    EndStuckThreadAndUnload("stuck_busy");
#endif
}

TEST(TerminateThread, WaitsUntilTheThreadLeavesTheLayer)
{
    struct Ctx
    {
        std::atomic<bool> inLayer{false};
        std::atomic<bool> sawRequest{false};
        std::atomic<bool> wakerReadable{false};
        std::atomic<bool> leftLayer{false};
        std::atomic<bool> passedPoint{false};
    } ctx;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            {
                rmwin32::CLayerScope scope;
                c->inLayer = true;
                for (int i = 0; i < 500 && !rmwin32::TerminationRequested(); ++i)
                    Sleep(10);
                c->sawRequest = rmwin32::TerminationRequested();
                pollfd fd = {rmwin32::CurrentWaker()->Fd(), POLLIN, 0};
                c->wakerReadable = poll(&fd, 1, 0) == 1;
                // Long enough for several re-sent signals to arrive here.
                Sleep(300);
                c->leftLayer = true;
            }
            rmwin32::TerminationPoint();
            c->passedPoint = true;
            return 1;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ctx.inLayer.load(); }));

    EXPECT_TRUE(TerminateThread(h, 77));
    EXPECT_TRUE(ctx.sawRequest);
    EXPECT_TRUE(ctx.wakerReadable);
    EXPECT_TRUE(ctx.leftLayer);
    EXPECT_FALSE(ctx.passedPoint);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 77u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(TerminateThread, AWaitInsideTheLayerGivesUp)
{
    std::atomic<bool> release{false};
    HANDLE held = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            WaitUntil([&] { return static_cast<std::atomic<bool>*>(p)->load(); }, 30000);
            return 5;
        },
        &release, 0, nullptr);
    ASSERT_NE(held, nullptr);

    struct Ctx
    {
        HANDLE target;
        std::atomic<bool> waiting{false};
        std::atomic<bool> returned{false};
    } ctx{held, {}, {}};
    HANDLE waiter = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            c->waiting = true;
            WaitForSingleObject(c->target, INFINITE);
            c->returned = true;
            return 1;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(waiter, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ctx.waiting.load(); }));
    Sleep(30);  // into the wait

    EXPECT_TRUE(TerminateThread(waiter, 9));
    EXPECT_FALSE(ctx.returned);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_EQ(code, 9u);
    EXPECT_TRUE(GetExitCodeThread(held, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    release = true;
    EXPECT_EQ(WaitForSingleObject(held, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(waiter));
    EXPECT_TRUE(CloseHandle(held));
}

TEST(TerminateThread, AThreadCanEndItself)
{
    struct Ctx
    {
        std::atomic<HANDLE> self{nullptr};
        std::atomic<bool> continued{false};
    } ctx;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            WaitUntil([&] { return c->self.load() != nullptr; });
            TerminateThread(c->self.load(), 5);
            c->continued = true;
            return 1;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ctx.self = h;
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(ctx.continued);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(TerminateThread, AThreadBlockingSignalsIsReportedNotAwaitedForever)
{
    std::atomic<bool> blocked{false};
    std::atomic<bool> release{false};
    struct Ctx
    {
        std::atomic<bool>* blocked;
        std::atomic<bool>* release;
    } ctx{&blocked, &release};
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Ctx*>(p);
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            *c->blocked = true;
            WaitUntil([&] { return c->release->load(); }, 30000);
            return 4;
        },
        &ctx, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return blocked.load(); }));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TerminateThread(h, 6));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    release = true;
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 4u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(TerminateThread, AnEndedThreadKeepsItsExitCode)
{
    HANDLE h = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 2; }, nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    TerminateThread(h, 3);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 2u);
    EXPECT_TRUE(CloseHandle(h));
}

}  // namespace
