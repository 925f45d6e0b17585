// Window and client rectangles. Windows do not move here: the rectangle is
// the one CreateWindowExA was given.
#include "user/User.h"

using rmwin32::CWindow;
using rmwin32::WithWindow;

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        if (lpRect == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = {0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
        return TRUE;
    });
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        if (lpRect == nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = window.rect;
        return TRUE;
    });
}
