// Message queues: the order in which sent, posted, quit and paint messages
// come out, and sends between threads, including the ways they must fail
// instead of hanging.
#include "UserTestUtil.h"

#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <thread>

#include "kernel/Kernel.h"
#include "user/Queue.h"

namespace {

using usertest::CExpected;
using usertest::CSequence;
using usertest::CUserTest;
using usertest::ExpectNoMessages;
using usertest::ExpectSequence;
using usertest::kWparam;
using usertest::MakeWindow;
using usertest::Recorder;

const CExpected kSentBeforePosted[] = {{WM_USER + 1}, {WM_USER + 2}};
const CExpected kPostedThenPaint[] = {{WM_USER + 1}, {WM_USER + 2}, {WM_PAINT}};
const CExpected kPostedThenPaintWithErase[] = {{WM_USER + 1}, {WM_USER + 2}, {WM_PAINT}, {WM_ERASEBKGND}};
// The other thread's window, then ours: the nested send is handled while the
// outer one waits.
const CExpected kNestedSend[] = {{WM_USER + 1, kWparam, 5, 0}, {WM_USER + 2, kWparam, 6, 1}};

const auto kLiveness = std::chrono::seconds(2);

// Waits until the calling thread's queue has been woken, that is until
// another thread has queued something for it.
bool WaitForQueueWork()
{
    struct pollfd pfd = {rmwin32::GetQueueWakeFd(), POLLIN, 0};
    return poll(&pfd, 1, 5000) == 1;
}

void DrainQueueWake()
{
    rmwin32::CurrentWaker()->Drain();
}

// Removes and dispatches everything in the queue; returns what came out.
std::vector<UINT> PumpAll()
{
    std::vector<UINT> out;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        out.push_back(msg.message);
        if (msg.message == WM_QUIT)
            continue;
        DispatchMessageA(&msg);
        if (out.size() > 16)
            break;  // a message that never goes away
    }
    return out;
}

// A thread that owns one window and pumps its queue until told to end.
class COtherThread
{
public:
    explicit COtherThread(bool bPump = true) : m_bPump(bPump)
    {
        m_thread = std::thread([this] { Main(); });
        std::unique_lock<std::mutex> lock(m_lock);
        m_ready.wait(lock, [this] { return m_hWnd != nullptr; });
    }
    ~COtherThread() { Join(); }

    HWND Window() const { return m_hWnd; }
    DWORD ThreadId() const { return m_threadId; }

    // Ends the pump loop (a posted WM_QUIT) and waits for the thread.
    void Join()
    {
        if (!m_thread.joinable())
            return;
        if (m_bPump)
            PostMessageA(m_hWnd, WM_USER + 99, 0, 0);
        m_thread.join();
    }

    // For threads that do not pump: what they do instead, run once the
    // window exists.
    void RunInstead(std::function<void(HWND)> fn)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_fnInstead = std::move(fn);
        }
        m_ready.notify_all();
    }

private:
    void Main()
    {
        HWND hWnd = MakeWindow("other");
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_threadId = GetCurrentThreadId();
            m_hWnd = hWnd;
        }
        m_ready.notify_all();
        if (!m_bPump)
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_ready.wait(lock, [this] { return m_fnInstead != nullptr; });
            auto fn = m_fnInstead;
            lock.unlock();
            fn(hWnd);
            return;
        }
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        {
            if (msg.message == WM_USER + 99)
                break;
            DispatchMessageA(&msg);
        }
        DestroyWindow(hWnd);
    }

    bool m_bPump;
    std::function<void(HWND)> m_fnInstead;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_ready;
    HWND m_hWnd = nullptr;
    DWORD m_threadId = 0;
};

typedef CUserTest QueueOrder;

TEST_F(QueueOrder, SentMessagesComeBeforePostedOnes)
{
    HWND hWnd = Track(MakeWindow());
    Recorder().Take();
    PostMessageA(hWnd, WM_USER + 2, 0, 0);
    DrainQueueWake();
    LRESULT sendResult = 0;
    std::thread sender([&] { sendResult = SendMessageA(hWnd, WM_USER + 1, 0, 0); });
    ASSERT_TRUE(WaitForQueueWork());

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 2), msg.message);
    DispatchMessageA(&msg);
    sender.join();
    ExpectSequence(kSentBeforePosted, hWnd, "sent, then posted");
}

TEST_F(QueueOrder, PaintComesAfterPostedMessagesAndOnlyOnce)
{
    HWND hWnd = Track(MakeWindow());
    PumpAll();
    Recorder().Take();

    struct
    {
        BOOL bErase;
        CSequence sequence;
    } const kCases[] = {
        {FALSE, kPostedThenPaint},
        {TRUE, kPostedThenPaintWithErase},
    };
    for (const auto& c : kCases)
    {
        InvalidateRect(hWnd, nullptr, c.bErase);
        InvalidateRect(hWnd, nullptr, FALSE);
        PostMessageA(hWnd, WM_USER + 1, 0, 0);
        PostMessageA(hWnd, WM_USER + 2, 0, 0);
        const std::vector<UINT> kPumped = {WM_USER + 1, WM_USER + 2, WM_PAINT};
        EXPECT_EQ(kPumped, PumpAll()) << c.bErase;
        ExpectSequence(c.sequence, hWnd, c.bErase ? "with erase" : "without erase");
    }
}

TEST_F(QueueOrder, PaintStaysUntilTheWindowIsPainted)
{
    HWND hWnd = Track(MakeWindow());
    PumpAll();
    InvalidateRect(hWnd, nullptr, FALSE);
    MSG msg;
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(static_cast<UINT>(WM_PAINT), msg.message);
        EXPECT_EQ(hWnd, msg.hwnd);
    }
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    EXPECT_NE(nullptr, hdc);
    EXPECT_EQ(hdc, ps.hdc);
    EXPECT_TRUE(EndPaint(hWnd, &ps));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(QueueOrder, QuitComesAfterEveryPostedMessage)
{
    HWND hWnd = Track(MakeWindow());
    PumpAll();
    PostMessageA(hWnd, WM_USER + 1, 0, 0);
    PostQuitMessage(3);
    PostMessageA(nullptr, WM_USER + 2, 0, 0);
    MSG msg;
    const struct
    {
        BOOL bResult;
        UINT message;
        HWND hWnd;
    } kExpected[] = {{1, WM_USER + 1, hWnd}, {1, WM_USER + 2, nullptr}, {0, WM_QUIT, nullptr}};
    for (const auto& e : kExpected)
    {
        EXPECT_EQ(e.bResult, GetMessageA(&msg, nullptr, 0, 0));
        EXPECT_EQ(e.message, msg.message);
        EXPECT_EQ(e.hWnd, msg.hwnd);
    }
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(QueueOrder, FiltersSelectByWindowAndRange)
{
    HWND hA = Track(MakeWindow());
    HWND hChild = MakeWindow("", WS_CHILD, hA, 1);
    HWND hB = Track(MakeWindow());
    PumpAll();
    PostMessageA(hB, WM_USER + 1, 0, 0);
    PostMessageA(hChild, WM_USER + 2, 0, 0);
    PostMessageA(nullptr, WM_USER + 3, 0, 0);
    PostMessageA(hA, WM_USER + 4, 0, 0);

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hA, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 2), msg.message) << "a window filter takes its children's messages";
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 3), msg.message);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 4, WM_USER + 10, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 4), msg.message);
    EXPECT_FALSE(PeekMessageA(&msg, hB, WM_USER + 2, WM_USER + 4, PM_REMOVE));
    const std::vector<UINT> kRest = {WM_USER + 1, WM_USER + 2};
    EXPECT_EQ(kRest, PumpAll());

    HWND hDead = MakeWindow();
    DestroyWindow(hDead);
    SetLastError(0);
    EXPECT_EQ(-1, GetMessageA(&msg, hDead, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(0, DispatchMessageA(&msg)) << "no window, no procedure";
}

// The terminal's hook is where GetMessageA blocks, on the queue's descriptor.
TEST_F(QueueOrder, IdleWaitHookRunsWhenTheQueueIsEmpty)
{
    static int nHookFd;
    static int nCalls;
    nHookFd = -1;
    nCalls = 0;
    HWND hWnd = Track(MakeWindow());
    PumpAll();
    rmwin32::SetIdleWait([](int nWakeFd) {
        nHookFd = nWakeFd;
        if (++nCalls == 1)
            PostMessageA(nullptr, WM_USER + 5, 0, 0);
    });
    MSG msg;
    EXPECT_EQ(1, GetMessageA(&msg, nullptr, 0, 0));
    rmwin32::SetIdleWait(nullptr);
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), msg.message);
    EXPECT_EQ(1, nCalls);
    EXPECT_EQ(rmwin32::GetQueueWakeFd(), nHookFd);
    (void)hWnd;
}

typedef CUserTest CrossThread;

TEST_F(CrossThread, SendRunsOnTheOwnerAndReturnsItsResult)
{
    static std::atomic<DWORD> handlerThread;
    usertest::Answer() = [](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* pResult) {
        if (message != WM_USER + 7)
            return false;
        handlerThread = GetCurrentThreadId();
        *pResult = static_cast<LRESULT>(wParam * 3);
        return true;
    };
    COtherThread other;
    HWND hOther = other.Window();
    EXPECT_EQ(42, SendMessageA(hOther, WM_USER + 7, 14, 0));
    EXPECT_EQ(other.ThreadId(), handlerThread.load());
    EXPECT_EQ(other.ThreadId(), GetWindowThreadProcessId(hOther, nullptr));

    // Text crosses as the owner's WM_SETTEXT and WM_GETTEXT.
    EXPECT_TRUE(SetWindowTextA(hOther, "0123456789"));
    char szText[5];
    EXPECT_EQ(4, GetWindowTextA(hOther, szText, sizeof szText));
    EXPECT_STREQ("0123", szText);
    EXPECT_EQ(10, GetWindowTextLengthA(hOther));

    MSG msg = {hOther, WM_USER, 0, 0, 0, {}};
    EXPECT_EQ(0, DispatchMessageA(&msg)) << "only the owner runs a window's procedure";
    EXPECT_EQ(nullptr, SetFocus(hOther)) << "the focus is per thread";
    other.Join();
    EXPECT_FALSE(IsWindow(hOther));
}

// A sends to B, and B's handler sends back to A while A waits.
TEST_F(CrossThread, WaitingSenderHandlesWhatIsSentToIt)
{
    static HWND hMine;
    static LRESULT nInner;
    hMine = Track(MakeWindow());
    nInner = 0;
    usertest::Answer() = [](HWND hWnd, UINT message, WPARAM wParam, LPARAM, LRESULT* pResult) {
        if (message == WM_USER + 1)
        {
            // On the other thread: ask the waiting sender.
            nInner = SendMessageA(hMine, WM_USER + 2, wParam + 1, 0);
            *pResult = nInner * 10;
            return true;
        }
        if (message == WM_USER + 2)
        {
            EXPECT_EQ(hMine, hWnd);
            *pResult = static_cast<LRESULT>(wParam * 2);
            return true;
        }
        return false;
    };
    COtherThread other;
    Recorder().Take();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(120, SendMessageA(other.Window(), WM_USER + 1, 5, 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLiveness);
    EXPECT_EQ(12, nInner);
    ExpectSequence(kNestedSend, {other.Window(), hMine}, "nested send");
}

TEST_F(CrossThread, SendToAGoneWindowFailsAtOnce)
{
    COtherThread other;
    HWND hOther = other.Window();
    other.Join();  // the thread ends and takes its window with it
    EXPECT_FALSE(IsWindow(hOther));
    SetLastError(0);
    EXPECT_EQ(0, SendMessageA(hOther, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(PostMessageA(hOther, WM_USER, 0, 0));
}

// The owner never handles the send: it ends its thread, or destroys the
// window, once the send is queued; the sender must come back either way.
TEST_F(CrossThread, SendFailsWhenItsTargetGoesWhileItWaits)
{
    static std::atomic<bool> bDestroyed;
    const struct
    {
        const char* pszName;
        bool bDestroyOnly;
    } kCases[] = {{"thread ends", false}, {"window destroyed", true}};
    for (const auto& c : kCases)
    {
        bDestroyed = false;
        std::mutex lock;
        std::condition_variable cv;
        bool bSenderBack = false;
        COtherThread other(false);
        const bool bDestroyOnly = c.bDestroyOnly;
        other.RunInstead([&, bDestroyOnly](HWND hWnd) {
            EXPECT_TRUE(WaitForQueueWork());
            if (bDestroyOnly)
            {
                bDestroyed = true;
                DestroyWindow(hWnd);
                // Stay alive until the sender is back, so that only the
                // destruction can have released it.
                std::unique_lock<std::mutex> guard(lock);
                cv.wait(guard, [&] { return bSenderBack; });
            }
        });
        const auto start = std::chrono::steady_clock::now();
        SetLastError(0);
        EXPECT_EQ(0, SendMessageA(other.Window(), WM_USER + 3, 0, 0)) << c.pszName;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError()) << c.pszName;
        EXPECT_LT(std::chrono::steady_clock::now() - start, kLiveness) << c.pszName;
        EXPECT_EQ(c.bDestroyOnly, bDestroyed.load()) << c.pszName;
        {
            std::lock_guard<std::mutex> guard(lock);
            bSenderBack = true;
        }
        cv.notify_all();
        other.Join();
    }
}

// The worker's case: it is terminated while its send waits on a thread that
// is not pumping. The send is withdrawn, so the text never arrives.
DWORD WINAPI SendTextThread(LPVOID pParam)
{
    char szText[] = "from a thread about to end";
    SendMessageA(static_cast<HWND>(pParam), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szText));
    return 1;
}

TEST_F(CrossThread, TerminatedSenderWithdrawsItsMessage)
{
    HWND hWnd = Track(MakeWindow("kept"));
    PumpAll();
    DrainQueueWake();
    Recorder().Take();
    HANDLE hThread = CreateThread(nullptr, 0, SendTextThread, hWnd, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    ASSERT_TRUE(WaitForQueueWork());
    EXPECT_TRUE(TerminateThread(hThread, 9));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
    DWORD dwExit = 0;
    EXPECT_TRUE(GetExitCodeThread(hThread, &dwExit));
    EXPECT_EQ(9u, dwExit);
    CloseHandle(hThread);

    PumpAll();
    ExpectNoMessages("after the withdrawn send");
    char szText[32] = {};
    GetWindowTextA(hWnd, szText, sizeof szText);
    EXPECT_STREQ("kept", szText);
}

}  // namespace
