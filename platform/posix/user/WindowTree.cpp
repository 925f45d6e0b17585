// The tree of parents, owners and children, and the calls that walk it.
#include "user/User.h"

#include <algorithm>

namespace rmwin32 {

bool IsDescendantLocked(HWND hParent, HWND hChild)
{
    CWindow* pWindow = FindLocked(hChild);
    while (pWindow != nullptr && pWindow->hParent != nullptr)
    {
        if (pWindow->hParent == hParent)
            return true;
        pWindow = FindLocked(pWindow->hParent);
    }
    return false;
}

}  // namespace rmwin32

using rmwin32::CWindow;
using rmwin32::FindLocked;
using rmwin32::WithWindow;

HWND GetParent(HWND hWnd)
{
    return WithWindow(hWnd, HWND(nullptr), [&](CWindow& window) -> HWND {
        if (window.style & WS_CHILD)
            return window.hParent;
        // A popup answers with its owner, as on Windows.
        if ((window.style & WS_POPUP) && FindLocked(window.hOwner) != nullptr)
            return window.hOwner;
        return nullptr;
    });
}

namespace {

HWND SiblingLocked(const CWindow& window, bool bNext)
{
    const std::vector<HWND>* pSiblings = rmwin32::SiblingsLocked(window);
    if (pSiblings == nullptr)
        return nullptr;
    auto it = std::find(pSiblings->begin(), pSiblings->end(), window.hWnd);
    if (it == pSiblings->end())
        return nullptr;
    if (bNext)
        return it + 1 == pSiblings->end() ? nullptr : *(it + 1);
    return it == pSiblings->begin() ? nullptr : *(it - 1);
}

}  // namespace

HWND GetWindow(HWND hWnd, UINT uCmd)
{
    return WithWindow(hWnd, HWND(nullptr), [&](CWindow& window) -> HWND {
        switch (uCmd)
        {
        case GW_CHILD:
            return window.children.empty() ? nullptr : window.children.front();
        case GW_HWNDNEXT:
        case GW_HWNDPREV:
            return SiblingLocked(window, uCmd == GW_HWNDNEXT);
        case GW_OWNER:
            return FindLocked(window.hOwner) != nullptr ? window.hOwner : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    });
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    return WithWindow(hDlg, HWND(nullptr), [&](CWindow& window) -> HWND {
        for (HWND hChild : window.children)
        {
            CWindow* pChild = FindLocked(hChild);
            if (pChild != nullptr && pChild->id == static_cast<LONG_PTR>(nIDDlgItem))
                return hChild;
        }
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
        return nullptr;
    });
}

int GetDlgCtrlID(HWND hWnd)
{
    return WithWindow(hWnd, 0, [&](CWindow& window) { return static_cast<int>(window.id); });
}
