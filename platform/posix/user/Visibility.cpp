// Showing and hiding windows.
#include "user/User.h"

using rmwin32::CWindow;
using rmwin32::WithWindow;

namespace {

// The style a show command makes of the old one; false for an unknown command.
bool ShownStyle(int nCmdShow, LONG_PTR style, LONG_PTR* pNewStyle)
{
    switch (nCmdShow)
    {
    case SW_HIDE:
        *pNewStyle = style & ~static_cast<LONG_PTR>(WS_VISIBLE);
        return true;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        *pNewStyle = style | WS_VISIBLE | WS_MINIMIZE;
        return true;
    case SW_SHOWNORMAL:
    case SW_SHOWMAXIMIZED:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
        *pNewStyle = (style | WS_VISIBLE) & ~static_cast<LONG_PTR>(WS_MINIMIZE);
        return true;
    case SW_SHOWNOACTIVATE:
    case SW_SHOW:
    case SW_SHOWNA:
        *pNewStyle = style | WS_VISIBLE;
        return true;
    default:
        return false;
    }
}

}  // namespace

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    LONG_PTR oldStyle = 0;
    LONG_PTR newStyle = 0;
    const BOOL bResult = WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        oldStyle = newStyle = window.style;
        if (!ShownStyle(nCmdShow, oldStyle, &newStyle))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        window.style = newStyle;
        // A window that becomes visible needs painting.
        if (!(oldStyle & WS_VISIBLE) && (newStyle & WS_VISIBLE))
            rmwin32::InvalidateLocked(window, true);
        return (oldStyle & WS_VISIBLE) ? TRUE : FALSE;
    });
    if ((oldStyle & WS_VISIBLE) != (newStyle & WS_VISIBLE))
    {
        rmwin32::ApiCall(
            [&] { return rmwin32::SendMessageImpl(hWnd, WM_SHOWWINDOW, (newStyle & WS_VISIBLE) ? TRUE : FALSE, 0); });
    }
    return bResult;
}

BOOL IsWindowVisible(HWND hWnd)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        // Visible only when every ancestor is, as on Windows.
        for (CWindow* p = &window; p != nullptr; p = p->hParent != nullptr ? rmwin32::FindLocked(p->hParent) : nullptr)
        {
            if (!(p->style & WS_VISIBLE))
                return FALSE;
        }
        return TRUE;
    });
}

BOOL IsIconic(HWND hWnd)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL { return (window.style & WS_MINIMIZE) != 0; });
}
