// Window and client rectangles. Windows do not move here: the rectangle is
// the one CreateWindowExA was given.
#include "user/User.h"

namespace {

// The window's rectangle, or with bClient its client area from (0, 0).
BOOL ReadRect(HWND hWnd, LPRECT lpRect, bool bClient)
{
    return rmwin32::WithWindow(hWnd, BOOL(FALSE), [&](rmwin32::CWindow& window) -> BOOL {
        if (lpRect == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const RECT& rc = window.rect;
        *lpRect = bClient ? RECT{0, 0, rc.right - rc.left, rc.bottom - rc.top} : rc;
        return TRUE;
    });
}

}  // namespace

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    return ReadRect(hWnd, lpRect, true);
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    return ReadRect(hWnd, lpRect, false);
}
