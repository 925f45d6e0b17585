// The default window procedure: what a window does with a message its own
// procedure passes on.
#include "kernel/Strings.h"
#include "user/ClassRegistry.h"
#include "user/User.h"

using rmwin32::CWindow;
using rmwin32::WithWindow;

namespace {

LRESULT SetText(HWND hWnd, const std::string& text)
{
    return WithWindow(hWnd, LRESULT(FALSE), [&](CWindow& window) -> LRESULT {
        window.text = text;
        return TRUE;
    });
}

LRESULT OnNcCreate(HWND hWnd, const CREATESTRUCTA* pcs)
{
    if (pcs != nullptr && rmwin32::IsTextPointer(pcs->lpszName))
        SetText(hWnd, pcs->lpszName);
    return TRUE;
}

LRESULT OnGetText(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
        return static_cast<LRESULT>(
            rmwin32::CopyTruncated(window.text.data(), window.text.size(), reinterpret_cast<LPSTR>(lParam), wParam));
    });
}

// The slot WM_SETICON and WM_GETICON name, or null for another size.
HICON* IconSlot(CWindow& window, WPARAM wParam)
{
    return wParam == ICON_BIG ? &window.hIconBig : wParam == ICON_SMALL ? &window.hIconSmall : nullptr;
}

LRESULT OnSetIcon(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
        HICON* phIcon = IconSlot(window, wParam);
        if (phIcon == nullptr)
            return 0;
        HICON hOld = *phIcon;
        *phIcon = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(hOld);
    });
}

LRESULT OnGetIcon(HWND hWnd, WPARAM wParam)
{
    return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
        HICON* phIcon = IconSlot(window, wParam);
        return phIcon != nullptr ? reinterpret_cast<LRESULT>(*phIcon) : 0;
    });
}

}  // namespace

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    switch (Msg)
    {
    case WM_NCCREATE:
        return OnNcCreate(hWnd, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_SETTEXT:
        return SetText(hWnd, lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "");
    case WM_GETTEXT:
        return OnGetText(hWnd, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return WithWindow(hWnd, LRESULT(0),
                          [&](CWindow& window) -> LRESULT { return static_cast<LRESULT>(window.text.size()); });
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps) != nullptr)
            EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_SETICON:
        return OnSetIcon(hWnd, wParam, lParam);
    case WM_GETICON:
        return OnGetIcon(hWnd, wParam);
    default:
        // WM_QUERYDRAGICON, WM_ERASEBKGND, WM_ICONERASEBKGND and the rest:
        // nothing drawn, nothing to report.
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (lpPrevWndFunc == nullptr)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}
