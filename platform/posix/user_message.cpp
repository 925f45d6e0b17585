// Message queues, one per thread: posted messages, messages sent from other
// threads, WM_QUIT and WM_PAINT, and the waits that go with them. A thread
// that waits for the answer to its own send keeps handling what other
// threads send to it, so two threads that send to each other never deadlock.
#include "user_state.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rmwin32 {
namespace user {

namespace {

// WM_GETTEXT crossing threads goes through a buffer of this size at most.
const size_t kMaxMarshalledText = 1u << 20;

// Set for good once the thread's queue has ended. Kept apart from the
// holder, which is gone by then: at process exit the main thread's
// thread-locals are destroyed before the static objects whose destructors
// may still ask for the queue.
thread_local bool t_bQueueEnded = false;

// Ends the thread's queue when the thread ends: its windows go, and every
// send still waiting on them fails at once.
struct CQueueHolder
{
    std::shared_ptr<CQueue> pQueue;

    CQueueHolder() = default;
    CQueueHolder(const CQueueHolder&) = delete;
    CQueueHolder& operator=(const CQueueHolder&) = delete;

    ~CQueueHolder()
    {
        t_bQueueEnded = true;
        if (pQueue == nullptr)
            return;
        std::lock_guard<std::mutex> lock(Lock());
        pQueue->bAlive = false;
        for (const auto& pSent : pQueue->sent)
            FailSentLocked(pSent);
        pQueue->sent.clear();
        for (const auto& pSent : pQueue->running)
            FailSentLocked(pSent);
        pQueue->running.clear();
        pQueue->posted.clear();
        ForgetThreadWindowsLocked(pQueue.get());
    }
};

thread_local CQueueHolder t_queue;
thread_local IdleWaitFn t_pfnIdleWait = nullptr;

bool InRange(UINT message, UINT nMin, UINT nMax)
{
    return (nMin == 0 && nMax == 0) || (nMin <= message && message <= nMax);
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool PassesWindowFilterLocked(HWND hFilter, HWND hMessage)
{
    if (hFilter == nullptr)
        return true;
    if (hFilter == kThreadMessagesOnly)
        return hMessage == nullptr;
    return hMessage == hFilter || IsDescendantLocked(hFilter, hMessage);
}

void WaitForWake(int fd)
{
    struct pollfd pfd = { fd, POLLIN, 0 };
    while (poll(&pfd, 1, -1) < 0 && errno == EINTR) {
    }
}

// Runs one message another thread sent to this one and hands the answer
// back. The window may have gone since it was queued.
void HandleSent(const std::shared_ptr<CSentMessage>& pSent)
{
    WNDPROC pfnProc = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (pSent->state != CSentMessage::State::Queued)
            return;
        CWindow* pWindow = FindLocked(pSent->hWnd);
        if (pWindow == nullptr) {
            FailSentLocked(pSent);
            return;
        }
        pfnProc = pWindow->pfnProc;
        pSent->state = CSentMessage::State::Running;
        t_queue.pQueue->running.push_back(pSent);
    }

    LPARAM lParam = pSent->lParam;
    if (pSent->message == WM_SETTEXT && lParam != 0)
        lParam = reinterpret_cast<LPARAM>(pSent->textIn.c_str());
    else if (pSent->message == WM_GETTEXT)
        lParam = reinterpret_cast<LPARAM>(pSent->textOut.empty() ? nullptr : pSent->textOut.data());

    const LRESULT result = pfnProc(pSent->hWnd, pSent->message, pSent->wParam, lParam);

    std::lock_guard<std::mutex> lock(Lock());
    auto& running = t_queue.pQueue->running;
    running.erase(std::remove(running.begin(), running.end(), pSent), running.end());
    if (pSent->state == CSentMessage::State::Running) {
        pSent->state = CSentMessage::State::Done;
        pSent->result = result;
        pSent->pSenderWaker->Wake();
    }
}

// Hands every message other threads have sent to this one to its window.
void HandleAllSent()
{
    CQueue* pQueue = t_queue.pQueue.get();
    if (pQueue == nullptr)
        return;
    for (;;) {
        std::shared_ptr<CSentMessage> pSent;
        {
            std::lock_guard<std::mutex> lock(Lock());
            if (pQueue->sent.empty())
                return;
            pSent = pQueue->sent.front();
            pQueue->sent.pop_front();
        }
        HandleSent(pSent);
    }
}

LRESULT SendToOtherThread(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                          const std::shared_ptr<CQueue>& pTarget)
{
    CLayerScope scope;
    auto pSent = std::make_shared<CSentMessage>();
    pSent->hWnd = hWnd;
    pSent->message = message;
    pSent->wParam = wParam;
    pSent->lParam = lParam;
    if (message == WM_SETTEXT && lParam != 0)
        pSent->textIn = reinterpret_cast<LPCSTR>(lParam);
    if (message == WM_GETTEXT) {
        const size_t nSize = lParam != 0 ? std::min<size_t>(wParam, kMaxMarshalledText) : 0;
        pSent->textOut.assign(nSize, '\0');
        pSent->wParam = nSize;
    }
    std::shared_ptr<CWaker> pWaker = CurrentWaker();
    pSent->pSenderWaker = pWaker;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!pTarget->bAlive || FindLocked(hWnd) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        pTarget->sent.push_back(pSent);
        pTarget->pWaker->Wake();
    }

    for (;;) {
        pWaker->Drain();
        std::shared_ptr<CSentMessage> pIncoming;
        {
            std::lock_guard<std::mutex> lock(Lock());
            if (pSent->state == CSentMessage::State::Done) {
                if (message == WM_GETTEXT && !pSent->textOut.empty()) {
                    const size_t nCopy = std::min(static_cast<size_t>(std::max<LRESULT>(pSent->result, 0)),
                                                  pSent->textOut.size() - 1);
                    std::memcpy(reinterpret_cast<char*>(lParam), pSent->textOut.data(), nCopy);
                    reinterpret_cast<char*>(lParam)[nCopy] = '\0';
                }
                return pSent->result;
            }
            if (pSent->state == CSentMessage::State::Failed) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return 0;
            }
            if (TerminationRequested()) {
                // Nothing of the caller's is in the record, so a message the
                // receiver has started may finish without us.
                auto& sent = pTarget->sent;
                sent.erase(std::remove(sent.begin(), sent.end(), pSent), sent.end());
                pSent->state = CSentMessage::State::Failed;
                return 0;
            }
            CQueue* pOwn = t_queue.pQueue.get();
            if (pOwn != nullptr && !pOwn->sent.empty()) {
                pIncoming = pOwn->sent.front();
                pOwn->sent.pop_front();
            }
        }
        if (pIncoming != nullptr)
            HandleSent(pIncoming);
        else
            WaitForWake(pWaker->Fd());
    }
}

// What PeekMessageA does apart from its termination point. Sets *pbError for
// a bad window filter.
BOOL PeekImpl(LPMSG lpMsg, HWND hWnd, UINT nMin, UINT nMax, UINT wRemoveMsg, bool* pbError)
{
    CLayerScope scope;
    *pbError = false;
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        *pbError = true;
        return FALSE;
    }
    std::shared_ptr<CQueue> pQueue = CurrentQueue();
    if (pQueue == nullptr)
        return FALSE;
    if (hWnd != nullptr && hWnd != kThreadMessagesOnly) {
        std::lock_guard<std::mutex> lock(Lock());
        if (FindOrFailLocked(hWnd) == nullptr) {
            *pbError = true;
            return FALSE;
        }
    }

    HandleAllSent();

    std::lock_guard<std::mutex> lock(Lock());
    auto& posted = pQueue->posted;
    for (auto it = posted.begin(); it != posted.end(); ++it) {
        if (!InRange(it->message, nMin, nMax) || !PassesWindowFilterLocked(hWnd, it->hwnd))
            continue;
        *lpMsg = *it;
        if (wRemoveMsg & PM_REMOVE)
            posted.erase(it);
        return TRUE;
    }
    if (pQueue->bQuit && InRange(WM_QUIT, nMin, nMax)) {
        *lpMsg = MSG();
        lpMsg->message = WM_QUIT;
        lpMsg->wParam = static_cast<WPARAM>(pQueue->nQuitCode);
        lpMsg->time = GetTickCount();
        if (wRemoveMsg & PM_REMOVE)
            pQueue->bQuit = false;
        return TRUE;
    }
    // WM_PAINT stays until the window is painted, whatever wRemoveMsg says.
    HWND hInvalid = nullptr;
    if (InRange(WM_PAINT, nMin, nMax) && hWnd != kThreadMessagesOnly &&
        FindInvalidWindowLocked(pQueue.get(), hWnd, &hInvalid)) {
        *lpMsg = MSG();
        lpMsg->hwnd = hInvalid;
        lpMsg->message = WM_PAINT;
        lpMsg->time = GetTickCount();
        return TRUE;
    }
    return FALSE;
}

BOOL GetImpl(LPMSG lpMsg, HWND hWnd, UINT nMin, UINT nMax)
{
    CLayerScope scope;
    std::shared_ptr<CQueue> pQueue = CurrentQueue();
    if (pQueue == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    CWaker& waker = *pQueue->pWaker;
    for (;;) {
        waker.Drain();
        bool bError = false;
        if (PeekImpl(lpMsg, hWnd, nMin, nMax, PM_REMOVE, &bError))
            return lpMsg->message == WM_QUIT ? 0 : 1;
        if (bError)
            return -1;
        if (TerminationRequested())
            return -1;
        if (t_pfnIdleWait != nullptr)
            t_pfnIdleWait(waker.Fd());
        else
            WaitForWake(waker.Fd());
    }
}

}  // namespace

std::shared_ptr<CQueue> CurrentQueue()
{
    if (t_bQueueEnded)
        return nullptr;
    if (t_queue.pQueue == nullptr) {
        auto pQueue = std::make_shared<CQueue>();
        pQueue->threadId = GetCurrentThreadId();
        pQueue->pWaker = CurrentWaker();
        t_queue.pQueue = pQueue;
    }
    return t_queue.pQueue;
}

bool IsOwnWindowLocked(const CWindow& window)
{
    return !t_bQueueEnded && window.pQueue.get() == t_queue.pQueue.get();
}

void FailSentLocked(const std::shared_ptr<CSentMessage>& pSent)
{
    if (pSent->state == CSentMessage::State::Done || pSent->state == CSentMessage::State::Failed)
        return;
    pSent->state = CSentMessage::State::Failed;
    pSent->pSenderWaker->Wake();
}

void WakeOwnerLocked(const CWindow& window)
{
    window.pQueue->pWaker->Wake();
}

LRESULT SendMessageImpl(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC pfnProc = nullptr;
    {
        CLayerScope scope;
        std::shared_ptr<CQueue> pTarget;
        {
            std::lock_guard<std::mutex> lock(Lock());
            CWindow* pWindow = FindOrFailLocked(hWnd);
            if (pWindow == nullptr)
                return 0;
            if (IsOwnWindowLocked(*pWindow))
                pfnProc = pWindow->pfnProc;
            else
                pTarget = pWindow->pQueue;
        }
        if (pTarget != nullptr)
            return SendToOtherThread(hWnd, message, wParam, lParam, pTarget);
    }
    // The window's own thread: a plain call, outside the layer, so that a
    // procedure that never returns can still be terminated.
    return pfnProc(hWnd, message, wParam, lParam);
}

}  // namespace user

int GetQueueWakeFd()
{
    std::shared_ptr<user::CQueue> pQueue = user::CurrentQueue();
    return pQueue != nullptr ? pQueue->pWaker->Fd() : CurrentWaker()->Fd();
}

void SetIdleWait(IdleWaitFn fn)
{
    user::t_pfnIdleWait = fn;
}

}  // namespace rmwin32

using namespace rmwin32;
using namespace rmwin32::user;

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return ApiCall([&] { return SendMessageImpl(hWnd, Msg, wParam, lParam); });
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return ApiCall([&]() -> BOOL {
        CLayerScope scope;
        MSG msg = {};
        msg.hwnd = hWnd;
        msg.message = Msg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        msg.time = GetTickCount();
        std::shared_ptr<CQueue> pQueue;
        if (hWnd == nullptr) {
            pQueue = CurrentQueue();
            if (pQueue == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
        }
        std::lock_guard<std::mutex> lock(Lock());
        if (hWnd != nullptr) {
            CWindow* pWindow = FindOrFailLocked(hWnd);
            if (pWindow == nullptr)
                return FALSE;
            pQueue = pWindow->pQueue;
        }
        if (!pQueue->bAlive) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        pQueue->posted.push_back(msg);
        pQueue->pWaker->Wake();
        return TRUE;
    });
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    return ApiCall([&] {
        bool bError = false;
        return PeekImpl(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg, &bError);
    });
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    return ApiCall([&] { return GetImpl(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax); });
}

LRESULT DispatchMessageA(const MSG* lpMsg)
{
    return ApiCall([&]() -> LRESULT {
        if (lpMsg == nullptr || lpMsg->hwnd == nullptr)
            return 0;
        WNDPROC pfnProc = nullptr;
        {
            CLayerScope scope;
            std::lock_guard<std::mutex> lock(Lock());
            CWindow* pWindow = FindOrFailLocked(lpMsg->hwnd);
            if (pWindow == nullptr)
                return 0;
            // Only the owning thread runs a window's procedure.
            if (!IsOwnWindowLocked(*pWindow)) {
                SetLastError(kErrorAccessDenied);
                return 0;
            }
            pfnProc = pWindow->pfnProc;
        }
        return pfnProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    });
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    // No keyboard layout to translate through: the terminal posts WM_CHAR
    // itself.
    (void)lpMsg;
    return FALSE;
}

void PostQuitMessage(int nExitCode)
{
    ApiCall([&] {
        CLayerScope scope;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return 0;
        std::lock_guard<std::mutex> lock(Lock());
        pQueue->bQuit = true;
        pQueue->nQuitCode = nExitCode;
        pQueue->pWaker->Wake();
        return 0;
    });
}

