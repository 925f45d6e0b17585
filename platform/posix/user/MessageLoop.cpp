// Taking messages out of the calling thread's queue and handing them to their
// windows. Sent messages are handled first, then posted ones, then WM_QUIT,
// then WM_PAINT for a window that needs painting.
#include "user/User.h"

namespace rmwin32 {
namespace {

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool InRange(UINT message, UINT nMin, UINT nMax)
{
    return (nMin == 0 && nMax == 0) || (nMin <= message && message <= nMax);
}

bool PassesWindowFilterLocked(HWND hFilter, HWND hMessage)
{
    if (hFilter == nullptr)
        return true;
    if (hFilter == kThreadMessagesOnly)
        return hMessage == nullptr;
    return hMessage == hFilter || IsDescendantLocked(hFilter, hMessage);
}

// False (with the error set) for a window filter that names no window.
bool IsValidFilter(HWND hFilter)
{
    if (hFilter == nullptr || hFilter == kThreadMessagesOnly)
        return true;
    std::lock_guard<std::mutex> lock(Lock());
    return FindOrFailLocked(hFilter) != nullptr;
}

MSG QueueMessage(HWND hWnd, UINT message, WPARAM wParam)
{
    MSG msg = MSG();
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.time = GetTickCount();
    return msg;
}

// The first message that passes the filters, if any; WM_PAINT stays until the
// window is painted, whatever wRemoveMsg says.
bool TakeMessageLocked(CQueue& queue, LPMSG lpMsg, HWND hWnd, UINT nMin, UINT nMax, UINT wRemoveMsg)
{
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it)
    {
        if (!InRange(it->message, nMin, nMax) || !PassesWindowFilterLocked(hWnd, it->hwnd))
            continue;
        *lpMsg = *it;
        if (wRemoveMsg & PM_REMOVE)
            queue.posted.erase(it);
        return true;
    }
    if (queue.bQuit && InRange(WM_QUIT, nMin, nMax))
    {
        *lpMsg = QueueMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.nQuitCode));
        if (wRemoveMsg & PM_REMOVE)
            queue.bQuit = false;
        return true;
    }
    HWND hInvalid = nullptr;
    if (InRange(WM_PAINT, nMin, nMax) && hWnd != kThreadMessagesOnly &&
        FindInvalidWindowLocked(&queue, hWnd, &hInvalid))
    {
        *lpMsg = QueueMessage(hInvalid, WM_PAINT, 0);
        return true;
    }
    return false;
}

// What PeekMessageA does once its arguments are checked.
bool PeekImpl(CQueue& queue, LPMSG lpMsg, HWND hWnd, UINT nMin, UINT nMax, UINT wRemoveMsg)
{
    HandleAllSent();
    std::lock_guard<std::mutex> lock(Lock());
    return TakeMessageLocked(queue, lpMsg, hWnd, nMin, nMax, wRemoveMsg);
}

BOOL GetImpl(LPMSG lpMsg, HWND hWnd, UINT nMin, UINT nMax)
{
    CLayerScope scope;
    std::shared_ptr<CQueue> pQueue = CurrentQueue();
    if (pQueue == nullptr || lpMsg == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    CWaker& waker = *pQueue->pWaker;
    for (;;)
    {
        waker.Drain();
        if (!IsValidFilter(hWnd))
            return -1;
        if (PeekImpl(*pQueue, lpMsg, hWnd, nMin, nMax, PM_REMOVE))
            return lpMsg->message == WM_QUIT ? 0 : 1;
        if (TerminationRequested())
            return -1;
        if (IdleWaitFn pfnIdleWait = CurrentIdleWait())
            pfnIdleWait(waker.Fd());
        else
            WaitForWake(waker.Fd());
    }
}

}  // namespace
}  // namespace rmwin32

using namespace rmwin32;

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    return ApiCall([&]() -> BOOL {
        CLayerScope scope;
        if (lpMsg == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr || !IsValidFilter(hWnd))
            return FALSE;
        return PeekImpl(*pQueue, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg) ? TRUE : FALSE;
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
            if (!IsOwnWindowLocked(*pWindow))
            {
                SetLastError(ERROR_ACCESS_DENIED);
                return 0;
            }
            pfnProc = pWindow->pfnProc;
        }
        return pfnProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    });
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    // No keyboard layout to translate through: the display posts WM_CHAR
    // itself.
    (void)lpMsg;
    return FALSE;
}
