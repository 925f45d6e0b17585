// Window longs: the fixed fields GetWindowLongPtrA names by index, and the
// class's extra bytes.
#include "user/User.h"

#include <unistd.h>

#include <cstring>

using rmwin32::CWindow;
using rmwin32::WithWindow;

namespace {

// The address of a LONG_PTR slot in the extra bytes, or null (with the error
// set) when it does not fit in them.
unsigned char* ExtraSlot(CWindow& window, int nIndex)
{
    if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > window.extra.size())
    {
        SetLastError(ERROR_INVALID_INDEX);
        return nullptr;
    }
    return window.extra.data() + nIndex;
}

// The field a fixed index names, or null for any other index.
LONG_PTR* FixedField(CWindow& window, int nIndex)
{
    switch (nIndex)
    {
    case GWLP_ID:
        return &window.id;
    case GWL_STYLE:
        return &window.style;
    case GWL_EXSTYLE:
        return &window.exStyle;
    case GWLP_USERDATA:
        return &window.userData;
    default:
        return nullptr;
    }
}

LONG_PTR SwapPointerLong(CWindow& window, int nIndex, LONG_PTR dwNewLong)
{
    LONG_PTR old = 0;
    if (nIndex == GWLP_WNDPROC)
    {
        if (dwNewLong == 0)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        old = reinterpret_cast<LONG_PTR>(window.pfnProc);
        window.pfnProc = reinterpret_cast<WNDPROC>(dwNewLong);
        return old;
    }
    old = reinterpret_cast<LONG_PTR>(window.hInstance);
    window.hInstance = reinterpret_cast<HINSTANCE>(dwNewLong);
    return old;
}

}  // namespace

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    return WithWindow(hWnd, LONG_PTR(0), [&](CWindow& window) -> LONG_PTR {
        if (nIndex == GWLP_WNDPROC)
            return reinterpret_cast<LONG_PTR>(window.pfnProc);
        if (nIndex == GWLP_HINSTANCE)
            return reinterpret_cast<LONG_PTR>(window.hInstance);
        if (LONG_PTR* pField = FixedField(window, nIndex))
            return *pField;
        unsigned char* pSlot = ExtraSlot(window, nIndex);
        LONG_PTR value = 0;
        if (pSlot != nullptr)
            std::memcpy(&value, pSlot, sizeof value);
        return value;
    });
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    return WithWindow(hWnd, LONG_PTR(0), [&](CWindow& window) -> LONG_PTR {
        if (nIndex == GWLP_WNDPROC || nIndex == GWLP_HINSTANCE)
            return SwapPointerLong(window, nIndex, dwNewLong);
        LONG_PTR old = 0;
        if (LONG_PTR* pField = FixedField(window, nIndex))
        {
            old = *pField;
            *pField = dwNewLong;
            // A window made visible this way needs painting too.
            if (nIndex == GWL_STYLE && !(old & WS_VISIBLE) && (dwNewLong & WS_VISIBLE))
                rmwin32::InvalidateLocked(window, true);
            return old;
        }
        if (unsigned char* pSlot = ExtraSlot(window, nIndex))
        {
            std::memcpy(&old, pSlot, sizeof old);
            std::memcpy(pSlot, &dwNewLong, sizeof dwNewLong);
        }
        return old;
    });
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    return WithWindow(hWnd, DWORD(0), [&](CWindow& window) {
        if (lpdwProcessId != nullptr)
            *lpdwProcessId = static_cast<DWORD>(getpid());
        return window.pQueue->threadId;
    });
}
