// The invalid state of a window and the WM_PAINT cycle that clears it.
#include "user/User.h"

namespace rmwin32 {

void InvalidateLocked(CWindow& window, bool bErase)
{
    window.bInvalid = true;
    window.bErase = window.bErase || bErase;
    WakeOwnerLocked(window);
}

}  // namespace rmwin32

using rmwin32::CWindow;
using rmwin32::WithWindow;

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase)
{
    (void)lpRect;  // the whole window is repainted in any case
    if (hWnd == nullptr)
        return TRUE;
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        rmwin32::InvalidateLocked(window, bErase != FALSE);
        return TRUE;
    });
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    bool bErase = false;
    // The device context is the window's own handle value: the display
    // draws by window, and DrawIcon only needs it to be non-null.
    HDC hdc = reinterpret_cast<HDC>(hWnd);
    const BOOL bValid = WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        if (lpPaint == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        bErase = window.bErase;
        window.bInvalid = window.bErase = false;
        *lpPaint = PAINTSTRUCT();
        lpPaint->hdc = hdc;
        lpPaint->rcPaint = {0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
        return TRUE;
    });
    if (!bValid)
        return nullptr;
    if (bErase)
    {
        // The painter erases only what WM_ERASEBKGND left alone.
        lpPaint->fErase = rmwin32::ApiCall([&] {
                              return rmwin32::SendMessageImpl(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
                          }) == 0;
    }
    return hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    (void)lpPaint;
    return WithWindow(hWnd, BOOL(FALSE), [](CWindow&) -> BOOL { return TRUE; });
}
