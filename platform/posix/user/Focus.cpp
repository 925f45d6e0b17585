// The keyboard focus, one per thread as on Windows.
#include "user/User.h"

using namespace rmwin32;

namespace {

// Moves the thread's focus record; FALSE (with the error set) when hWnd may
// not take it. *phOld is the window that had it.
BOOL MoveFocusLocked(CQueue& queue, HWND hWnd, HWND* phOld)
{
    if (hWnd != nullptr)
    {
        CWindow* pWindow = FindOrFailLocked(hWnd);
        if (pWindow == nullptr)
            return FALSE;
        // A window of another thread cannot take this thread's focus.
        if (pWindow->pQueue.get() != &queue)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    *phOld = FindLocked(queue.hFocus) != nullptr ? queue.hFocus : nullptr;
    queue.hFocus = hWnd;
    return TRUE;
}

}  // namespace

HWND SetFocus(HWND hWnd)
{
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        HWND hOld = nullptr;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return nullptr;
        {
            std::lock_guard<std::mutex> lock(Lock());
            if (!MoveFocusLocked(*pQueue, hWnd, &hOld))
                return nullptr;
            if (hOld == hWnd)
                return hOld;
        }
        if (hOld != nullptr)
            SendMessageImpl(hOld, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
        {
            // A WM_KILLFOCUS handler that moved the focus elsewhere wins.
            std::lock_guard<std::mutex> lock(Lock());
            if (pQueue->hFocus != hWnd)
                return hOld;
        }
        if (hWnd != nullptr)
            SendMessageImpl(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(hOld), 0);
        return hOld;
    });
}

HWND GetFocus(void)
{
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return nullptr;
        std::lock_guard<std::mutex> lock(Lock());
        return FindLocked(pQueue->hFocus) != nullptr ? pQueue->hFocus : nullptr;
    });
}
